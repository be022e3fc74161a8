// The in-memory data set of one W05 river data file and its records.
#pragma once

#include <array>
#include <cstdint>
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

// A node id field holding `text`: at most its first 13 bytes, the rest NUL.
inline NodeIdText makeNodeId(std::string_view text) {
  NodeIdText id{};
  const std::size_t n = text.size() < id.size() ? text.size() : id.size();
  for (std::size_t i = 0; i < n; ++i) id[i] = text[i];
  return id;
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
