// The loader's entry: opens the data file, makes room for its records, and reads them in one
// pass or in parts at once, then builds the index.
#include "hydrochart/riverdata/riverdata.h"

#include <algorithm>
#include <new>
#include <optional>

#include "hydrochart/riverdata/elements.h"
#include "hydrochart/riverdata/index.h"
#include "hydrochart/riverdata/partload.h"
#include "platform/blocks.h"
#include "platform/inputfile.h"

using namespace riverdata_detail;

namespace {

// Initial capacities of the record arrays.
constexpr std::size_t kPointListStart = 200000;
constexpr std::size_t kRecordStart = 5000;
// A position line of a data file takes about this many bytes: the file size over it is the
// number of positions to make room for.
constexpr std::size_t kFileBytesPerPosition = 40;
// Bytes read at a time for the file's first line alone.
constexpr std::size_t kFirstLineReadSize = 4096;

// Room for the streams of `bytes` of a typical file (one stream per 1.2 KB and more), so that
// the array is not copied as it grows. Like the positions, the memory is only touched as
// streams arrive.
void reserveStreams(std::vector<Stream>& streams, std::uint64_t bytes) {
  const auto expected = static_cast<std::size_t>(std::min<std::uint64_t>(bytes / 1200, 1u << 24));
  try {
    streams.reserve(std::max(kRecordStart, expected));
  } catch (const std::bad_alloc&) {
    streams.reserve(kRecordStart);
  }
}

// Room for the positions of a typical file, so that a large file needs no copying growth.
// The memory is only touched as positions arrive.
void reservePositions(std::vector<LatLon>& pointList, std::uint64_t bytes) {
  const std::size_t expected =
      std::max(kPointListStart, static_cast<std::size_t>(bytes / kFileBytesPerPosition));
  try {
    pointList.reserve(expected);
  } catch (const std::bad_alloc&) {
    pointList.reserve(kPointListStart);
  }
  // The position array is filled in one pass: millions of small page faults cost more than
  // parsing its numbers.
  platform::adviseLargePages(pointList.data(), pointList.capacity() * sizeof(LatLon));
}

void reserveRecords(RiverData& data, std::uint64_t bytes) {
  reservePositions(data.pointList, bytes);
  data.curves.reserve(kRecordStart);
  data.points.reserve(kRecordStart);
  reserveStreams(data.streams, bytes);
  data.riverNodes.reserve(kRecordStart);
}

// Starts of the later parts of a file of `size` bytes (0: not a regular file), or none for a
// single pass; `fallback` tells why a file that was to be read in parts is not.
std::vector<std::uint64_t> chooseParts(const platform::InputFile& file, std::uint64_t size,
                                       const LoadOptions& options, LoadFallback& fallback) {
  if (size == 0) return {};
  std::vector<std::uint64_t> starts;
  if (!options.partStarts.empty()) {
    for (const std::uint64_t start : options.partStarts) {
      if (start > 0 && start <= size) starts.push_back(start);
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    return starts;
  }
  if (options.threads < 2 || options.parts < 2 || size < options.splitSize) return {};
  starts = findPartStarts(file, size, options.parts);
  if (starts.size() + 1 < options.parts) fallback = LoadFallback::NoPartStart;
  return starts;
}

// The encoding that the first line read declares for river names, for parts that never read
// that line.
const char* firstLineNameEncoding(platform::InputFile& file) {
  DataLineReader lines(file, std::uint64_t{0}, kFirstLineReadSize);
  std::string_view line;
  return lines.readDataLine(line) ? declaredNameEncoding(line) : nullptr;
}

// A regular file is read at offsets (a search for part starts may have moved the file's own
// position on some systems); anything else from its position on.
void readInOnePass(platform::InputFile& file, RiverData& data, bool regular) {
  std::optional<DataLineReader> lines;
  if (regular) {
    lines.emplace(file, std::uint64_t{0}, DataLineReader::kReadSize);
  } else {
    lines.emplace(file);
  }
  LoadStores stores(data);
  ElementReader reader(*lines, stores);
  reader.run();
  data.maxCv = reader.maxCv();
  data.maxPt = reader.maxPt();
}

LoadResult readRecordsAndIndex(platform::InputFile& file, RiverData& data,
                               const LoadOptions& options) {
  LoadResult result;
  const std::uint64_t size = file.regularSize();
  const std::vector<std::uint64_t> starts = chooseParts(file, size, options, result.fallback);
  if (starts.empty()) {
    readInOnePass(file, data, size > 0);
    buildIndexes(data, options.threads >= 2);
    return result;
  }
  const PartsRead read =
      loadInParts(file, data, starts, options.threads, firstLineNameEncoding(file));
  result.parts = read.parts;
  if (result.fallback == LoadFallback::None) result.fallback = read.fallback;
  return result;
}

}  // namespace

LoadResult loadRiverData(const std::string& path, RiverData& data, const LoadOptions& options) {
  platform::InputFile file;
  if (!file.open(path)) return LoadResult{LoadStatus::NotOpened};
  releaseRiverData(data);
  try {
    reserveRecords(data, file.regularSize());
    return readRecordsAndIndex(file, data, options);
  } catch (const std::bad_alloc&) {
    return LoadResult{LoadStatus::OutOfMemory};
  } catch (const NonFiniteCoordinate&) {
    releaseRiverData(data);
    return LoadResult{LoadStatus::NonFiniteCoordinate};
  }
}

void releaseRiverData(RiverData& data) { data = RiverData{}; }
