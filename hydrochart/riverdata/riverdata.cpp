#include "hydrochart/riverdata/riverdata.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "hydrochart/riverdata/linereader.h"
#include "hydrochart/riverdata/partload.h"
#include "hydrochart/riverdata/textscan.h"
#include "platform/blocks.h"
#include "platform/textconv.h"

using platform::findText;
using riverdata_detail::parseCoordinate;
using riverdata_detail::parsePlainDecimal;
using riverdata_detail::parseSigned32;
using riverdata_detail::parseUnsigned32;
using riverdata_detail::parseUnsigned64;
using riverdata_detail::TagSet;

namespace {

constexpr std::size_t kNotFound = std::string_view::npos;

// Initial capacities of the record arrays.
constexpr std::size_t kPointListStart = 200000;
constexpr std::size_t kRecordStart = 5000;
// A position line of a data file takes about this many bytes: the file size over it is the
// number of positions to make room for.
constexpr std::size_t kFileBytesPerPosition = 40;
// Counts are reported and used as signed 32-bit numbers.
constexpr std::size_t kMaxRecords =
    static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

// Appends a record; an array that would outgrow the 32-bit counts fails like an allocation.
template <typename T>
inline T& append(std::vector<T>& records, const T& record) {
  if (records.size() == records.capacity() && records.size() >= kMaxRecords) [[unlikely]] {
    throw std::bad_alloc();
  }
  records.push_back(record);
  return records.back();
}

// A node id field: at most the first 13 bytes of the text, the rest NUL.
NodeIdText makeNodeId(std::string_view text) {
  NodeIdText id{};
  const std::size_t n = std::min(text.size(), id.size());
  if (n > 0) std::memcpy(id.data(), text.data(), n);
  return id;
}

// Key form of a node id: bytes after the first NUL do not count, as in a 13-character
// comparison of texts.
NodeIdText normalizedNodeId(const NodeIdText& id) { return makeNodeId(nodeIdView(id)); }

// Tag patterns of the main loop, in the order of their tests.
constexpr std::array<std::string_view, 4> kElementTags = {"<gml:Curve ", "<gml:Point ",
                                                          "<ksj:Stream ", "<ksj:RiverNode gml:id="};
enum ElementTag : std::uint32_t { kCurveTag = 1, kPointTag = 2, kStreamTag = 4, kRiverNodeTag = 8 };

constexpr std::array<std::string_view, 2> kCurveTags = {"</gml:Curve>", "<gml:posList>"};
constexpr std::array<std::string_view, 2> kPointTags = {"</gml:Point>", "<gml:pos>"};
constexpr std::array<std::string_view, 2> kRiverNodeTags = {"</ksj:RiverNode>",
                                                            "<ksj:position xlink:href=\"#"};

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

// Thrown when a stored position would hold a coordinate that is not a finite number (nan, inf,
// or a value such as 1e999 beyond the range of a double): no page could show it.
struct NonFiniteCoordinate {};

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

// The encoding that the XML declaration on the first line of a data file names, as an iconv
// name, when it is a Japanese encoding other than UTF-8 (published files are UTF-8; an older
// or re-saved file may be Shift_JIS or EUC-JP). nullptr for UTF-8, for any other name, and
// for a file that starts with a UTF-8 byte-order mark.
const char* declaredNameEncoding(std::string_view firstLine) {
  if (firstLine.substr(0, 3) == "\xEF\xBB\xBF") return nullptr;
  const std::size_t declaration = findText(firstLine, "<?xml");
  if (declaration == kNotFound) return nullptr;
  const std::size_t end = findText(firstLine, "?>", declaration);
  const std::size_t attribute = findText(firstLine, "encoding=", declaration);
  if (end == kNotFound || attribute == kNotFound || attribute > end) return nullptr;
  const std::size_t open = attribute + 9;
  if (open >= end || (firstLine[open] != '"' && firstLine[open] != '\'')) return nullptr;
  const std::size_t close = firstLine.find(firstLine[open], open + 1);
  if (close == std::string_view::npos || close > end) return nullptr;
  const std::string_view name = firstLine.substr(open + 1, close - open - 1);
  for (const std::string_view shiftJis : {"Shift_JIS", "Shift-JIS", "SJIS", "x-sjis", "MS_Kanji",
                                          "csShiftJIS", "Windows-31J", "CP932"}) {
    if (equalsNoCase(name, shiftJis)) return "CP932";
  }
  for (const std::string_view eucJp : {"EUC-JP", "EUC_JP", "eucJP", "x-euc-jp"}) {
    if (equalsNoCase(name, eucJp)) return "EUC-JP";
  }
  return nullptr;
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

// Where the records of one kind go during a load: straight into an array of the data set, or
// (for the second part of a file that is loaded in two parts) into blocks taken from the
// system, which are copied into the data set's array and given back one by one later, so that
// the moving never holds a second full copy of the records.
template <typename Record>
class RecordStore {
 public:
  explicit RecordStore(std::vector<Record>& list) : list_(&list) {}
  RecordStore() = default;
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;
  ~RecordStore() {
    for (Record* block : blocks_) platform::releaseBlock(block, kBlockBytes);
  }

  // Index that the next record gets.
  std::size_t size() const {
    if (list_ != nullptr) return list_->size();
    return blocks_.empty() ? 0 : (blocks_.size() - 1) * kBlockRecords + (next_ - blocks_.back());
  }

  // The record appended; it stays in place until the next push.
  Record& push(const Record& record) {
    if (list_ != nullptr) return append(*list_, record);
    if (next_ == end_) [[unlikely]]
      nextBlock();
    *next_ = record;
    return *next_++;
  }

  // Appends the records to `target` in order, giving back each block's memory once copied.
  void moveInto(std::vector<Record>& target) {
    target.reserve(target.size() + size());
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
      const std::size_t n =
          i + 1 < blocks_.size() ? kBlockRecords : static_cast<std::size_t>(next_ - blocks_[i]);
      target.insert(target.end(), blocks_[i], blocks_[i] + n);
      platform::releaseBlock(blocks_[i], kBlockBytes);
      blocks_[i] = nullptr;
    }
    blocks_.clear();
    next_ = end_ = nullptr;
  }

 private:
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
  static constexpr std::size_t kBlockRecords = kBlockBytes / sizeof(Record);

  void nextBlock() {
    if (size() + kBlockRecords > kMaxRecords) throw std::bad_alloc();
    blocks_.reserve(blocks_.size() + 1);
    void* block = platform::takeBlock(kBlockBytes);
    if (block == nullptr) throw std::bad_alloc();
    blocks_.push_back(static_cast<Record*>(block));
    next_ = blocks_.back();
    end_ = next_ + kBlockRecords;
  }

  std::vector<Record>* list_ = nullptr;
  std::vector<Record*> blocks_;
  Record* next_ = nullptr;
  Record* end_ = nullptr;
};

using PositionStore = RecordStore<LatLon>;

// Where the records of a load go: the arrays of a data set, or blocks for the second part of a
// split load.
struct LoadStores {
  explicit LoadStores(RiverData& data)
      : positions(data.pointList),
        curves(data.curves),
        points(data.points),
        streams(data.streams),
        riverNodes(data.riverNodes) {}
  LoadStores() = default;

