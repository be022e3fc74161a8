// The in-memory data set of one W05 river data file, its records, and its loader.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "hydrochart/riverdata/keytable.h"

// Reference or id text of a river node: at most 13 bytes, NUL-padded, no terminator when full.
using NodeIdText = std::array<char, 13>;

// The text of a node id field (at most 13 characters).
inline std::string_view nodeIdView(const NodeIdText& id) {
  std::size_t n = 0;
  while (n < id.size() && id[n] != '\0') ++n;
  return {id.data(), n};
}

struct LatLon {
  double lat;
  double lon;
};

struct Curve {
  std::int32_t first;  // index in pointList of the first position
  std::int32_t last;   // index of the last position, inclusive; first - 1 when empty
  std::int32_t id;
};

struct Point {
  double lat;
  double lon;
  std::int32_t id;
};

struct Stream {
  std::uint32_t waterSystemCode = 0;
  std::int32_t location = 0;  // id of the Curve that carries the stream's line
  std::uint64_t riverCode = 0;
  std::int32_t sectionType = 0;
  std::int32_t originalDataType = 0;
  NodeIdText startRiverNode{};
  NodeIdText endRiverNode{};
  NodeIdText startStreamNode{};
  NodeIdText endStreamNode{};
  char riverName[64] = {};  // bytes as in the file, at most 63 and a terminating NUL
};

struct RiverNode {
  std::int32_t position;  // id of the Point that holds the node's position
  NodeIdText id;
};

// Lookup indexes, built once after a load. Each yields the first record in file order that
// carries a key, so a lookup gives the same record as a linear search would.
struct RiverDataIndex {
  riverdata_detail::FirstIndex<std::int32_t> curveById;    // first Curve with the id
  riverdata_detail::FirstIndex<std::int32_t> pointById;    // first Point with the id
  riverdata_detail::FirstIndex<NodeIdText> riverNodeById;  // first RiverNode with the id text
  // Stream indexes of each river and each water system, in file order.
  std::unordered_map<std::uint64_t, std::vector<std::int32_t>> streamsByRiverCode;
  std::unordered_map<std::uint32_t, std::vector<std::int32_t>> streamsByWaterSystem;
};

struct RiverData {
  std::vector<LatLon> pointList;
  std::vector<Curve> curves;
  std::vector<Point> points;
  std::vector<Stream> streams;
  std::vector<RiverNode> riverNodes;
  std::int32_t maxCv = 0;  // largest Curve id of the load
  std::int32_t maxPt = 0;  // largest Point id of the load
  RiverDataIndex index;
};

// River codes are the code of their water system followed by four digits, the river's number;
// number 0001 is the system's main river.
constexpr std::uint64_t kRiverNumbersPerSystem = 10000;
constexpr std::uint64_t kMainRiverNumber = 1;
inline std::uint64_t mainRiverCode(std::uint32_t waterSystemCode) {
  return std::uint64_t{waterSystemCode} * kRiverNumbersPerSystem + kMainRiverNumber;
}
// Codes from this value up name rivers, smaller codes water systems.
constexpr std::uint64_t kSmallestRiverCode = 1000000;

enum class LoadStatus {
  Loaded,
  NotOpened,            // the file cannot be opened or is a folder; `data` untouched
  OutOfMemory,          // an array could not grow; the data set must not be used
  NonFiniteCoordinate,  // a stored position would hold nan, inf or 1e999; the data set emptied
};

// Loads `path` into `data` (replacing what it held).
LoadStatus loadRiverData(const std::string& path, RiverData& data);

// Builds `data.index` from the records (loadRiverData calls it; tests that fill a data set by
// hand call it themselves).
void buildRiverDataIndex(RiverData& data);

// Empties the data set and gives its memory back.
void releaseRiverData(RiverData& data);

// Lookups over the index; -1 when nothing matches.
std::int32_t findCurveIndex(const RiverData& data, std::int32_t id);
std::int32_t findPointIndex(const RiverData& data, std::int32_t id);
// The id text is compared over at most 13 bytes, up to its first NUL.
std::int32_t findRiverNodeIndex(const RiverData& data, std::string_view idText);

// Indexes into `streams` of the streams of one river or one water system, in file order
// (empty when none).
const std::vector<std::int32_t>& streamsOfRiver(const RiverData& data, std::uint64_t riverCode);
const std::vector<std::int32_t>& streamsOfWaterSystem(const RiverData& data, std::uint32_t code);
