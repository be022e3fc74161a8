// Draws parts of pages (map pages or atlas pages) from a small data set that the input
// describes, once in turn and once with the second thread drawing ahead, and aborts unless both
// give the same pages byte for byte, the same failure and the same page state.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "hydrochart/drawahead.h"

namespace {

// The input as a stream of bytes; zeros once it is used up.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  unsigned next() { return at_ < size_ ? data_[at_++] : 0; }
  unsigned below(unsigned n) { return next() % n; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// Water systems 100..103 of rivers 0..3 each. Curves 0..13, Points and nodes n0..n11 exist;
// now and then a record names one that does not (or whose position names no Point), so that
// the drawing fails there.
constexpr unsigned kWaterSystems = 4;
constexpr std::uint32_t kFirstWaterSystem = 100;
constexpr unsigned kCurves = 14;
constexpr unsigned kNodes = 12;

NodeIdText nodeId(const std::string& text) {
  NodeIdText id{};
  std::memcpy(id.data(), text.data(), text.size());
  return id;
}

// The id text "n<number>" of river node `n`. (Built by appending: GCC 12 gives a false -Wrestrict
// warning for "n" + std::to_string(n) in optimised builds.)
NodeIdText numberedNodeId(unsigned n) {
  std::string text = "n";
  text += std::to_string(n);
  return nodeId(text);
}

NodeIdText nodeReference(Bytes& in) {
  const unsigned k = in.below(64);
  if (k < 2 * kNodes) return numberedNodeId(k % kNodes);
  return k < 63 ? NodeIdText{} : nodeId("gone");
}

std::uint64_t riverCode(Bytes& in) {
  return std::uint64_t{kFirstWaterSystem + in.below(kWaterSystems)} * kRiverNumbersPerSystem +
         in.below(4);
}

double coordinate(Bytes& in, double base) { return base + in.next() * 0.05; }

void addCurves(Bytes& in, RiverData& data) {
  for (unsigned n = 0; n < kCurves + in.below(3); ++n) {
    const auto first = static_cast<std::int32_t>(data.pointList.size());
    for (unsigned p = in.below(7); p > 0; --p) {
      data.pointList.push_back({coordinate(in, 30.0), coordinate(in, 130.0)});
    }
    const auto last = static_cast<std::int32_t>(data.pointList.size()) - 1;
    data.curves.push_back({first, last, static_cast<std::int32_t>(n % kCurves)});
  }
}

void addRecords(Bytes& in, RiverData& data) {
  addCurves(in, data);
  for (unsigned n = 0; n < kNodes; ++n) {
    data.points.push_back(
        {coordinate(in, 30.0), coordinate(in, 130.0), static_cast<std::int32_t>(n)});
    const std::int32_t position = in.below(32) == 0 ? 99 : static_cast<std::int32_t>(n);
    data.riverNodes.push_back({position, numberedNodeId(n)});
  }
  for (unsigned n = in.below(48); n > 0; --n) {
    Stream stream;
    stream.riverCode = riverCode(in);
    stream.waterSystemCode = static_cast<std::uint32_t>(stream.riverCode / kRiverNumbersPerSystem);
    stream.location = in.below(48) == 0 ? 99 : static_cast<std::int32_t>(in.below(kCurves));
    stream.startStreamNode = nodeReference(in);
    stream.endStreamNode = nodeReference(in);
    stream.startRiverNode = nodeReference(in);
    stream.endRiverNode = nodeReference(in);
    std::strcpy(stream.riverName, in.below(2) == 0 ? "川" : "x<y\"");
    data.streams.push_back(stream);
  }
  buildRiverDataIndex(data);
}

struct PagePart {
  DrawPart part;
  bool passedOver = false;  // its page cannot be created: the part is never drawn
};

std::vector<PagePart> readParts(Bytes& in) {
  std::vector<PagePart> parts(in.below(20));
  for (PagePart& page : parts) {
    const unsigned kind = in.next();
    page.part.river = (kind & 1) != 0;
    page.part.code =
        page.part.river ? riverCode(in) : kFirstWaterSystem + in.below(kWaterSystems + 1);
    page.part.automatic = (kind & 2) != 0;
    page.part.color = (in.next() << 16) | (in.next() << 8) | in.next();
    page.part.freshPage = (kind & 4) != 0;
    page.passedOver = (kind & 0x18) == 0x18;
  }
  return parts;
}

struct Drawn {
  std::string text;  // the pages, each ended by "|"
  DrawResult failure;
  std::size_t failedAt = 0;
  std::int32_t pathCount = 0;
  std::int32_t colorIndex = 0;
  MapBounds bounds{};
};

// Draws the parts onto pages in memory, a new page at each fresh part, until one fails.
template <typename DrawOne>
Drawn drawPages(const std::vector<PagePart>& parts, DrawOne drawOne) {
  Drawn drawn;
  MapPage page;
  startPageInMemory(page);
  drawn.failedAt = parts.size();
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (parts[i].part.freshPage) {
      drawn.text += page.output.pending() + "|";
      startPageInMemory(page);
      drawn.colorIndex = 0;
    }
    if (parts[i].passedOver) continue;
    DrawResult result = drawOne(i, page, drawn.colorIndex);
    if (!result.drawn()) {
      drawn.failure = std::move(result);
      drawn.failedAt = i;
      break;
    }
  }
  drawn.text += page.output.pending() + "|";
  drawn.pathCount = page.pathCount;
  drawn.bounds = page.mapBounds;
  return drawn;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool same(const Drawn& a, const Drawn& b) {
  return a.text == b.text && a.failure.kind == b.failure.kind &&
         a.failure.curveId == b.failure.curveId && a.failure.nodeIds == b.failure.nodeIds &&
         a.failedAt == b.failedAt && a.pathCount == b.pathCount && a.colorIndex == b.colorIndex &&
         sameBits(a.bounds.minLat, b.bounds.minLat) && sameBits(a.bounds.maxLat, b.bounds.maxLat) &&
         sameBits(a.bounds.minLon, b.bounds.minLon) && sameBits(a.bounds.maxLon, b.bounds.maxLon);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
  Bytes in(input, size);
  RiverData data;
  addRecords(in, data);
  const std::vector<PagePart> parts = readParts(in);
  // A slow writer lets the second thread draw every part it may ahead; a fast one meets it
  // mid-part.
  const bool slowWriter = in.below(2) == 0;
  // The pages are map pages or atlas pages.
  DrawOptions options;
  options.style.atlas = in.below(2) == 1;
  std::vector<DrawPart> drawParts;
  for (const PagePart& page : parts) drawParts.push_back(page.part);

  const Drawn inTurn = drawPages(parts, [&](std::size_t i, MapPage& page, std::int32_t& index) {
    std::vector<PlannedRiver> rivers;
    const DrawResult planned = planPartRivers(data, parts[i].part, index, rivers);
    if (!planned.drawn()) return planned;
    return drawStyledRivers(page, options.style, data, rivers, index);
  });
  PartsDrawer drawer(data, drawParts, options);
  const Drawn ahead = drawPages(parts, [&](std::size_t i, MapPage& page, std::int32_t& index) {
    if (slowWriter) std::this_thread::sleep_for(std::chrono::microseconds(300));
    return drawer.draw(i, page, index);
  });
  if (!same(inTurn, ahead)) std::abort();
  return 0;
}