  PositionStore positions;
  RecordStore<Curve> curves;
  RecordStore<Point> points;
  RecordStore<Stream> streams;
  RecordStore<RiverNode> riverNodes;
};

// Reads the elements of a file into a data set, from the start of the file or, for the second
// part of a split load, from a line that starts an element.
class RiverDataLoader {
 public:
  RiverDataLoader(int fd, RiverData& data)
      : reader_(fd), data_(data), ownStores_(data), stores_(ownStores_) {}
  // The same, reading from the start at given offsets, for a descriptor that a second part's
  // loader reads as well.
  RiverDataLoader(int fd, std::uint64_t offset, RiverData& data)
      : reader_(fd, offset, DataLineReader::kReadSize),
        data_(data),
        ownStores_(data),
        stores_(ownStores_) {}
  // The second part of a split load: from `offset` on; the records go to `stores`, the largest
  // ids to `data`.
  RiverDataLoader(int fd, std::uint64_t offset, RiverData& data, LoadStores& stores,
                  const std::atomic<bool>& cancelled)
      : reader_(fd, offset, DataLineReader::kReadSize),
        data_(data),
        stores_(stores),
        second_(true),
        cancelled_(&cancelled),
        firstLine_(false) {}

  // Loads up to the end of the file, or stops in the main loop when the next line to read
  // starts exactly at `stopAt` (returns true then). Passing `stopAt` anywhere else (inside an
  // element, a comment or an empty line) just goes on to the end.
  bool run(std::uint64_t stopAt = std::numeric_limits<std::uint64_t>::max()) {
    std::string_view line;
    for (;;) {
      if (reader_.offset() >= stopAt) [[unlikely]] {
        if (reader_.offset() == stopAt) return true;
        stopAt = std::numeric_limits<std::uint64_t>::max();
      }
      if (second_ && cancelled_->load(std::memory_order_relaxed)) return false;
      if (!reader_.readDataLine(line)) return false;
      if (firstLine_) {
        nameEncoding_ = declaredNameEncoding(line);
        firstLine_ = false;
      }
      std::array<std::size_t, 4> after;
      const std::uint32_t found = elementTags.scan(line, after);
      if (found == 0) continue;
      if (found & kCurveTag) {
        loadCurve(line, after[0]);
      } else if (found & kPointTag) {
        loadPoint(line, after[1]);
      } else if (found & kStreamTag) {
        loadStream();
      } else {
        loadRiverNode(line, after[3]);
      }
    }
  }

