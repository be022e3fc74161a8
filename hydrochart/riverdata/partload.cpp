// The split load: part starts near even shares of a file, the threads that read the parts, the
// chain of parts that arrived at one another, and the join of their records in file order.
#include "hydrochart/riverdata/partload.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

#include "hydrochart/riverdata/elements.h"
#include "hydrochart/riverdata/index.h"
#include "hydrochart/riverdata/sidebyside.h"

namespace riverdata_detail {

namespace {

using platform::findText;

constexpr std::size_t kNotFound = std::string_view::npos;

// Bytes after a share's offset in which its part's start is looked for.
constexpr std::size_t kStartSearchWindow = std::size_t{1} << 20;
constexpr std::array<std::string_view, 4> kPartStartTags = {"<gml:Curve ", "<gml:Point ",
                                                            "<ksj:Stream ", "<ksj:RiverNode "};

// Whether the line that ends just before `lineStart` in `text` is one that the line reader
// hands out whole to the loop that reads on after it: it starts inside the text, holds more than
// a CR, is shorter than a piece, and holds no NUL and no comment mark.
bool followsPlainLine(std::string_view text, std::size_t lineStart) {
  if (lineStart < 2) return false;
  const std::size_t lineFeed = lineStart - 1;
  const std::size_t before = text.rfind('\n', lineFeed - 1);
  if (before == kNotFound) return false;
  std::string_view previous = text.substr(before + 1, lineFeed - before - 1);
  if (!previous.empty() && previous.back() == '\r') previous.remove_suffix(1);
  return !previous.empty() && previous.size() < DataLineReader::kMaxLine &&
         previous.find('\0') == kNotFound && findText(previous, "<!--") == kNotFound &&
         findText(previous, "-->") == kNotFound;
}

// Offset of the first line at or after `from` that opens an element after a plain line, or 0.
std::uint64_t findPartStart(const platform::InputFile& file, std::uint64_t from,
                            std::vector<char>& window) {
  const long n = file.readAt(window.data(), window.size(), from);
  if (n <= 0) return 0;
  const std::string_view text(window.data(), static_cast<std::size_t>(n));
  for (std::size_t searchFrom = 0;;) {
    std::size_t tag = kNotFound;
    for (const std::string_view pattern : kPartStartTags) {
      tag = std::min(tag, findText(text, pattern, searchFrom));
    }
    if (tag == kNotFound) return 0;
    const std::size_t lineFeed = text.rfind('\n', tag);
    if (lineFeed != kNotFound && followsPlainLine(text, lineFeed + 1)) {
      return from + lineFeed + 1;
    }
    searchFrom = tag + 1;
  }
}

// One part of the file and what its reading left.
struct Part {
  std::uint64_t start = 0;
  std::optional<DataLineReader> lines;
  std::optional<LoadStores> ownStores;  // a later part's; the first part's go to the data set
  UnsettledNodes unsettled;
  std::optional<ElementReader> reader;
  PartStops stops;
  bool started = false;
  ReadEnd end = ReadEnd::Cancelled;
  std::exception_ptr fault;  // what its reading threw
  bool outOfMemory = false;
  std::int32_t maxCv = 0;  // largest ids its reader read
  std::int32_t maxPt = 0;

  LoadStores& stores() { return *ownStores; }
  // Whether its records can follow those of the part before, once that one arrived here: it
  // was read to its end or to a later part's start, or it met a fault of the data, which a
  // single pass meets there too. A part that ran short of memory or was read by another part
  // cannot.
  bool stands() const { return started && !outOfMemory && (fault || end != ReadEnd::Cancelled); }
};

class PartLoad {
 public:
  PartLoad(platform::InputFile& file, RiverData& data, const std::vector<std::uint64_t>& starts,
           const char* nameEncoding)
      : file_(file),
        data_(data),
        firstStores_(data),
        nameEncoding_(nameEncoding),
        starts_(starts),
        passed_(std::make_unique<std::atomic<bool>[]>(starts.size() + 1)) {
    starts_.insert(starts_.begin(), 0);
    for (const std::uint64_t start : starts_) parts_.emplace_back().start = start;
  }

