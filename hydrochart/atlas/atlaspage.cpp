#include "hydrochart/atlas/atlaspage.h"

#include "atlasfiles.h"  // kAtlasScript, kAtlasStyle: generated from atlas.js and atlas.css
#include "hydrochart/geojson/geojson.h"

namespace {

// The id of the element that holds the page's FeatureCollection.
constexpr char kRiversElement[] = "atlas-rivers";

// What the atlas page adds to the map page's head: a view for small screens, and its style.
const std::string& atlasHeadExtra() {
  static const std::string extra =
      std::string("<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">\n") +
      "<style>\n" + std::string(kAtlasStyle) + "</style>\n";
  return extra;
}

const WaterSystemCodeList kNoCodeList;

}  // namespace

bool openAtlasPage(MapPage& page, const std::string& path, std::string_view title) {
  if (!page.output.open(path)) return false;
  page.output.appendFormatted([title](std::string& out) {
    appendPageHead(out, title, atlasHeadExtra());
    // The data is no script: an element of its own, read by the page's script.
    out.append("</script>\n<script type=\"application/json\" id=\"");
    out.append(kRiversElement).append("\">");
    appendCollectionHead(out, {}, true);
  });
  page.pathCount = 0;
  page.mapBounds = kEmptyMapBounds;
  return true;
}

DrawResult drawAtlasRivers(MapPage& page, const RiverData& data,
                           const WaterSystemCodeList& codeList,
                           const std::vector<PlannedRiver>& rivers, std::int32_t& colorIndex) {
  // Every stream drawn so far on the page is one feature.
  FeatureCollection features;
  startPageFeatures(features, page.output, data, codeList, page.mapBounds, page.pathCount);
  for (const PlannedRiver& river : rivers) {
    DrawResult result = writeRiverFeatures(features, river.riverCode, river.color);
    page.pathCount = features.featureCount;
    if (!result.drawn()) {
      ++page.pathCount;  // the stream that failed counts, as on the map page
      return result;
    }
    ++colorIndex;
  }
  return {};
}

bool closeAtlasPage(MapPage& page) {
  if (!page.output.isOpen()) return false;
  page.output.appendFormatted([&page](std::string& out) {
    out.append("\n]}</script>\n<script>\n").append(kAtlasScript);
    out.append("atlas.page(map,document.getElementById('").append(kRiversElement);
    out.append("'));\n");
    appendPageEnd(out, page.mapBounds);
  });
  return page.output.close();
}

bool openStyledPage(MapPage& page, const PageStyle& style, const std::string& path,
                    std::string_view title) {
  return style.atlas ? openAtlasPage(page, path, title) : openMapPage(page, path, title);
}

DrawResult drawStyledRivers(MapPage& page, const PageStyle& style, const RiverData& data,
                            const std::vector<PlannedRiver>& rivers, std::int32_t& colorIndex) {
  if (!style.atlas) return drawPlannedRivers(page, data, rivers, colorIndex);
  const WaterSystemCodeList& codeList = style.codeList != nullptr ? *style.codeList : kNoCodeList;
  return drawAtlasRivers(page, data, codeList, rivers, colorIndex);
}

bool closeStyledPage(MapPage& page, const PageStyle& style) {
  return style.atlas ? closeAtlasPage(page) : closeMapPage(page);
}