  // True when a river node of this part was turned away because its position lay above the
  // largest Point id seen so far in the part: with the Points of the part before, it might have
  // been taken.
  bool dependsOnEarlierPoints() const { return dependsOnEarlierPoints_; }

  // The encoding of the river names that the file's first line declares (null for UTF-8).
  // A second part, which never sees that line, reads its names as UTF-8.
  const char* nameEncoding() const { return nameEncoding_; }

 private:
  // Number of the gml:id attribute after `from`; false when the attribute or its closing
  // quote is missing.
  static bool readElementId(std::string_view line, std::size_t from, std::int32_t& id) {
    const std::size_t open = findText(line, "gml:id=\"", from);
    if (open == kNotFound) return false;
    const std::size_t start = open + 8;
    const std::size_t close = findText(line, "\"", start);
    if (close == kNotFound) return false;
    id = parseIdNumber(line.substr(start, close - start));
    return true;
  }

  void loadCurve(std::string_view line, std::size_t afterTag) {
    std::int32_t id;
    if (!readElementId(line, afterTag, id)) return;
    if (id > data_.maxCv) data_.maxCv = id;
    // The lines of a Curve with a negative id pass through the main loop.
    if (id < 0) return;
    std::array<std::size_t, 2> after;
    while (reader_.readDataLine(line)) {
      const std::uint32_t found = curveTags.scan(line, after);
      if (found & 1) return;
      if (found & 2) loadPositionList(id);
    }
  }

