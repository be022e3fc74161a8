#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include "hydrochart/mappage/drawing.h"
#include "hydrochart/mappage/geometry.h"
#include "hydrochart/mappage/pagetext.h"

namespace {

constexpr char kStartLabel[] = "始点";
constexpr char kEndLabel[] = "終点";

std::string_view riverNameOf(const Stream& stream) {
  return {stream.riverName, strnlen(stream.riverName, sizeof stream.riverName)};
}

// Writes "[lat,lon]" in one piece.
void appendPosition(std::string& out, double lat, double lon) {
  char buffer[2 * pagetext::kMaxFixed8Length + 4];
  char* end = buffer;
  *end++ = '[';
  end = pagetext::writeFixed8(end, lat);
  *end++ = ',';
  end = pagetext::writeFixed8(end, lon);
  *end++ = ']';
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
  page.output.appendFormatted([pathNumber](std::string& out) {
    out.append("var myPath");
    pagetext::appendPadded4(out, pathNumber);
    out.append("=L.polyline([");
  });
  // Positions are formatted into a local block and handed to the page a block at a time:
  // pages hold millions of them.
  constexpr std::size_t kPositionRoom = 2 * pagetext::kMaxFixed8Length + 4;
  char block[16384];
  char* end = block;
  for (std::int32_t i = curve.first; i <= curve.last; ++i) {
    if (end + kPositionRoom > block + sizeof block) {
      page.output.append(std::string_view(block, static_cast<std::size_t>(end - block)));
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
  page.output.append(std::string_view(block, static_cast<std::size_t>(end - block)));
  page.output.appendFormatted([color](std::string& out) {
    out.append("],{color:'#");
    pagetext::appendHex6(out, color);
    out.append("',weight:2,opacity:0.8}).addTo(map);\n");
  });
}

constexpr MarkerStyle kStreamStart{"a", 3, false};
constexpr MarkerStyle kStreamEnd{"b", 1, true};
constexpr MarkerStyle kRiverStart{"ra", 11, false};
constexpr MarkerStyle kRiverEnd{"rb", 7, true};

// The texts of one stream that several of its lines share.
struct StreamTexts {
  std::string name;       // the river name, script-safe: for the comment line
  std::string shownName;  // the same for text shown as HTML (tooltips, popups): "<" as "&lt;"
  std::string location;   // the Curve id of the stream, in decimal
  std::string caption;    // "c-<location>": names the stream-node markers
};

StreamTexts streamTexts(const Stream& stream) {
  StreamTexts texts;
  // The name is written once in its script-safe form and reused by every line of the stream.
  // A "<" of the name (which a well-formed data file never holds raw) cannot start markup where
  // the page shows the name as HTML.
  pagetext::appendScriptText(texts.name, riverNameOf(stream));
  texts.shownName = texts.name;
  if (texts.shownName.find('<') != std::string::npos) {
    texts.shownName.clear();
    pagetext::appendScriptText(texts.shownName, pagetext::htmlLessThanEscaped(riverNameOf(stream)));
  }
  pagetext::appendDecimal(texts.location, stream.location);
  texts.caption = "c-" + texts.location;
  return texts;
}

void appendStreamTooltip(std::string& out, std::int32_t pathNumber, const StreamTexts& texts) {
  out.append("myPath");
  pagetext::appendPadded4(out, pathNumber);
  out.append(".bindTooltip(\"c-").append(texts.location).push_back(' ');
  out.append(texts.shownName).append("\");\n");
}

void appendStreamPopup(std::string& out, std::int32_t pathNumber, const Stream& stream,
                       const StreamTexts& texts, double length, const char* direction) {
  out.append("myPath");
  pagetext::appendPadded4(out, pathNumber);
  out.append(".bindPopup(\"流路:c-").append(texts.location);
  out.append("<br>所属河川:").append(texts.shownName);
  out.append("<br>河川コード:");
  pagetext::appendDecimal(out, static_cast<std::int64_t>(stream.riverCode));
  out.append("<br>水系コード:");
  pagetext::appendDecimal(out, static_cast<std::int32_t>(stream.waterSystemCode));
  out.append("<br>原典資料種別:");
  pagetext::appendDecimal(out, stream.originalDataType);
  out.append("<br>延長距離:");
  pagetext::appendFixed(out, length, 3);
  out.append(" km<br>方向:").append(direction).append("\");\n");
}

DrawResult nodesNotFound(std::initializer_list<const NodeIdText*> references) {
  DrawResult result;
  result.kind = DrawResult::Kind::RiverNodeNotFound;
  for (const NodeIdText* reference : references) {
    result.nodeIds.emplace_back(nodeIdView(*reference));
  }
  return result;
}

}  // namespace

StreamRecords findStreamRecords(const RiverData& data, const Stream& stream, bool firstStream) {
  StreamRecords records;
  records.curve = findCurveIndex(data, stream.location);
  records.nodes[0] = findRiverNodePoint(data, stream.startStreamNode);
  records.nodes[1] = findRiverNodePoint(data, stream.endStreamNode);
  if (firstStream) {
    records.nodes[2] = findRiverNodePoint(data, stream.startRiverNode);
    records.nodes[3] = findRiverNodePoint(data, stream.endRiverNode);
  }
  return records;
}

// A stream without its Curve writes nothing; else its markers are written up to the first node
// that does not resolve, and that node ends the drawing (both stream nodes are looked up before
// the first marker, so both are named when neither resolves).
DrawResult streamOutcome(const Stream& stream, const StreamRecords& records) {
  if (records.curve < 0) {
    DrawResult result;
    result.kind = DrawResult::Kind::CurveNotFound;
    result.curveId = stream.location;
    return result;
  }
  const auto unresolved = [&records](int node) {
    return records.nodes[node].kind == NodePoint::Kind::Unresolved;
  };
  if (unresolved(0) && unresolved(1)) {
    return nodesNotFound({&stream.startStreamNode, &stream.endStreamNode});
  }
  const NodeIdText* references[4] = {&stream.startStreamNode, &stream.endStreamNode,
                                     &stream.startRiverNode, &stream.endRiverNode};
  for (int node = 0; node < 4; ++node) {
    if (unresolved(node)) return nodesNotFound({references[node]});
  }
  return {};
}

const char* streamDirection(const RiverData& data, const StreamRecords& records) {
  const NodePoint& start = records.nodes[0];
  const NodePoint& end = records.nodes[1];
  if (start.kind != NodePoint::Kind::Found || end.kind != NodePoint::Kind::Found) return "";
  // Southward or northward (ties north), then westward or eastward (ties east).
  static constexpr const char* kDirections[2][2] = {{"↑→", "↑←"}, {"↓→", "↓←"}};
  const Point& from = data.points[start.point];
  const Point& to = data.points[end.point];
  return kDirections[from.lat > to.lat ? 1 : 0][from.lon > to.lon ? 1 : 0];
}

namespace {

// The markers of the stream's nodes in drawing order, up to the first that does not resolve:
// stream nodes are captioned "c-<location>", river nodes with the river name.
void appendNodeMarkers(std::string& out, const RiverData& data, std::int32_t pathNumber,
                       const StreamTexts& texts, const StreamRecords& records, Color color) {
  static constexpr const MarkerStyle* kStyles[4] = {&kStreamStart, &kStreamEnd, &kRiverStart,
                                                    &kRiverEnd};
  static constexpr const char* kLabels[4] = {kStartLabel, kEndLabel, kStartLabel, kEndLabel};
  for (int node = 0; node < 4; ++node) {
    const NodePoint& point = records.nodes[node];
    if (point.kind == NodePoint::Kind::Unresolved) return;
    if (point.kind == NodePoint::Kind::Found) {
      const std::string& caption = node < 2 ? texts.caption : texts.shownName;
      appendMarker(out, pathNumber, *kStyles[node], data.points[point.point], color, caption,
                   kLabels[node]);
    }
  }
}

// Draws one stream: comment line, polyline, tooltip, popup, node markers and, for the first
// stream of the river, the river's node markers.
DrawResult drawStream(MapPage& page, const RiverData& data, const Stream& stream, bool firstStream,
                      Color color) {
  const std::int32_t pathNumber = ++page.pathCount;
  const StreamRecords records = findStreamRecords(data, stream, firstStream);
  if (records.curve < 0) return streamOutcome(stream, records);
  const Curve& curve = data.curves[records.curve];
  const StreamTexts texts = streamTexts(stream);

  page.output.appendFormatted([&](std::string& out) {
    out.append("//c-");
    pagetext::appendDecimal(out, std::int64_t{records.curve} + 1);
    out.push_back(' ');
    out.append(texts.name).push_back('\n');
  });
  appendPolyline(page, data.pointList, curve, pathNumber, color);

  const char* direction = streamDirection(data, records);
  const double length = curveLength(data.pointList, curve.first, curve.last);
  page.output.appendFormatted([&](std::string& out) {
    appendStreamTooltip(out, pathNumber, texts);
    appendStreamPopup(out, pathNumber, stream, texts, length, direction);
    appendNodeMarkers(out, data, pathNumber, texts, records, color);
  });
  return streamOutcome(stream, records);
}

// Rough size of a stream's text besides its positions: the comment line, tooltip, popup and
// markers, with room for long names.
constexpr std::size_t kTextBytesPerStream = 1024;
// Rough size of one position in a polyline: "[dd.dddddddd,ddd.dddddddd]," and a little more.
constexpr std::size_t kTextBytesPerPosition = 28;

}  // namespace

NodePoint findRiverNodePoint(const RiverData& data, const NodeIdText& reference) {
  const std::string_view text = nodeIdView(reference);
  if (text.empty()) return {};
  const std::int32_t node = findRiverNodeIndex(data, text);
  if (node >= 0) {
    const std::int32_t point = findPointIndex(data, data.riverNodes[node].position);
    if (point >= 0) return {NodePoint::Kind::Found, point};
  }
  return {NodePoint::Kind::Unresolved, -1};
}

DrawResult checkStream(const RiverData& data, const Stream& stream, bool firstStream,
                       std::int32_t& curveIndex) {
  const StreamRecords records = findStreamRecords(data, stream, firstStream);
  curveIndex = records.curve;
  return streamOutcome(stream, records);
}

RiverOutlook lookAtRiver(const RiverData& data, std::uint64_t riverCode) {
  RiverOutlook outlook;
  bool firstStream = true;
  for (const std::int32_t streamIndex : streamsOfRiver(data, riverCode)) {
    std::int32_t curveIndex = -1;
    ++outlook.streams;
    if (!checkStream(data, data.streams[streamIndex], firstStream, curveIndex).drawn()) {
      outlook.resolves = false;
      return outlook;
    }
    const Curve& curve = data.curves[curveIndex];
    const auto positions = static_cast<std::size_t>(std::max(0, curve.last - curve.first + 1));
    outlook.textBytes += kTextBytesPerStream + kTextBytesPerPosition * positions;
    firstStream = false;
  }
  return outlook;
}

DrawResult drawRiver(MapPage& page, const RiverData& data, std::uint64_t riverCode, Color color) {
  bool firstStream = true;
  for (const std::int32_t streamIndex : streamsOfRiver(data, riverCode)) {
    const DrawResult result = drawStream(page, data, data.streams[streamIndex], firstStream, color);
    if (!result.drawn()) return result;
    firstStream = false;
  }
  return {};
}
