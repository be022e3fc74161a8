// The lookup index: built after a load (or along with joining its parts), read by every lookup.
#include "hydrochart/riverdata/index.h"

#include "hydrochart/riverdata/sidebyside.h"

namespace riverdata_detail {

namespace {

// From this many streams on, the index is built by two threads: below it a thread costs more
// than it saves.
constexpr std::size_t kStreamsForTwoThreads = 4096;

}  // namespace

void buildIdIndexes(RiverData& data) {
  RiverDataIndex& index = data.index;
  index.curveById.build(data.curves.size(), [&data](std::size_t i) { return data.curves[i].id; });
  index.pointById.build(data.points.size(), [&data](std::size_t i) { return data.points[i].id; });
  index.riverNodeById.build(data.riverNodes.size(), [&data](std::size_t i) {
    return makeNodeId(nodeIdView(data.riverNodes[i].id));
  });
}

void buildStreamIndexes(RiverData& data) {
  RiverDataIndex& index = data.index;
  index.streamsByRiverCode.clear();
  index.streamsByWaterSystem.clear();
  for (std::size_t i = 0; i < data.streams.size(); ++i) {
    const Stream& stream = data.streams[i];
    index.streamsByRiverCode[stream.riverCode].push_back(static_cast<std::int32_t>(i));
    index.streamsByWaterSystem[stream.waterSystemCode].push_back(static_cast<std::int32_t>(i));
  }
}

void buildIndexes(RiverData& data, bool twoThreads) {
  runSideBySide(
      twoThreads && data.streams.size() >= kStreamsForTwoThreads, [&] { buildStreamIndexes(data); },
      [&] { buildIdIndexes(data); });
}

}  // namespace riverdata_detail

void buildRiverDataIndex(RiverData& data) { riverdata_detail::buildIndexes(data, true); }

std::int32_t findCurveIndex(const RiverData& data, std::int32_t id) {
  return data.index.curveById.find(id);
}

std::int32_t findPointIndex(const RiverData& data, std::int32_t id) {
  return data.index.pointById.find(id);
}

std::int32_t findRiverNodeIndex(const RiverData& data, std::string_view idText) {
  // The text counts up to its first NUL, like the id fields it is compared with.
  const std::size_t nul = idText.find('\0');
  if (nul != std::string_view::npos) idText = idText.substr(0, nul);
  return data.index.riverNodeById.find(makeNodeId(idText));
}

const std::vector<std::int32_t>& streamsOfRiver(const RiverData& data, std::uint64_t riverCode) {
  static const std::vector<std::int32_t> kNone;
  const auto it = data.index.streamsByRiverCode.find(riverCode);
  return it == data.index.streamsByRiverCode.end() ? kNone : it->second;
}

const std::vector<std::int32_t>& streamsOfWaterSystem(const RiverData& data, std::uint32_t code) {
  static const std::vector<std::int32_t> kNone;
  const auto it = data.index.streamsByWaterSystem.find(code);
  return it == data.index.streamsByWaterSystem.end() ? kNone : it->second;
}
