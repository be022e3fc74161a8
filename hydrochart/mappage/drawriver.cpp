#include <cstdio>
#include <cstring>

#include "hydrochart/mappage/mappage.h"
#include "hydrochart/mappage/pagetext.h"

namespace {

constexpr char kStartLabel[] = "始点";
constexpr char kEndLabel[] = "終点";

std::string_view riverNameOf(const Stream& stream) {
  return {stream.riverName, strnlen(stream.riverName, sizeof stream.riverName)};
}

// Widens the page's box by one polyline position; each bound is tested on its own.
void widenBounds(MapBounds& bounds, const LatLon& position) {
  if (position.lat < bounds.minLat) bounds.minLat = position.lat;
  if (position.lat > bounds.maxLat) bounds.maxLat = position.lat;
  if (position.lon < bounds.minLon) bounds.minLon = position.lon;
  if (position.lon > bounds.maxLon) bounds.maxLon = position.lon;
}

// Writes "[lat,lon]" and, when `comma`, the separator after it, in one piece.
void appendPosition(std::string& out, double lat, double lon, bool comma = false) {
  char buffer[2 * pagetext::kMaxFixed8Length + 4];
  char* end = buffer;
  *end++ = '[';
  end = pagetext::writeFixed8(end, lat);
  *end++ = ',';
  end = pagetext::writeFixed8(end, lon);
  *end++ = ']';
  if (comma) *end++ = ',';
  out.append(buffer, end);
}

// The part of every marker script name after "marker": the path number and the node's suffix.
void appendMarkerName(std::string& out, std::int32_t pathNumber, const char* suffix) {
  out.append("marker");
  pagetext::appendPadded4(out, pathNumber);
  out.append(suffix);
}

struct MarkerStyle {
  const char* suffix;  // "a", "b", "ra", "rb"
  int radius;
  bool filled;  // filled markers repeat the colour as fill colour and are fully opaque
};

// Writes a marker's three lines: the circle at `point`, its tooltip and its popup, both reading
// "<caption> <label>". `caption` is script-safe text already.
void appendMarker(std::string& out, std::int32_t pathNumber, const MarkerStyle& style,
                  const Point& point, Color color, std::string_view caption, const char* label) {
  out.append("var ");
  appendMarkerName(out, pathNumber, style.suffix);
  out.append("=L.circleMarker(");
  appendPosition(out, point.lat, point.lon);
  out.append(",{radius:");
  pagetext::appendDecimal(out, style.radius);
  out.append(",color:'#");
  pagetext::appendHex6(out, color);
  if (style.filled) {
    out.append("',fillcolor:'#");
    pagetext::appendHex6(out, color);
    out.append("',fillOpacity:1}).addTo(map);\n");
  } else {
    out.append("',fillOpacity:0}).addTo(map);\n");
  }
  for (const char* binding : {".bindTooltip(\"", ".bindPopup(\""}) {
    appendMarkerName(out, pathNumber, style.suffix);
    out.append(binding).append(caption).push_back(' ');
    out.append(label).append("\");\n");
  }
}

// Writes the polyline of one stream along its Curve, widening the page's box by every position.
void appendPolyline(MapPage& page, const std::vector<LatLon>& pointList, const Curve& curve,
                    std::int32_t pathNumber, Color color) {
  std::string& out = page.pending;
  out.append("var myPath");
  pagetext::appendPadded4(out, pathNumber);
  out.append("=L.polyline([");
  // Positions are formatted into a local block and handed to the page a block at a time:
  // pages hold millions of them.
  constexpr std::size_t kPositionRoom = 2 * pagetext::kMaxFixed8Length + 4;
  char block[16384];
  char* end = block;
  for (std::int32_t i = curve.first; i <= curve.last; ++i) {
    if (end + kPositionRoom > block + sizeof block) {
      out.append(block, end);
      pagetext::flushIfLarge(page);
      end = block;
    }
    const LatLon& position = pointList[i];
    *end++ = '[';
    end = pagetext::writeFixed8(end, position.lat);
    *end++ = ',';
    end = pagetext::writeFixed8(end, position.lon);
    *end++ = ']';
    if (i < curve.last) *end++ = ',';
    widenBounds(page.mapBounds, position);
  }
  out.append(block, end);
  pagetext::flushIfLarge(page);
  out.append("],{color:'#");
  pagetext::appendHex6(out, color);
  out.append("',weight:2,opacity:0.8}).addTo(map);\n");
}

// Arrows from the stream's start node to its end node: southward or northward (ties north),
// then westward or eastward (ties east).
const char* directionText(const Point& start, const Point& end) {
  static constexpr const char* kDirections[2][2] = {{"↑→", "↑←"}, {"↓→", "↓←"}};
  return kDirections[start.lat > end.lat ? 1 : 0][start.lon > end.lon ? 1 : 0];
}

constexpr MarkerStyle kStreamStart{"a", 3, false};
constexpr MarkerStyle kStreamEnd{"b", 1, true};
constexpr MarkerStyle kRiverStart{"ra", 11, false};
constexpr MarkerStyle kRiverEnd{"rb", 7, true};

}  // namespace

