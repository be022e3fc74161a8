// Reading the elements of a data file: the main loop that finds each element's opening line,
// and the steps that read a Curve, a Point, a Stream and a RiverNode into their records.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "hydrochart/riverdata/linereader.h"
#include "hydrochart/riverdata/recordstore.h"

namespace riverdata_detail {

// Thrown when a stored position would hold a coordinate that is not a finite number (nan, inf,
// or a value such as 1e999 beyond the range of a double): no page could show it.
struct NonFiniteCoordinate {};

// The encoding that the XML declaration on the first line of a data file names, as an iconv
// name, when it is a Japanese encoding other than UTF-8 (published files are UTF-8; an older
// or re-saved file may be Shift_JIS or EUC-JP). nullptr for UTF-8, for any other name, and
// for a file that starts with a UTF-8 byte-order mark.
const char* declaredNameEncoding(std::string_view firstLine);

// River nodes of a later part whose position lay above every Point id the part had read:
// whether a single pass keeps them depends on the largest Point id of the parts before, which
// only the join knows. Each holds the positions that its element offered before the first one
// the part could accept (`candidates`), and its record stands among the part's river nodes, with
// the accepted position or, when there was none, -1.
struct UnsettledNodes {
  struct Node {
    std::size_t record;          // index among the part's river nodes
    std::size_t firstCandidate;  // index in `candidates`
    std::size_t candidateCount;
  };
  std::vector<Node> nodes;
  std::vector<std::int32_t> candidates;
};

// The line starts at which the main loop of a part's reader stops: those of the later parts,
// in increasing order. Passing one without arriving at it exactly sets that part's flag in
// `passed`, which stops the part's own reading: its lines are read here instead.
struct PartStops {
  const std::uint64_t* starts = nullptr;
  std::atomic<bool>* passed = nullptr;
  std::size_t count = 0;
  std::size_t next = 0;  // first stop not yet arrived at or passed
};

// How a reader's run ended.
enum class ReadEnd {
  FileEnd,    // the file was read to its end
  Arrived,    // at the start of part `PartStops::next - 1`, between elements
  Cancelled,  // another part's reader read on through this part's lines
};

class ElementReader {
 public:
  // Records go to `stores`; the lines come from `lines`, which outlives the reader.
  ElementReader(DataLineReader& lines, LoadStores& stores) : lines_(lines), stores_(stores) {}

  // River names are read in `encoding` (an iconv name, null for UTF-8) instead of the one that
  // the first line read declares: for parts that do not begin with the file's first line.
  void readNamesAs(const char* encoding) {
    nameEncoding_ = encoding;
    firstLine_ = false;
  }
  // The reader of one part of a file read in parts: it stops at `stops` and ends when
  // `cancelled` is set. A later part keeps the river nodes that the parts before it may settle
  // in `unsettled`; the first part, which has none before it, passes null for both.
  void readAsPart(PartStops* stops, const std::atomic<bool>* cancelled, UnsettledNodes* unsettled) {
    stops_ = stops;
    cancelled_ = cancelled;
    unsettled_ = unsettled;
    nextStop_ = nextStopOffset();
  }

  // Reads elements until the file ends, the main loop arrives at a stop, or the part is
  // cancelled. Called again after an arrival, it reads on to the next stop.
  ReadEnd run();

  std::int32_t maxCv() const { return maxCv_; }
  std::int32_t maxPt() const { return maxPt_; }

 private:
  bool arrivedAtStop();
  std::uint64_t nextStopOffset() const;
  bool cancelled() const {
    return cancelled_ != nullptr && cancelled_->load(std::memory_order_relaxed);
  }
  void readCurve(std::string_view line, std::size_t afterTag);
  void readPositionList(std::int32_t id);
  void readPlainPositions();
  void readPoint(std::string_view line, std::size_t afterTag);
  void readStream();
  void readStreamRow(Stream& stream, std::size_t row, std::string_view line, std::size_t start);
  void readRiverNode(std::string_view line, std::size_t afterTag);
  void keepUnsettledNode(std::size_t firstCandidate, bool stored, const RiverNode& node);

  DataLineReader& lines_;
  LoadStores& stores_;
  std::int32_t maxCv_ = 0;  // largest Curve id read
  std::int32_t maxPt_ = 0;  // largest Point id read
  bool firstLine_ = true;
  const char* nameEncoding_ = nullptr;  // iconv name of a file that is not UTF-8
  PartStops* stops_ = nullptr;
  std::uint64_t nextStop_ = std::numeric_limits<std::uint64_t>::max();
  const std::atomic<bool>* cancelled_ = nullptr;
  UnsettledNodes* unsettled_ = nullptr;
};

}  // namespace riverdata_detail