  PartsRead run(unsigned threads) {
    readParts(std::min<std::size_t>(std::max(threads, 1u), parts_.size()));
    const std::vector<std::size_t> chain = followChain();
    for (Part& part : parts_) {
      if (part.reader) {
        part.maxCv = part.reader->maxCv();
        part.maxPt = part.reader->maxPt();
      }
      part.reader.reset();
      part.lines.reset();  // the read blocks are no longer needed while the parts are joined
    }
    join(chain, threads >= 2);
    return PartsRead{static_cast<unsigned>(chain.size()), fallback_};
  }

 private:
  void readParts(std::size_t workers);
  void readNextParts();
  void readPart(std::size_t k);
  std::vector<std::size_t> followChain();
  void join(const std::vector<std::size_t>& chain, bool twoThreads);
  void moveLargeRecords(const std::vector<std::size_t>& chain);
  void moveSmallRecords(const std::vector<std::size_t>& chain,
                        const std::vector<std::size_t>& positionBases);
  void settleRiverNodes(Part& part, std::size_t firstNode, std::int32_t earlierMaxPt);
  void noteFallback(LoadFallback fallback) {
    if (fallback_ == LoadFallback::None) fallback_ = fallback;
  }

  platform::InputFile& file_;
  RiverData& data_;
  LoadStores firstStores_;
  const char* nameEncoding_;
  std::vector<std::uint64_t> starts_;            // of every part, the first's 0 included
  std::unique_ptr<std::atomic<bool>[]> passed_;  // per part: another part read its lines
  std::deque<Part> parts_;
  std::atomic<std::size_t> nextPart_{0};
  LoadFallback fallback_ = LoadFallback::None;
};

// Reads the parts on `workers` threads, this one included, each taking the next part not yet
// taken. Without a second thread the first part reads the whole file.
void PartLoad::readParts(std::size_t workers) {
  std::vector<std::thread> helpers;
  for (std::size_t i = 1; i < workers; ++i) {
    try {
      helpers.emplace_back([this] { readNextParts(); });
    } catch (const std::system_error&) {
      break;
    }
  }
  if (workers > 1 && helpers.empty()) {
    noteFallback(LoadFallback::NoThread);
    starts_.resize(1);
    while (parts_.size() > 1) parts_.pop_back();
  }
  readNextParts();
  for (std::thread& helper : helpers) helper.join();
}

void PartLoad::readNextParts() {
  for (;;) {
    const std::size_t k = nextPart_.fetch_add(1);
    if (k >= parts_.size()) return;
    readPart(k);
  }
}

void PartLoad::readPart(std::size_t k) {
  Part& part = parts_[k];
  if (passed_[k].load(std::memory_order_relaxed)) return;
  part.started = true;
  try {
    part.lines.emplace(file_, part.start, DataLineReader::kReadSize);
    if (k > 0) part.ownStores.emplace();
    part.reader.emplace(*part.lines, k == 0 ? firstStores_ : part.stores());
    part.reader->readNamesAs(nameEncoding_);
    part.stops = PartStops{starts_.data(), passed_.get(), parts_.size(), k + 1};
    part.reader->readAsPart(&part.stops, k == 0 ? nullptr : &passed_[k],
                            k == 0 ? nullptr : &part.unsettled);
    part.end = part.reader->run();
  } catch (const std::bad_alloc&) {
    part.outOfMemory = true;
    part.fault = std::current_exception();
  } catch (...) {
    part.fault = std::current_exception();
  }
}

// The parts whose records make up the file, from the first on: each arrived at the start of
// the next. Where the next one cannot stand, the part reads on through its lines itself.
std::vector<std::size_t> PartLoad::followChain() {
  std::vector<std::size_t> chain{0};
  std::size_t k = 0;
  for (;;) {
    Part& part = parts_[k];
    // Every part before read cleanly: this fault is the first one of the file.
    if (part.fault) std::rethrow_exception(part.fault);
    if (part.end == ReadEnd::FileEnd) return chain;
    const std::size_t next = part.stops.next - 1;  // the part it arrived at
    if (next > k + 1) noteFallback(LoadFallback::PartPassedBy);
    if (parts_[next].stands()) {
      chain.push_back(next);
      k = next;
      continue;
    }
    noteFallback(parts_[next].outOfMemory ? LoadFallback::PartOutOfMemory
                                          : LoadFallback::PartPassedBy);
    passed_[k].store(false);
    part.end = part.reader->run();  // no other thread runs now: what it throws is the load's
  }
}

void PartLoad::join(const std::vector<std::size_t>& chain, bool twoThreads) {
  std::array<std::size_t, 5> totals = {data_.pointList.size(), data_.curves.size(),
                                       data_.points.size(), data_.streams.size(),
                                       data_.riverNodes.size()};
  std::vector<std::size_t> positionBases;  // positions before each part of the chain
  for (const std::size_t k : chain) {
    positionBases.push_back(totals[0]);
    if (k == 0) continue;
    LoadStores& stores = parts_[k].stores();
    totals[0] += stores.positions.size();
    totals[1] += stores.curves.size();
    totals[2] += stores.points.size();
    totals[3] += stores.streams.size();
    totals[4] += stores.riverNodes.size();
  }
  for (const std::size_t total : totals) {
    if (total > kMaxRecords) throw std::bad_alloc();
  }
  // Most of the bytes are positions and streams: one thread moves them and indexes the streams
  // while the other moves the rest and builds the id indexes; neither reads what the other writes.
  runSideBySide(
      twoThreads, [&] { moveLargeRecords(chain); },
      [&] { moveSmallRecords(chain, positionBases); });
}

void PartLoad::moveLargeRecords(const std::vector<std::size_t>& chain) {
  for (const std::size_t k : chain) {
    if (k == 0) continue;
    parts_[k].stores().positions.moveInto(data_.pointList);
    parts_[k].stores().streams.moveInto(data_.streams);
  }
  buildStreamIndexes(data_);
}

void PartLoad::moveSmallRecords(const std::vector<std::size_t>& chain,
                                const std::vector<std::size_t>& positionBases) {
  std::int32_t maxCv = 0;
  std::int32_t maxPt = 0;  // of the parts before
  for (std::size_t i = 0; i < chain.size(); ++i) {
    Part& part = parts_[chain[i]];
    if (i > 0) {
      const std::size_t firstCurve = data_.curves.size();
      const std::size_t firstNode = data_.riverNodes.size();
      part.stores().curves.moveInto(data_.curves);
      part.stores().points.moveInto(data_.points);
      part.stores().riverNodes.moveInto(data_.riverNodes);
      settleRiverNodes(part, firstNode, maxPt);
      // A later part numbered its positions from 0.
      const auto shift = static_cast<std::int32_t>(positionBases[i]);
      for (std::size_t c = firstCurve; c < data_.curves.size(); ++c) {
        data_.curves[c].first += shift;
        data_.curves[c].last += shift;
      }
    }
    maxCv = std::max(maxCv, part.maxCv);
    maxPt = std::max(maxPt, part.maxPt);
  }
  data_.maxCv = maxCv;
  data_.maxPt = maxPt;
  // Nodes that no position of theirs placed.
  std::erase_if(data_.riverNodes, [](const RiverNode& node) { return node.position < 0; });
  buildIdIndexes(data_);
}

// A river node of `part` that the part could not place takes the first of its positions that
// lies within the Points of the parts before (`earlierMaxPt`), as a single pass would; without
// one it keeps the position the part accepted, or is left out (-1).
void PartLoad::settleRiverNodes(Part& part, std::size_t firstNode, std::int32_t earlierMaxPt) {
  const UnsettledNodes& unsettled = part.unsettled;
  for (const UnsettledNodes::Node& node : unsettled.nodes) {
    const auto begin =
        unsettled.candidates.begin() + static_cast<std::ptrdiff_t>(node.firstCandidate);
    const auto end = begin + static_cast<std::ptrdiff_t>(node.candidateCount);
    const auto accepted =
        std::find_if(begin, end, [earlierMaxPt](std::int32_t p) { return p <= earlierMaxPt; });
    if (accepted != end) data_.riverNodes[firstNode + node.record].position = *accepted;
  }
}

}  // namespace

std::vector<std::uint64_t> findPartStarts(const platform::InputFile& file, std::uint64_t size,
                                          unsigned parts) {
  std::vector<std::uint64_t> starts;
  std::vector<char> window(kStartSearchWindow);
  for (unsigned k = 1; k < parts; ++k) {
    const std::uint64_t from = size / parts * k;
    const std::uint64_t start = findPartStart(file, from, window);
    if (start != 0 && (starts.empty() || start > starts.back())) starts.push_back(start);
  }
  return starts;
}

PartsRead loadInParts(platform::InputFile& file, RiverData& data,
                      const std::vector<std::uint64_t>& starts, unsigned threads,
                      const char* nameEncoding) {
  PartLoad load(file, data, starts, nameEncoding);
  return load.run(threads);
}

}  // namespace riverdata_detail