std::int32_t findRiverNodePoint(const RiverData& data, const NodeIdText& reference) {
  const std::string_view text = nodeIdView(reference);
  if (text.empty()) return -1;
  const std::int32_t node = findRiverNodeIndex(data, text);
  if (node >= 0) {
    const std::int32_t point = findPointIndex(data, data.riverNodes[node].position);
    if (point >= 0) return point;
  }
  std::printf("Not found RiverNode '%.*s'\n", static_cast<int>(text.size()), text.data());
  return -2;
}

int drawRiver(MapPage& page, const RiverData& data, std::uint64_t riverCode, Color color) {
  std::string& out = page.pending;
  bool firstStream = true;
  for (const std::int32_t streamIndex : streamsOfRiver(data, riverCode)) {
    const Stream& stream = data.streams[streamIndex];
    const std::int32_t pathNumber = ++page.pathCount;

    const std::int32_t curveIndex = findCurveIndex(data, stream.location);
    if (curveIndex < 0) {
      std::printf("Not found Stream ID %d\n", stream.location);
      return 1;
    }
    const Curve& curve = data.curves[curveIndex];
    const double length = curveLength(data.pointList, curve.first, curve.last);

    // The name is written once in its script-safe form and reused by every line of the stream.
    // Tooltips and popups show their text as HTML, so there a "<" of the name (which a
    // well-formed data file never holds raw) is written as "&lt;" and cannot start markup.
    std::string name;
    pagetext::appendScriptText(name, riverNameOf(stream));
    std::string shownName = name;
    if (shownName.find('<') != std::string::npos) {
      shownName.clear();
      pagetext::appendScriptText(shownName, pagetext::htmlLessThanEscaped(riverNameOf(stream)));
    }
    std::string location;
    pagetext::appendDecimal(location, stream.location);
    const std::string streamCaption = "c-" + location;  // names the stream-node markers

    out.append("//c-");
    pagetext::appendDecimal(out, std::int64_t{curveIndex} + 1);
    out.push_back(' ');
    out.append(name).push_back('\n');

    appendPolyline(page, data.pointList, curve, pathNumber, color);

    out.append("myPath");
    pagetext::appendPadded4(out, pathNumber);
    out.append(".bindTooltip(\"c-").append(location).push_back(' ');
    out.append(shownName).append("\");\n");

    const std::int32_t a = findRiverNodePoint(data, stream.startStreamNode);
    const std::int32_t b = findRiverNodePoint(data, stream.endStreamNode);
    const char* direction = a >= 0 && b >= 0 ? directionText(data.points[a], data.points[b]) : "";

    out.append("myPath");
    pagetext::appendPadded4(out, pathNumber);
    out.append(".bindPopup(\"流路:c-").append(location);
    out.append("<br>所属河川:").append(shownName);
    out.append("<br>河川コード:");
    pagetext::appendDecimal(out, static_cast<std::int64_t>(stream.riverCode));
    out.append("<br>水系コード:");
    pagetext::appendDecimal(out, static_cast<std::int32_t>(stream.waterSystemCode));
    out.append("<br>原典資料種別:");
    pagetext::appendDecimal(out, stream.originalDataType);
    out.append("<br>延長距離:");
    pagetext::appendFixed(out, length, 3);
    out.append(" km<br>方向:").append(direction).append("\");\n");

    if (a >= 0) {
      appendMarker(out, pathNumber, kStreamStart, data.points[a], color, streamCaption,
                   kStartLabel);
    } else if (a == -2) {
      return 11;
    }
    if (b >= 0) {
      appendMarker(out, pathNumber, kStreamEnd, data.points[b], color, streamCaption, kEndLabel);
    } else if (b == -2) {
      return 12;
    }

    if (firstStream) {
      const std::int32_t riverStart = findRiverNodePoint(data, stream.startRiverNode);
      if (riverStart >= 0) {
        appendMarker(out, pathNumber, kRiverStart, data.points[riverStart], color, shownName,
                     kStartLabel);
      } else if (riverStart == -2) {
        return 13;
      }
      const std::int32_t riverEnd = findRiverNodePoint(data, stream.endRiverNode);
      if (riverEnd >= 0) {
        appendMarker(out, pathNumber, kRiverEnd, data.points[riverEnd], color, shownName, kEndLabel);
      } else if (riverEnd == -2) {
        return 14;
      }
    }
    firstStream = false;
    pagetext::flushIfLarge(page);
  }
  return 0;
}
