// Builds a small W05 text from the input (element order, counts, ids, references and line
// forms), loads it in one pass and in parts that start at element lines and at any offsets the
// input picks, and requires the same outcome record by record and lookup by lookup.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "hydrochart/riverdata/riverdata.h"
#include "tests/support/w05text.h"

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "split load differs from one pass: %s\n", what);
  std::abort();
}

template <typename Record, typename Same>
void requireSameRecords(const std::vector<Record>& a, const std::vector<Record>& b, Same same,
                        const char* what) {
  require(a.size() == b.size(), what);
  for (std::size_t i = 0; i < a.size(); ++i) require(same(a[i], b[i]), what);
}

void requireSameRecords(const RiverData& a, const RiverData& b) {
  requireSameRecords(
      a.pointList, b.pointList,
      [](const LatLon& x, const LatLon& y) {
        return std::memcmp(&x.lat, &y.lat, 8) == 0 && std::memcmp(&x.lon, &y.lon, 8) == 0;
      },
      "positions");
  requireSameRecords(
      a.curves, b.curves,
      [](const Curve& x, const Curve& y) {
        return x.first == y.first && x.last == y.last && x.id == y.id;
      },
      "curves");
  requireSameRecords(
      a.points, b.points,
      [](const Point& x, const Point& y) {
        return x.id == y.id && std::memcmp(&x.lat, &y.lat, 8) == 0 &&
               std::memcmp(&x.lon, &y.lon, 8) == 0;
      },
      "points");
  requireSameRecords(
      a.streams, b.streams,
      [](const Stream& x, const Stream& y) {
        return x.waterSystemCode == y.waterSystemCode && x.location == y.location &&
               x.riverCode == y.riverCode && x.sectionType == y.sectionType &&
               x.originalDataType == y.originalDataType && x.startRiverNode == y.startRiverNode &&
               x.endRiverNode == y.endRiverNode && x.startStreamNode == y.startStreamNode &&
               x.endStreamNode == y.endStreamNode &&
               std::strcmp(x.riverName, y.riverName) == 0;
      },
      "streams");
  requireSameRecords(
      a.riverNodes, b.riverNodes,
      [](const RiverNode& x, const RiverNode& y) {
        return x.position == y.position && x.id == y.id;
      },
      "river nodes");
  require(a.maxCv == b.maxCv && a.maxPt == b.maxPt, "largest ids");
}

// Every lookup that drawing makes, over the ids the text can hold and a few beyond.
void requireSameLookups(const RiverData& a, const RiverData& b, std::int32_t largestId) {
  for (std::int32_t id = -1; id <= largestId + 4; ++id) {
    require(findCurveIndex(a, id) == findCurveIndex(b, id), "curve lookup");
    require(findPointIndex(a, id) == findPointIndex(b, id), "point lookup");
    const std::string node = "rn_" + std::to_string(id);
    require(findRiverNodeIndex(a, node) == findRiverNodeIndex(b, node), "node lookup");
  }
  for (const Stream& stream : a.streams) {
    require(streamsOfRiver(a, stream.riverCode) == streamsOfRiver(b, stream.riverCode),
            "streams of a river");
    require(streamsOfWaterSystem(a, stream.waterSystemCode) ==
                streamsOfWaterSystem(b, stream.waterSystemCode),
            "streams of a water system");
  }
}

// Offsets of the lines that open an element.
std::vector<std::uint64_t> elementLines(const std::string& text) {
  std::vector<std::uint64_t> lines;
  for (std::size_t at = text.find("\n<"); at != std::string::npos; at = text.find("\n<", at + 1)) {
    lines.push_back(at + 1);
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  w05text::ByteChoices choices(data, size);
  w05text::Layout layout;
  layout.order = w05text::everyOrder()[choices.pick(24)];
  layout.interleaved = choices.chance(3);
  layout.elementsPerKind = 1 + choices.pick(12);
  layout.plainForms = choices.chance(4);
  const std::string text = w05text::buildText(layout, choices);
  const std::vector<std::uint64_t> lines = elementLines(text);

  LoadOptions split;
  split.threads = 1 + choices.pick(2);
  const unsigned parts = 1 + choices.pick(4);
  for (unsigned k = 0; k < parts; ++k) {
    const bool atElement = !lines.empty() && !choices.chance(3);
    split.partStarts.push_back(atElement ? lines[choices.pick(static_cast<unsigned>(lines.size()))]
                                         : choices.pick(static_cast<unsigned>(text.size()) + 1));
  }

  FuzzInputFile input(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), ".xml");
  LoadOptions onePass;
  onePass.threads = 1;
  RiverData whole;
  RiverData inParts;
  const LoadStatus wholeStatus = loadRiverData(input.path(), whole, onePass).status;
  const LoadResult result = loadRiverData(input.path(), inParts, split);
  require(wholeStatus == result.status, "load status");
  require(result.parts >= 1 && result.parts <= parts + 1, "part count");
  if (wholeStatus != LoadStatus::Loaded) return 0;
  requireSameRecords(whole, inParts);
  requireSameLookups(whole, inParts, static_cast<std::int32_t>(layout.elementsPerKind));
  return 0;
}