  void loadPositionList(std::int32_t id) {
    PositionStore& pointList = stores_.positions;
    const auto first = static_cast<std::int32_t>(pointList.size());
    std::string_view line;
    for (;;) {
      readPlainPositions(pointList);
      if (second_ && cancelled_->load(std::memory_order_relaxed)) break;
      if (!reader_.readDataLine(line)) break;
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
  void readPlainPositions(PositionStore& pointList) {
    for (;;) {
      const std::string_view block = reader_.peek(DataLineReader::kMaxLine + 2);
      const char* const begin = block.data();
      const char* const end = begin + block.size();
      const char* p = begin;
      for (;;) {
        const char* q = p;
        LatLon position;
        if (!parsePlainDecimal(q, end, position.lat) || q == end || *q != ' ') break;
        ++q;
        if (!parsePlainDecimal(q, end, position.lon) || q == end || *q != '\n') break;
        pointList.push(position);
        p = q + 1;
      }
      if (p == begin) return;
      reader_.skip(static_cast<std::size_t>(p - begin));
    }
  }

  void loadPoint(std::string_view line, std::size_t afterTag) {
    std::int32_t id;
    if (!readElementId(line, afterTag, id)) return;
    if (id > data_.maxPt) data_.maxPt = id;
    if (id < 0) return;
    std::array<std::size_t, 2> after;
    while (reader_.readDataLine(line)) {
      const std::uint32_t found = pointTags.scan(line, after);
      if (found & 1) return;
      if (found & 2) {
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

  void loadStream() {
    Stream& stream = stores_.streams.push(Stream{});
    std::string_view line;
    std::array<std::size_t, kStreamTags.size()> after;
    while (reader_.readDataLine(line)) {
      const std::uint32_t found = streamTags.scan(line, after);
      if (found == 0) continue;
      const auto row = static_cast<std::size_t>(__builtin_ctz(found));
      if (row == kStreamEnd) return;
      const std::size_t start = after[row];
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
  }

  void loadRiverNode(std::string_view line, std::size_t afterTag) {
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
    std::array<std::size_t, 2> after;
    while (reader_.readDataLine(line)) {
      const std::uint32_t found = riverNodeTags.scan(line, after);
      if (found & 1) return;
      if (!(found & 2) || stored) continue;
      std::string_view reference;
      if (!valueBefore(line, after[1], "\"", reference)) continue;
      const std::int32_t position = parseIdNumber(reference);
      if (hasId && position >= 0 && position <= data_.maxPt) {
        node.position = position;
        stores_.riverNodes.push(node);
        stored = true;
      } else if (hasId && position >= 0 && second_) {
        dependsOnEarlierPoints_ = true;
      }
    }
  }

  DataLineReader reader_;
  RiverData& data_;
  LoadStores ownStores_;
  LoadStores& stores_;
  bool second_ = false;
  const std::atomic<bool>* cancelled_ = nullptr;
  bool dependsOnEarlierPoints_ = false;
  bool firstLine_ = true;
  const char* nameEncoding_ = nullptr;  // iconv name of a file that is not UTF-8
};

// Size of a regular file, else 0.
std::uint64_t regularFileSize(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return 0;
  return static_cast<std::uint64_t>(status.st_size);
}

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
void reservePositions(RiverData& data, int fd) {
  struct stat status {};
  std::size_t expected = kPointListStart;
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    expected = std::max(expected, static_cast<std::size_t>(status.st_size) / kFileBytesPerPosition);
  }
  try {
    data.pointList.reserve(expected);
  } catch (const std::bad_alloc&) {
    data.pointList.reserve(kPointListStart);
  }
  // The position array is filled in one pass: millions of small page faults cost more than
  // parsing its numbers.
  platform::adviseLargePages(data.pointList.data(), data.pointList.capacity() * sizeof(LatLon));
}

// Runs `aside` on a second thread while `here` runs on this one and waits for both; both run
// here in turn when no thread can be had. What either threw is thrown once both are done.
template <typename Aside, typename Here>
void runSideBySide(Aside&& aside, Here&& here) {
  std::exception_ptr asideFault;
  std::thread thread;
  try {
    thread = std::thread([&] {
      try {
        aside();
      } catch (...) {
        asideFault = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    aside();
    here();
    return;
  }
  std::exception_ptr hereFault;
  try {
    here();
  } catch (...) {
    hereFault = std::current_exception();
  }
  thread.join();
  if (hereFault) std::rethrow_exception(hereFault);
  if (asideFault) std::rethrow_exception(asideFault);
}

// From this many streams on, the index is built by two threads: below it a thread costs more
// than it saves.
constexpr std::size_t kStreamsForTwoThreads = 4096;

// The two halves of the index, which read the records and write separate members of the
// index, so that two threads can build them at once.
void buildIdIndexes(RiverData& data) {
  RiverDataIndex& index = data.index;
  index.curveById.build(data.curves.size(), [&data](std::size_t i) { return data.curves[i].id; });
  index.pointById.build(data.points.size(), [&data](std::size_t i) { return data.points[i].id; });
  index.riverNodeById.build(data.riverNodes.size(), [&data](std::size_t i) {
    return normalizedNodeId(data.riverNodes[i].id);
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

// Files from this size on are loaded in two parts at once.
constexpr std::uint64_t kSplitLoadSize = std::uint64_t{8} << 20;
constexpr std::array<std::string_view, 4> kPartStarts = {"<gml:Curve ", "<gml:Point ",
                                                         "<ksj:Stream ", "<ksj:RiverNode "};

// Offset of a line near the middle of the file that starts an element and follows a non-empty
// line, or 0 when there is none close by. The second part of the load starts there.
std::uint64_t findPartStart(int fd, std::uint64_t fileSize) {
  constexpr std::size_t kWindow = std::size_t{1} << 20;
  const std::uint64_t from = fileSize / 2;
  std::vector<char> window(kWindow);
  const long n = platform::readAt(fd, window.data(), window.size(), from);
  if (n <= 0) return 0;
  const std::string_view text(window.data(), static_cast<std::size_t>(n));
  std::size_t best = kNotFound;
  for (const std::string_view tag : kPartStarts) {
    const std::size_t at = findText(text, tag);
    if (at < best) best = at;
  }
  if (best == kNotFound) return 0;
  const std::size_t lineFeed = text.rfind('\n', best);
  // The line before must be a line of its own (not empty, no CR-only end) inside the window.
  if (lineFeed == std::string_view::npos || lineFeed == 0 || text[lineFeed - 1] == '\n' ||
      text[lineFeed - 1] == '\r') {
    return 0;
  }
  return from + lineFeed + 1;
}

// Appends the records of the second part to those of the first (positions are renumbered)
// and builds the index. A second thread copies the positions and streams, most of the bytes,
// and builds the stream indexes, while this one appends the other records and builds the id
// indexes; neither half reads what the other writes.
void appendPartAndIndex(RiverData& data, const RiverData& part, LoadStores& stores) {
  const std::size_t base = data.pointList.size();
  if (data.curves.size() + stores.curves.size() > kMaxRecords ||
      data.points.size() + stores.points.size() > kMaxRecords ||
      data.streams.size() + stores.streams.size() > kMaxRecords ||
      data.riverNodes.size() + stores.riverNodes.size() > kMaxRecords ||
      base + stores.positions.size() > kMaxRecords) {
    throw std::bad_alloc();
  }
  data.maxCv = std::max(data.maxCv, part.maxCv);
  data.maxPt = std::max(data.maxPt, part.maxPt);
  runSideBySide(
      [&] {
        stores.positions.moveInto(data.pointList);
        stores.streams.moveInto(data.streams);
        buildStreamIndexes(data);
      },
      [&] {
        const std::size_t firstCurve = data.curves.size();
        stores.curves.moveInto(data.curves);
        const auto shift = static_cast<std::int32_t>(base);
        for (std::size_t i = firstCurve; i < data.curves.size(); ++i) {
          data.curves[i].first += shift;
          data.curves[i].last += shift;
        }
        stores.points.moveInto(data.points);
        stores.riverNodes.moveInto(data.riverNodes);
        buildIdIndexes(data);
      });
}

// The second part's records are used only when this thread arrives at the part's start in its
// main loop, so that it would have read the rest exactly as the second thread did; otherwise
// (the start was inside an element or a comment, a river node of the second part might have
// depended on Points of the first, the file declares another encoding for its names, or the
// second thread met a fault of the data) this thread loads the rest itself, and meets any such
// fault there in its turn. True when the index was built along with the joining of the parts;
// false when the records are complete but their index is still to be built.
bool loadInTwoParts(int fd, RiverData& data, std::uint64_t partStart) {
  RiverData part;
  LoadStores stores;
  std::atomic<bool> cancelled{false};
  bool partLoaded = false;
  bool partDependent = false;
  std::thread second;
  try {
    second = std::thread([&] {
      try {
        RiverDataLoader loader(fd, partStart, part, stores, cancelled);
        loader.run();
        partDependent = loader.dependsOnEarlierPoints();
        partLoaded = !cancelled.load();
      } catch (...) {
        // Memory ran short or the data holds a fault: the first thread reads that part itself.
      }
    });
  } catch (const std::system_error&) {
    RiverDataLoader(fd, 0, data).run();  // no second thread to be had
    return false;
  }
  // Stops the second thread when this one does not reach its start; always waits for it.
  struct Joiner {
    std::thread& thread;
    std::atomic<bool>& cancelled;
    ~Joiner() {
      if (thread.joinable()) {
        cancelled = true;
        thread.join();
      }
    }
  } joiner{second, cancelled};

  std::optional<RiverDataLoader> first(std::in_place, fd, std::uint64_t{0}, data);
  const bool reached = first->run(partStart);
  if (!reached) {
    cancelled = true;
    return false;
  }
  second.join();
  if (partLoaded && !cancelled && !partDependent && first->nameEncoding() == nullptr) {
    first.reset();  // its read block is no longer needed while the parts are joined
    appendPartAndIndex(data, part, stores);
    return true;
  }
  // Continue from the part's start as the load from the start would.
  first->run();
  return false;
}

// Loads the file and builds the index: in two parts at once when the file is large and a line
// near its middle starts an element; else in one.
void loadRecordsAndIndex(int fd, RiverData& data) {
  const std::uint64_t size = regularFileSize(fd);
  if (size < kSplitLoadSize) {
    RiverDataLoader(fd, data).run();
  } else if (const std::uint64_t partStart = findPartStart(fd, size); partStart == 0) {
    RiverDataLoader(fd, 0, data).run();  // the search read at an offset: so does the load
  } else if (loadInTwoParts(fd, data, partStart)) {
    return;
  }
  buildRiverDataIndex(data);
}

}  // namespace

void riverdata_detail::loadRecordsInParts(int fd, RiverData& data, std::uint64_t partStart) {
  if (partStart == 0) {
    RiverDataLoader(fd, data).run();
  } else if (loadInTwoParts(fd, data, partStart)) {
    return;
  }
  buildRiverDataIndex(data);
}

LoadStatus loadRiverData(const std::string& path, RiverData& data) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return LoadStatus::NotOpened;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
    // A folder is no data file that could be opened for reading.
    ::close(fd);
    return LoadStatus::NotOpened;
  }
  releaseRiverData(data);
  try {
    reservePositions(data, fd);
    data.curves.reserve(kRecordStart);
    data.points.reserve(kRecordStart);
    reserveStreams(data.streams, regularFileSize(fd));
    data.riverNodes.reserve(kRecordStart);
    loadRecordsAndIndex(fd, data);
  } catch (const std::bad_alloc&) {
    ::close(fd);
    return LoadStatus::OutOfMemory;
  } catch (const NonFiniteCoordinate&) {
    ::close(fd);
    releaseRiverData(data);
    return LoadStatus::NonFiniteCoordinate;
  }
  ::close(fd);
  return LoadStatus::Loaded;
}

void buildRiverDataIndex(RiverData& data) {
  if (data.streams.size() < kStreamsForTwoThreads) {
    buildIdIndexes(data);
    buildStreamIndexes(data);
    return;
  }
  runSideBySide([&] { buildStreamIndexes(data); }, [&] { buildIdIndexes(data); });
}

void releaseRiverData(RiverData& data) { data = RiverData{}; }

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
