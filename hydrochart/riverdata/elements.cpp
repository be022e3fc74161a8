// The element reader: the main loop over the lines between elements and the steps of each kind.
#include "hydrochart/riverdata/elements.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

#include "hydrochart/riverdata/textscan.h"
#include "platform/textconv.h"

namespace riverdata_detail {

namespace {

using platform::findText;

constexpr std::size_t kNotFound = std::string_view::npos;

// Tag patterns of the main loop, in the order of their tests.
constexpr std::array<std::string_view, 4> kElementTags = {"<gml:Curve ", "<gml:Point ",
                                                          "<ksj:Stream ", "<ksj:RiverNode gml:id="};
enum ElementTag : std::uint32_t { kCurveTag = 1, kPointTag = 2, kStreamTag = 4, kRiverNodeTag = 8 };

constexpr std::array<std::string_view, 2> kCurveTags = {"</gml:Curve>", "<gml:posList>"};
constexpr std::array<std::string_view, 2> kPointTags = {"</gml:Point>", "<gml:pos>"};
constexpr std::array<std::string_view, 2> kRiverNodeTags = {"</ksj:RiverNode>",
                                                            "<ksj:position xlink:href=\"#"};
// Bits of the two-pattern sets: the end tag, and the row the element reads.
constexpr std::uint32_t kEndTag = 1;
constexpr std::uint32_t kRowTag = 2;

// The end tag of a Stream, then its child rows in the order of their tests.
constexpr std::array<std::string_view, 11> kStreamTags = {
    "</ksj:Stream>",
    "<ksj:waterSystemCode codeSpace=\"WaterSystemTypeCode.xml\">",
    "<ksj:location xlink:href=\"#",
    "<ksj:riverCode codeSpace=\"RiverTypeCode.xml\">",
    "<ksj:sectionType>",
    "<ksj:riverName>",
    "<ksj:originalDataType>",
    "<ksj:startRiverNode xlink:href=\"#",
    "<ksj:endRiverNode xlink:href=\"#",
    "<ksj:startStreamNode xlink:href=\"#",
    "<ksj:endStreamNode xlink:href=\"#",
};
enum StreamRow : std::size_t {
  kStreamEnd,
  kWaterSystemCodeRow,
  kLocationRow,
  kRiverCodeRow,
  kSectionTypeRow,
  kRiverNameRow,
  kOriginalDataTypeRow,
  kStartRiverNodeRow,
  kEndRiverNodeRow,
  kStartStreamNodeRow,
  kEndStreamNodeRow,
};

const TagSet<4> elementTags(kElementTags);
const TagSet<2> curveTags(kCurveTags);
const TagSet<2> pointTags(kPointTags);
const TagSet<2> riverNodeTags(kRiverNodeTags);
const TagSet<11> streamTags(kStreamTags);

// Text from `from` up to the first `end` after it, or false when `end` is not on the line.
bool valueBefore(std::string_view line, std::size_t from, std::string_view end,
                 std::string_view& value) {
  const std::size_t at = findText(line, end, from);
  if (at == kNotFound) return false;
  value = line.substr(from, at - from);
  return true;
}

// The two numbers of a coordinate text: the first from its start, the second from just after
// its first blank. A text without a blank gives no pair.
bool parseLatLon(std::string_view text, double& lat, double& lon) {
  const char* blank = platform::findByte(text.data(), ' ', text.size());
  if (blank == nullptr) return false;
  const std::size_t second = static_cast<std::size_t>(blank - text.data()) + 1;
  lat = parseCoordinate(text);
  lon = parseCoordinate(text.substr(second));
  return true;
}

void requireFinite(double lat, double lon) {
  if (!std::isfinite(lat) || !std::isfinite(lon)) throw NonFiniteCoordinate{};
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The value of the encoding attribute of an XML declaration on `line`, or "" when there is none.
std::string_view declaredEncodingName(std::string_view line) {
  const std::size_t declaration = findText(line, "<?xml");
  if (declaration == kNotFound) return {};
  const std::size_t end = findText(line, "?>", declaration);
  const std::size_t attribute = findText(line, "encoding=", declaration);
  if (end == kNotFound || attribute == kNotFound || attribute > end) return {};
  const std::size_t open = attribute + 9;
  if (open >= end || (line[open] != '"' && line[open] != '\'')) return {};
  const std::size_t close = line.find(line[open], open + 1);
  if (close == std::string_view::npos || close > end) return {};
  return line.substr(open + 1, close - open - 1);
}

// A river name of at most 63 bytes of UTF-8, converted from `encoding` first when the file
// is not UTF-8; a longer one is cut before the character that would cross that limit.
void storeRiverName(Stream& stream, std::string_view name, const char* encoding) {
  std::string converted;
  if (encoding != nullptr && !name.empty()) {
    converted = platform::convertText(name, encoding, "UTF-8");
    name = converted;
  }
  const std::string_view kept = platform::cutUtf8(name, sizeof stream.riverName - 1);
  const std::size_t n = kept.size();
  if (n > 0) std::memcpy(stream.riverName, kept.data(), n);
  stream.riverName[n] = '\0';
}

// Number of the gml:id attribute after `from`; false when the attribute or its closing
// quote is missing.
bool readElementId(std::string_view line, std::size_t from, std::int32_t& id) {
  const std::size_t open = findText(line, "gml:id=\"", from);
  if (open == kNotFound) return false;
  const std::size_t start = open + 8;
  const std::size_t close = findText(line, "\"", start);
  if (close == kNotFound) return false;
  id = parseIdNumber(line.substr(start, close - start));
  return true;
}

}  // namespace

const char* declaredNameEncoding(std::string_view firstLine) {
  if (firstLine.substr(0, 3) == "\xEF\xBB\xBF") return nullptr;
  const std::string_view name = declaredEncodingName(firstLine);
  if (name.empty()) return nullptr;
  for (const std::string_view shiftJis : {"Shift_JIS", "Shift-JIS", "SJIS", "x-sjis", "MS_Kanji",
                                          "csShiftJIS", "Windows-31J", "CP932"}) {
    if (equalsNoCase(name, shiftJis)) return "CP932";
  }
  for (const std::string_view eucJp : {"EUC-JP", "EUC_JP", "eucJP", "x-euc-jp"}) {
    if (equalsNoCase(name, eucJp)) return "EUC-JP";
  }
  return nullptr;
}

std::uint64_t ElementReader::nextStopOffset() const {
  if (stops_ == nullptr || stops_->next >= stops_->count) {
    return std::numeric_limits<std::uint64_t>::max();
  }
  return stops_->starts[stops_->next];
}

// At the top of the main loop, once the reader has come to the next stop: true when it is
// exactly there; otherwise the stops passed over are marked as such.
bool ElementReader::arrivedAtStop() {
  const std::uint64_t offset = lines_.offset();
  while (stops_->next < stops_->count && stops_->starts[stops_->next] < offset) {
    stops_->passed[stops_->next].store(true, std::memory_order_relaxed);
    ++stops_->next;
  }
  const bool arrived = stops_->next < stops_->count && stops_->starts[stops_->next] == offset;
  if (arrived) ++stops_->next;
  nextStop_ = nextStopOffset();
  return arrived;
}

ReadEnd ElementReader::run() {
  std::string_view line;
  for (;;) {
    if (lines_.offset() >= nextStop_ && arrivedAtStop()) [[unlikely]]
      return ReadEnd::Arrived;
    if (cancelled()) return ReadEnd::Cancelled;
    if (!lines_.readDataLine(line)) return ReadEnd::FileEnd;
    if (firstLine_) {
      nameEncoding_ = declaredNameEncoding(line);
      firstLine_ = false;
    }
    std::array<std::size_t, 4> after;
    const std::uint32_t found = elementTags.scan(line, after);
    if (found == 0) continue;
    if (found & kCurveTag) {
      readCurve(line, after[0]);
    } else if (found & kPointTag) {
      readPoint(line, after[1]);
    } else if (found & kStreamTag) {
      readStream();
    } else {
      readRiverNode(line, after[3]);
    }
  }
}

void ElementReader::readCurve(std::string_view line, std::size_t afterTag) {
  std::int32_t id;
  if (!readElementId(line, afterTag, id)) return;
  if (id > maxCv_) maxCv_ = id;
  // The lines of a Curve with a negative id pass through the main loop.
  if (id < 0) return;
  std::array<std::size_t, 2> after;
  while (lines_.readDataLine(line)) {
    const std::uint32_t found = curveTags.scan(line, after);
    if (found & kEndTag) return;
    if (found & kRowTag) readPositionList(id);
  }
}

void ElementReader::readPositionList(std::int32_t id) {
  RecordStore<LatLon>& pointList = stores_.positions;
  const auto first = static_cast<std::int32_t>(pointList.size());
  std::string_view line;
  for (;;) {
    readPlainPositions();
    if (cancelled()) break;
    if (!lines_.readDataLine(line)) break;
    // The common line: two plain numbers and one blank, nothing else, so no closing tag.
    const char* p = line.data();
    const char* const end = p + line.size();
    LatLon position;
    if (parsePlainDecimal(p, end, position.lat) && p < end && *p == ' ') {
      ++p;
      if (parsePlainDecimal(p, end, position.lon) && p == end) {
        pointList.push(position);
        continue;
      }
    }
    // A coordinate line holds no tag; only a line with one can close the list.
    if (platform::findByte(line.data(), '<', line.size()) != nullptr &&
        findText(line, "</gml:posList>") != kNotFound) {
      break;
    }
    if (parseLatLon(line, position.lat, position.lon)) {
      requireFinite(position.lat, position.lon);
      pointList.push(position);
    }
  }
  const auto last = static_cast<std::int32_t>(pointList.size()) - 1;
  stores_.curves.push(Curve{first, last, id});
}

// Takes the lines of the common form "<number> <number>\n" (plain decimals, one blank, no
// CR) straight from the reader's block, without handing them out one by one, and stops before
// the first line of any other form. Such a line is exactly what readDataLine would give (it
// holds no NUL, no comment and is short), and it would be stored as the same position.
void ElementReader::readPlainPositions() {
  for (;;) {
    const std::string_view block = lines_.peek(DataLineReader::kMaxLine + 2);
    const char* const begin = block.data();
    const char* const end = begin + block.size();
    const char* p = begin;
    for (;;) {
      const char* q = p;
      LatLon position;
      if (!parsePlainDecimal(q, end, position.lat) || q == end || *q != ' ') break;
      ++q;
      if (!parsePlainDecimal(q, end, position.lon) || q == end || *q != '\n') break;
      stores_.positions.push(position);
      p = q + 1;
    }
    if (p == begin) return;
    lines_.skip(static_cast<std::size_t>(p - begin));
  }
}

void ElementReader::readPoint(std::string_view line, std::size_t afterTag) {
  std::int32_t id;
  if (!readElementId(line, afterTag, id)) return;
  if (id > maxPt_) maxPt_ = id;
  if (id < 0) return;
  std::array<std::size_t, 2> after;
  while (lines_.readDataLine(line)) {
    const std::uint32_t found = pointTags.scan(line, after);
    if (found & kEndTag) return;
    if (found & kRowTag) {
      const std::size_t start = after[1];
      std::size_t end = findText(line, "</gml:pos>", start);
      if (end == kNotFound) end = line.size();
      Point point{0.0, 0.0, id};
      if (parseLatLon(line.substr(start, end - start), point.lat, point.lon)) {
        requireFinite(point.lat, point.lon);
        stores_.points.push(point);
      }
    }
  }
}

void ElementReader::readStream() {
  Stream& stream = stores_.streams.push(Stream{});
  std::string_view line;
  std::array<std::size_t, kStreamTags.size()> after;
  while (lines_.readDataLine(line)) {
    const std::uint32_t found = streamTags.scan(line, after);
    if (found == 0) continue;
    const auto row = static_cast<std::size_t>(std::countr_zero(found));
    if (row == kStreamEnd) return;
    readStreamRow(stream, row, line, after[row]);
  }
}

// One child row of a Stream, its value starting at `start`.
void ElementReader::readStreamRow(Stream& stream, std::size_t row, std::string_view line,
                                  std::size_t start) {
  std::string_view value;
  switch (row) {
    case kWaterSystemCodeRow:
      if (valueBefore(line, start, "</ksj:waterSystemCode>", value)) {
        stream.waterSystemCode = parseUnsigned32(value);
      }
      break;
    case kLocationRow:
      if (valueBefore(line, start, "\"", value)) stream.location = parseIdNumber(value);
      break;
    case kRiverCodeRow:
      if (valueBefore(line, start, "</ksj:riverCode>", value)) {
        stream.riverCode = parseUnsigned64(value);
      }
      break;
    case kSectionTypeRow:
      if (valueBefore(line, start, "</ksj:sectionType>", value)) {
        stream.sectionType = parseSigned32(value);
      }
      break;
    case kRiverNameRow:
      // A name whose closing tag is not on its line is stored empty.
      if (!valueBefore(line, start, "</ksj:riverName>", value)) value = {};
      storeRiverName(stream, value, nameEncoding_);
      break;
    case kOriginalDataTypeRow:
      if (valueBefore(line, start, "</ksj:originalDataType>", value)) {
        stream.originalDataType = parseSigned32(value);
      }
      break;
    case kStartRiverNodeRow:
      if (valueBefore(line, start, "\"", value)) stream.startRiverNode = makeNodeId(value);
      break;
    case kEndRiverNodeRow:
      if (valueBefore(line, start, "\"", value)) stream.endRiverNode = makeNodeId(value);
      break;
    case kStartStreamNodeRow:
      if (valueBefore(line, start, "\"", value)) stream.startStreamNode = makeNodeId(value);
      break;
    case kEndStreamNodeRow:
      if (valueBefore(line, start, "\"", value)) stream.endStreamNode = makeNodeId(value);
      break;
    default:
      break;
  }
}

void ElementReader::readRiverNode(std::string_view line, std::size_t afterTag) {
  RiverNode node{0, {}};
  const std::size_t quote = findText(line, "\"", afterTag);
  const bool hasId = quote != kNotFound;
  if (hasId) {
    const std::size_t start = quote + 1;
    std::size_t end = findText(line, "\"", start);
    if (end == kNotFound) end = line.size();
    node.id = makeNodeId(line.substr(start, end - start));
  }
  // One node per element: the first accepted position stands.
  bool stored = false;
  const std::size_t firstCandidate = unsettled_ != nullptr ? unsettled_->candidates.size() : 0;
  std::array<std::size_t, 2> after;
  while (lines_.readDataLine(line)) {
    const std::uint32_t found = riverNodeTags.scan(line, after);
    if (found & kEndTag) break;
    if (!(found & kRowTag) || stored) continue;
    std::string_view reference;
    if (!valueBefore(line, after[1], "\"", reference)) continue;
    const std::int32_t position = parseIdNumber(reference);
    if (!hasId || position < 0) continue;
    if (position <= maxPt_) {
      node.position = position;
      stores_.riverNodes.push(node);
      stored = true;
    } else if (unsettled_ != nullptr) {
      unsettled_->candidates.push_back(position);
    }
  }
  if (unsettled_ != nullptr && unsettled_->candidates.size() > firstCandidate) {
    keepUnsettledNode(firstCandidate, stored, node);
  }
}

// A node whose first positions lay above the Points of this part: its record stands in file
// order, the join settles its position.
void ElementReader::keepUnsettledNode(std::size_t firstCandidate, bool stored,
                                      const RiverNode& node) {
  if (!stored) stores_.riverNodes.push(RiverNode{-1, node.id});
  unsettled_->nodes.push_back(UnsettledNodes::Node{stores_.riverNodes.size() - 1, firstCandidate,
                                                   unsettled_->candidates.size() - firstCandidate});
}

}  // namespace riverdata_detail
