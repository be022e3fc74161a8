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

enum class LoadStatus {
  Loaded,
  NotOpened,            // the file cannot be opened or is a folder; `data` untouched
  OutOfMemory,          // an array could not grow; the data set must not be used
  NonFiniteCoordinate,  // a stored position would hold nan, inf or 1e999; the data set emptied
};

// How a large file is read: in parts at once, each read by its own thread from a line near an
// even share of the file, and joined in file order into exactly the records of a single pass.
struct LoadOptions {
  // Files of at least this many bytes are read in parts.
  std::uint64_t splitSize = std::uint64_t{8} << 20;
  // Parts of such a file.
  unsigned parts = 2;
  // Threads that read the parts and build the index; with 1 every file is read in one pass.
  unsigned threads = 2;
  // When not empty: the offsets at which the later parts start, exactly (whatever the file's
  // size and whether an element starts there), instead of lines found near even shares of the
  // file. For tests that try every start.
  std::vector<std::uint64_t> partStarts;
};

// Why a file that was to be read in parts was read in fewer.
enum class LoadFallback {
  None,
  NoPartStart,      // no line near a share's offset looked like the start of an element
  PartPassedBy,     // a part's reader did not arrive at the next part's start between elements
                    // and read that part's lines itself
  PartOutOfMemory,  // a part ran short of memory; the part before read its lines
  NoThread,         // no second thread could be had: one pass
};

struct LoadResult {
  LoadStatus status = LoadStatus::Loaded;
  unsigned parts = 1;  // parts the file was read in; 1 for a single pass
  LoadFallback fallback = LoadFallback::None;
  // Callers that only need the status compare the result with a LoadStatus.
  operator LoadStatus() const { return status; }
};

// Loads `path` into `data` (replacing what it held).
LoadResult loadRiverData(const std::string& path, RiverData& data, const LoadOptions& options = {});

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
