#include "hydrochart/mappage/mappage.h"

#include <cfloat>

#include "hydrochart/mappage/pagetext.h"

namespace {

constexpr char kSourceAttribution[] =
    " | 河川情報出典：<a href=\"https://nlftp.mlit.go.jp/ksj/gml/datalist/KsjTmplt-W05.html\">"
    "国土数値情報 河川データ</a>（国土交通省）";
constexpr char kPhotoCredit[] =
    " | データソース: Landsat8画像(GSI,TSIC,GEO Grid/AIST,courtesy of USGS), 海底地形(GEBCO), "
    "<a href=\"https://lpdaac.usgs.gov/data_access\" target=\"_blank\">世界衛星モザイク画像</a>"
    "(LP DAAC, USGS/EROS Center)";
constexpr char kOsmCopyright[] = "https://www.openstreetmap.org/copyright";
constexpr char kGsiList[] = "https://maps.gsi.go.jp/development/ichiran.html";

struct TileLayer {
  const char* variable;
  char quote;  // encloses the tile URL
  const char* url;
  const char* options;
  const char* linkUrl;
  const char* linkText;
  const char* credit;             // after the link
  const char* sourceAttribution;  // the river data credit, or nothing
};

// The seven layers in the order the page declares them; the last two are overlays.
constexpr TileLayer kTileLayers[] = {
    {"osm", '"', "https://{s}.tile.openstreetmap.org/{z}/{x}/{y}.png", "minZoom:2,maxZoom:19",
     kOsmCopyright, "OpenStreetMap", " contributors", kSourceAttribution},
    {"osmjp", '"', "https://tile.openstreetmap.jp/{z}/{x}/{y}.png", "minZoom:2,maxZoom:19",
     kOsmCopyright, "OpenStreetMap", " contributors", kSourceAttribution},
    {"gsi", '"', "https://cyberjapandata.gsi.go.jp/xyz/std/{z}/{x}/{y}.png", "minZoom:2,maxZoom:18",
     kGsiList, "国土地理院", "", kSourceAttribution},
    {"gsip", '"', "https://cyberjapandata.gsi.go.jp/xyz/pale/{z}/{x}/{y}.png",
     "minZoom:2,maxZoom:18", kGsiList, "国土地理院", "", kSourceAttribution},
    {"gsia", '"', "https://cyberjapandata.gsi.go.jp/xyz/seamlessphoto/{z}/{x}/{y}.jpg",
     "minZoom:2,maxZoom:18", kGsiList, "国土地理院", kPhotoCredit, kSourceAttribution},
    {"gsir", '\'', "https://cyberjapandata.gsi.go.jp/xyz/relief/{z}/{x}/{y}.png",
     "opacity:0.700000,maxNativeZoom:15", kGsiList, "国土地理院", "", ""},
    {"gsih", '\'', "https://cyberjapandata.gsi.go.jp/xyz/hillshademap/{z}/{x}/{y}.png",
     "opacity:0.500000,maxNativeZoom:16", kGsiList, "国土地理院", "", ""},
};

}  // namespace

void appendPageHead(std::string& out, std::string_view title, std::string_view headExtra) {
  out.append("<!DOCTYPE html>\n<html><head>\n<meta charset=\"utf-8\">\n<title>");
  out.append(title);
  out.append("</title>\n");
  out.append(
      "<link rel=\"stylesheet\" href=\"https://unpkg.com/leaflet@1.4.0/dist/leaflet.css\"/>\n");
  out.append("<script src=\"https://unpkg.com/leaflet@1.4.0/dist/leaflet.js\"></script>\n");
  out.append(headExtra);
  out.append("</head><body>\n");
  out.append(
      "<div id=\"mapid\" style=\"position:absolute;top:0;left:0;right:0;bottom:0;\"></div>\n");
  out.append("<script>\n");
  for (const TileLayer& layer : kTileLayers) {
    out.append("var ").append(layer.variable).append("=L.tileLayer(");
    out.push_back(layer.quote);
    out.append(layer.url);
    out.push_back(layer.quote);
    out.append(",{").append(layer.options);
    out.append(",attribution:'&copy; <a href=\"").append(layer.linkUrl);
    out.append("\" target=\"_blank\">").append(layer.linkText).append("</a>");
    out.append(layer.credit).append(layer.sourceAttribution).append("'});\n");
  }
  out.append("var map=L.map('mapid');\n");
  out.append(
      "var baseMaps={\"OpenStreetMap\":osm,\"OpenStreetMap Japan\":osmjp,"
      "\"地理院地図(標準)\":gsi,\"地理院地図(淡色)\":gsip,\"地理院(空中写真)\":gsia};\n");
  out.append("var overlayMaps={\"色別標高図\":gsir,\"陰影起伏図\":gsih};\n");
  out.append("L.control.layers(baseMaps,overlayMaps).addTo(map);\n");
  out.append("L.control.scale({maxWidth:200,position:'bottomright',imperial:false}).addTo(map);\n");
}

bool openMapPage(MapPage& page, const std::string& path, std::string_view title) {
  // A page that its caller left unfinished is completed on disk before the next one starts.
  if (!page.output.open(path)) return false;
  page.output.appendFormatted([title](std::string& out) { appendPageHead(out, title); });

  page.pathCount = 0;
  page.mapBounds = kEmptyMapBounds;
  return true;
}

void startPageInMemory(MapPage& page, std::size_t expectedBytes) {
  page.output.openInMemory(expectedBytes);
  page.pathCount = 0;
  page.mapBounds = kEmptyMapBounds;
}

void widenBounds(MapBounds& bounds, const MapBounds& other) {
  if (other.minLat < bounds.minLat) bounds.minLat = other.minLat;
  if (other.maxLat > bounds.maxLat) bounds.maxLat = other.maxLat;
  if (other.minLon < bounds.minLon) bounds.minLon = other.minLon;
  if (other.maxLon > bounds.maxLon) bounds.maxLon = other.maxLon;
}

void appendPageEnd(std::string& out, const MapBounds& drawn) {
  // A page on which no polyline position was drawn still has its initial box, which a browser
  // cannot show ("infinite number of tiles"): such a page opens on Japan instead.
  const MapBounds& box =
      drawn.minLat > drawn.maxLat || drawn.minLon > drawn.maxLon ? kJapanBounds : drawn;
  out.append("map.fitBounds(L.latLngBounds([");
  pagetext::appendFixed8(out, box.minLat);
  out.push_back(',');
  pagetext::appendFixed8(out, box.minLon);
  out.append("],[");
  pagetext::appendFixed8(out, box.maxLat);
  out.push_back(',');
  pagetext::appendFixed8(out, box.maxLon);
  out.append("]));\nosmjp.addTo(map);\n</script>\n</body></html>\n");
}

bool closeMapPage(MapPage& page) {
  if (!page.output.isOpen()) return false;
  page.output.appendFormatted([&page](std::string& out) { appendPageEnd(out, page.mapBounds); });
  return page.output.close();
}
