#include "hydrochart/drawahead.h"

#include <algorithm>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "hydrochart/mappage/colors.h"

namespace {

// Parts drawn ahead of the current one at most, and the text they may hold in memory at once
// (estimated before drawing). A part larger than half of that is drawn in turn, straight to
// its file.
constexpr std::size_t kPartsAhead = 6;
// The parts right after the current one are left to the thread that writes: it draws them
// itself when it gets there first, which keeps both threads busy instead of one waiting.
constexpr std::size_t kFirstAhead = 3;
constexpr std::size_t kMaxAheadBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxPartBytes = kMaxAheadBytes / 2;

// Rough size of the text of a river: its positions and the lines of each stream.
std::size_t riverTextEstimate(const RiverData& data, std::uint64_t riverCode) {
  std::size_t bytes = 0;
  for (const std::int32_t streamIndex : streamsOfRiver(data, riverCode)) {
    const std::int32_t curve = findCurveIndex(data, data.streams[streamIndex].location);
    if (curve >= 0) {
      const Curve& c = data.curves[static_cast<std::size_t>(curve)];
      bytes += static_cast<std::size_t>(std::max(0, c.last - c.first + 1)) * 28;
    }
    bytes += 1024;
  }
  return bytes;
}

// True when drawPart would draw `part` without a failure; `paths` and `colors` are then what it
// adds to the page's path count and to the colour index. May throw std::bad_alloc.
// `textBytes` is a rough size of its text.
bool partDrawsCleanly(const RiverData& data, const DrawPart& part, std::int32_t& paths,
                      std::int32_t& colors, std::size_t& textBytes) {
  paths = 0;
  if (part.river) {
    colors = 1;
    textBytes = riverTextEstimate(data, part.code);
    return riverDrawsCleanly(data, part.code, paths);
  }
  textBytes = 0;
  const std::vector<std::uint64_t> rivers =
      collectRiverCodes(data, static_cast<std::uint32_t>(part.code));
  colors = static_cast<std::int32_t>(rivers.size());
  for (const std::uint64_t river : rivers) {
    std::int32_t streams = 0;
    if (!riverDrawsCleanly(data, river, streams)) return false;
    paths += streams;
    textBytes += riverTextEstimate(data, river);
  }
  return true;
}

}  // namespace

DrawResult drawPart(MapPage& page, const RiverData& data, const DrawPart& part,
                    std::int32_t& colorIndex) {
  if (part.river) {
    const Color color = part.automatic ? colorFromIndex(colorIndex, kColorDarkening) : part.color;
    DrawResult result = drawRiver(page, data, part.code, color);
    ++colorIndex;
    return result;
  }
  return drawWaterSystem(page, data, static_cast<std::uint32_t>(part.code), part.color,
                         part.automatic, colorIndex);
}

PartsDrawer::PartsDrawer(const RiverData& data, std::vector<DrawPart> parts)
    : data_(data), parts_(std::move(parts)), slots_(new Slot[parts_.size()]) {
  if (parts_.size() < 2) return;
  try {
    helper_ = std::thread([this] { drawAhead(); });
  } catch (const std::system_error&) {
    // Without a second thread every part is drawn in turn.
  }
}

PartsDrawer::~PartsDrawer() { stop(); }

void PartsDrawer::stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (helper_.joinable()) helper_.join();
}

void PartsDrawer::drawAhead() {
  // Path count and colour index at the start of part j, when every part before it succeeds
  // (a part that fails ends the run, so the parts after it do not matter).
  std::int32_t pathCount = 0;
  std::int32_t colorIndex = 0;
  for (std::size_t j = 0; j < parts_.size(); ++j) {
    const DrawPart& part = parts_[j];
    if (part.freshPage) {
      pathCount = 0;
      colorIndex = 0;
    }
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || j < current_ + kPartsAhead; });
      if (stopping_) return;
    }
    std::int32_t paths = 0;
    std::int32_t colors = 0;
    std::size_t textBytes = 0;
    bool clean = false;
    try {
      clean = partDrawsCleanly(data_, part, paths, colors, textBytes);
    } catch (const std::bad_alloc&) {
    }
    // A part that would fail is drawn in turn, and nothing after it is drawn ahead.
    if (!clean) return;

    Slot& slot = slots_[j];
    bool claimed = false;
    if (textBytes <= kMaxPartBytes) {
      std::unique_lock<std::mutex> lock(mutex_);
      // Waits for room; the parts the other thread is about to draw are left to it.
      changed_.wait(lock, [&] {
        return stopping_ || j < current_ + kFirstAhead || aheadBytes_ + textBytes <= kMaxAheadBytes;
      });
      if (stopping_) return;
      int expected = kFree;
      if (j >= current_ + kFirstAhead && slot.state.compare_exchange_strong(expected, kDrawing)) {
        claimed = true;
        slot.reservedBytes = textBytes;
        aheadBytes_ += textBytes;
      }
    }
    if (claimed) {
      bool drawn = false;
      try {
        startPageInMemory(slot.page);
        slot.page.output.pending().reserve(textBytes + textBytes / 8);  // grows once at most
        slot.page.pathCount = pathCount;
        slot.startPathCount = pathCount;
        slot.startColorIndex = colorIndex;
        std::int32_t index = colorIndex;
        drawn = drawPart(slot.page, data_, part, index).drawn();
        slot.endColorIndex = index;
      } catch (const std::bad_alloc&) {
      }
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        slot.state = drawn ? kReady : kUnused;
      }
      changed_.notify_all();
      if (!drawn) return;
    }
    pathCount += paths;
    colorIndex += colors;
  }
}

DrawResult PartsDrawer::draw(std::size_t i, MapPage& page, std::int32_t& colorIndex) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    current_ = i;
  }
  changed_.notify_all();
  // Parts passed over (pages that could not be created) give their text back.
  while (swept_ < i) {
    Slot& passed = slots_[swept_];
    const int state = passed.state;
    if (state == kDrawing) break;
    if (state == kReady || state == kUnused) release(passed);
    ++swept_;
  }
  Slot& slot = slots_[i];
  int expected = kFree;
  if (slot.state.compare_exchange_strong(expected, kTaken)) {
    return drawPart(page, data_, parts_[i], colorIndex);
  }
  int state;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] {
      state = slot.state;
      return state == kReady || state == kUnused;
    });
  }
  if (state == kReady && page.pathCount == slot.startPathCount &&
      colorIndex == slot.startColorIndex) {
    // The text before the part goes to the file first; the part's text then follows it.
    page.output.flush();
    std::string& pending = page.output.pending();
    if (pending.empty()) {
      pending.swap(slot.page.output.pending());
    } else {
      pending.append(slot.page.output.pending());
    }
    release(slot);
    page.pathCount = slot.page.pathCount;
    widenBounds(page.mapBounds, slot.page.mapBounds);
    colorIndex = slot.endColorIndex;
    page.output.flushIfLarge();
    return {};
  }
  release(slot);
  return drawPart(page, data_, parts_[i], colorIndex);
}

void PartsDrawer::release(Slot& slot) {
  std::string().swap(slot.page.output.pending());
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    aheadBytes_ -= slot.reservedBytes;
    slot.reservedBytes = 0;
  }
  changed_.notify_all();
}
