// Drawing the parts of map pages (water systems and rivers) in order, with a second thread that
// draws the parts ahead of the current one into memory meanwhile.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "hydrochart/mappage/drawing.h"
#include "hydrochart/riverdata/riverdata.h"

// One part of a page, drawn the way the page mode draws a code argument.
struct DrawPart {
  bool river = false;  // drawRiver (river codes) rather than drawWaterSystem
  std::uint64_t code = 0;
  Color color = 0;
  bool automatic = true;   // colours from the colour index rather than `color`
  bool freshPage = false;  // the part starts a page of its own (path count and colour index 0)
};

// Draws one part onto `page` the way the page mode does: a river in the colour of the colour
// index (or its own), which then goes up by one; a water system through drawWaterSystem.
DrawResult drawPart(MapPage& page, const RiverData& data, const DrawPart& part,
                    std::int32_t& colorIndex);

// Draws parts in order. A second thread takes the parts ahead of the current one that draw
// without a failure and draws them into memory; draw() then hands that text to the page
// instead of drawing it again. Pages, their state and the results are the same as drawing each
// part in turn with drawPart: a part drawn ahead is used only when the page's path count and
// colour index are those the second thread started it from, and a part that would fail is
// always drawn in turn.
// The drawer's thread reads the data set until the drawer is destroyed.
class PartsDrawer {
 public:
  PartsDrawer(const RiverData& data, std::vector<DrawPart> parts);
  ~PartsDrawer();
  PartsDrawer(const PartsDrawer&) = delete;
  PartsDrawer& operator=(const PartsDrawer&) = delete;

  std::size_t size() const { return parts_.size(); }

  // Draws part `i` onto `page`; parts are drawn in ascending order, some may be passed over.
  // Same result as drawPart.
  DrawResult draw(std::size_t i, MapPage& page, std::int32_t& colorIndex);

 private:
  enum State : int { kFree, kTaken, kDrawing, kReady, kUnused };
  struct Slot {
    std::atomic<int> state{kFree};
    MapPage page;  // the part drawn into memory
    std::int32_t startPathCount = 0;
    std::int32_t startColorIndex = 0;
    std::int32_t endColorIndex = 0;
    std::size_t reservedBytes = 0;  // its share of aheadBytes_
  };

  void drawAhead();
  // Gives back the text of a slot that draw() is done with.
  void release(Slot& slot);
  void stop();

  const RiverData& data_;
  std::vector<DrawPart> parts_;
  std::unique_ptr<Slot[]> slots_;
  std::atomic<std::size_t> current_{0};  // part that draw() works on
  std::size_t swept_ = 0;                // parts before it whose slots are given back
  std::size_t aheadBytes_ = 0;           // estimated text of the parts drawn ahead, not yet used
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread helper_;
};
