#include "hydrochart/drawahead.h"

#include <new>
#include <system_error>
#include <utility>

namespace {

// Parts drawn ahead of the current one at most, and the text they may hold in memory at once
// (as planPart estimates it). A part larger than half of that is drawn in turn, straight to its
// file.
constexpr std::size_t kPartsAhead = 6;
constexpr std::size_t kMaxAheadBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxPartBytes = kMaxAheadBytes / 2;
// The parts right after the current one are left to the thread that writes: it draws them
// itself when it gets there first, which keeps both threads busy instead of one waiting.
constexpr std::size_t kFirstAhead = 3;

}  // namespace

PartsDrawer::PartsDrawer(const RiverData& data, std::vector<DrawPart> parts,
                         const DrawOptions& options)
    : data_(data),
      style_(options.style),
      parts_(std::move(parts)),
      slots_(new Slot[parts_.size()]) {
  // Only parts from kFirstAhead on are ever drawn ahead.
  if (!options.drawAhead || parts_.size() <= kFirstAhead) return;
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

// The second thread: follows the page state part by part, as drawing each part in turn without
// a failure would leave it, and draws the parts it may into memory.
void PartsDrawer::drawAhead() {
  PageStart start;
  for (std::size_t j = 0; j < parts_.size(); ++j) {
    if (parts_[j].freshPage) start = {};
    if (!waitUntilNear(j)) return;
    PartPlan plan;
    try {
      plan = planPart(data_, parts_[j], start.colorIndex);
    } catch (const std::bad_alloc&) {
      return;
    }
    // A part that would fail is drawn in turn, and it ends the drawing: nothing after it is
    // drawn ahead.
    if (!plan.resolves) return;
    if (plan.textBytes <= kMaxPartBytes && claim(j, plan.textBytes) &&
        !drawInMemory(j, plan, start)) {
      return;
    }
    start.pathCount += plan.streams;
    start.colorIndex += static_cast<std::int32_t>(plan.rivers.size());
  }
}

// Waits until part `j` is among the kPartsAhead after the current one; false when stopping.
bool PartsDrawer::waitUntilNear(std::size_t j) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return stopping_ || j < current_ + kPartsAhead; });
  return !stopping_;
}

// Takes part `j` for drawing ahead once its text fits beside the parts held already. False
// when it is left to draw() (it is too near the current part, or taken) or when stopping.
bool PartsDrawer::claim(std::size_t j, std::size_t textBytes) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] {
    return stopping_ || j < current_ + kFirstAhead || aheadBytes_ + textBytes <= kMaxAheadBytes;
  });
  Slot& slot = slots_[j];
  if (stopping_ || j < current_ + kFirstAhead || slot.state != SlotState::Open) return false;
  slot.state = SlotState::Drawing;
  slot.reservedBytes = textBytes;
  aheadBytes_ += textBytes;
  return true;
}

// Draws claimed part `j` into its slot's page from `start`; false when it could not be drawn
// (no memory), which ends the drawing ahead.
bool PartsDrawer::drawInMemory(std::size_t j, const PartPlan& plan, PageStart start) {
  Slot& slot = slots_[j];
  bool drawn = false;
  try {
    MapPage& page = slot.page.emplace();
    // The estimate with an eighth to spare: the text grows once at most.
    startPageInMemory(page, plan.textBytes + plan.textBytes / 8);
    page.pathCount = start.pathCount;
    slot.startPathCount = start.pathCount;
    slot.startColorIndex = start.colorIndex;
    std::int32_t colorIndex = start.colorIndex;
    drawn = drawStyledRivers(page, style_, data_, plan.rivers, colorIndex).drawn();
    slot.endColorIndex = colorIndex;
  } catch (const std::bad_alloc&) {
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    slot.drawn = drawn;
    slot.state = SlotState::Drawn;
    // draw() has gone past it (its page could not be created): nobody takes it any more.
    if (j < current_) giveBackLocked(slot);
  }
  changed_.notify_all();
  return drawn;
}

// Moves draw() on to part `i`, gives back the parts it passed over, and takes part `i`: null
// when it is drawn in turn, else its slot once the second thread has drawn it.
PartsDrawer::Slot* PartsDrawer::take(std::size_t i) {
  std::unique_lock<std::mutex> lock(mutex_);
  current_ = i;
  for (; swept_ < i; ++swept_) {
    Slot& passed = slots_[swept_];
    // A part still being drawn is given back by the second thread when it is done.
    if (passed.state == SlotState::Drawn) giveBackLocked(passed);
    if (passed.state == SlotState::Open) passed.state = SlotState::Done;
  }
  changed_.notify_all();
  Slot& slot = slots_[i];
  if (slot.state == SlotState::Open) {
    slot.state = SlotState::Done;
    return nullptr;
  }
  changed_.wait(lock, [&] { return slot.state == SlotState::Drawn; });
  slot.state = SlotState::Done;
  return &slot;
}

void PartsDrawer::giveBack(Slot& slot) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    giveBackLocked(slot);
  }
  changed_.notify_all();
}

void PartsDrawer::giveBackLocked(Slot& slot) {
  slot.page.reset();
  aheadBytes_ -= slot.reservedBytes;
  slot.reservedBytes = 0;
  slot.state = SlotState::Done;
}

// Puts the text of a part drawn ahead onto `page`, with the state drawing it in turn leaves.
void PartsDrawer::useDrawnPart(Slot& slot, MapPage& page, std::int32_t& colorIndex) {
  page.output.append(std::move(slot.page->output));
  page.pathCount = slot.page->pathCount;
  widenBounds(page.mapBounds, slot.page->mapBounds);
  colorIndex = slot.endColorIndex;
}

DrawResult PartsDrawer::draw(std::size_t i, MapPage& page, std::int32_t& colorIndex) {
  Slot* slot = take(i);
  if (slot != nullptr) {
    const bool usable = slot->drawn && page.pathCount == slot->startPathCount &&
                        colorIndex == slot->startColorIndex;
    if (usable) useDrawnPart(*slot, page, colorIndex);
    giveBack(*slot);
    if (usable) {
      ++partsDrawnAhead_;
      return {};
    }
  }
  return drawInTurn(i, page, colorIndex);
}

// drawPart on a page of the drawer's style.
DrawResult PartsDrawer::drawInTurn(std::size_t i, MapPage& page, std::int32_t& colorIndex) {
  std::vector<PlannedRiver> rivers;
  const DrawResult planned = planPartRivers(data_, parts_[i], colorIndex, rivers);
  if (!planned.drawn()) return planned;
  return drawStyledRivers(page, style_, data_, rivers, colorIndex);
}
