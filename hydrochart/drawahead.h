// Drawing the parts of map pages (water systems and rivers) in order, with a second thread that
// draws the parts ahead of the current one into memory meanwhile.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "hydrochart/atlas/atlaspage.h"
#include "hydrochart/mappage/drawing.h"
#include "hydrochart/riverdata/riverdata.h"

// How the page writers draw their parts.
struct DrawOptions {
  // A second thread draws the parts after the current one into memory meanwhile.
  bool drawAhead = true;
  // The page they are drawn on, and written: the map page or the atlas page.
  PageStyle style;
};

// Draws parts in order. A second thread plans the parts ahead of the current one (planPart)
// and draws those that draw without a failure into memory; draw() then hands that text to the
// page instead of drawing the part again. Pages, their state and the results are the same as
// drawing each part in turn with drawPart: a part drawn ahead is used only when the page's path
// count and colour index are those the second thread started it from, and a part that would
// fail is always drawn in turn.
//
// The two threads share the slots' states, the part draw() is at and the memory the parts
// drawn ahead hold, all under one mutex; a slot's page belongs to the second thread while it
// draws it and to draw() once it is drawn. The drawer's thread reads the data set until the
// drawer is destroyed.
class PartsDrawer {
 public:
  PartsDrawer(const RiverData& data, std::vector<DrawPart> parts, const DrawOptions& options = {});
  ~PartsDrawer();
  PartsDrawer(const PartsDrawer&) = delete;
  PartsDrawer& operator=(const PartsDrawer&) = delete;

  // Draws part `i` onto `page` (a page of the options' style); parts are drawn in ascending
  // order, some may be passed over. Same result as drawPart.
  DrawResult draw(std::size_t i, MapPage& page, std::int32_t& colorIndex);

  // Parts whose text drawn ahead went onto their page.
  std::size_t partsDrawnAhead() const { return partsDrawnAhead_; }

 private:
  enum class SlotState {
    Open,     // neither thread has taken the part
    Drawing,  // the second thread draws it into `page`
    Drawn,    // `page` holds it when `drawn`; draw() may take it
    Done,     // taken by draw(), or passed over: its page is given back
  };
  struct Slot {
    SlotState state = SlotState::Open;
    std::optional<MapPage> page;  // the part drawn into memory
    bool drawn = false;
    std::int32_t startPathCount = 0;
    std::int32_t startColorIndex = 0;
    std::int32_t endColorIndex = 0;
    std::size_t reservedBytes = 0;  // its share of aheadBytes_
  };
  // Path count and colour index of a page at the start of a part.
  struct PageStart {
    std::int32_t pathCount = 0;
    std::int32_t colorIndex = 0;
  };

  void drawAhead();
  bool waitUntilNear(std::size_t j);
  bool claim(std::size_t j, std::size_t textBytes);
  bool drawInMemory(std::size_t j, const PartPlan& plan, PageStart start);
  Slot* take(std::size_t i);
  void giveBack(Slot& slot);
  void giveBackLocked(Slot& slot);
  void useDrawnPart(Slot& slot, MapPage& page, std::int32_t& colorIndex);
  DrawResult drawInTurn(std::size_t i, MapPage& page, std::int32_t& colorIndex);
  void stop();

  const RiverData& data_;
  const PageStyle style_;
  std::vector<DrawPart> parts_;
  std::unique_ptr<Slot[]> slots_;
  std::size_t partsDrawnAhead_ = 0;  // draw()'s own count

  std::mutex mutex_;  // guards what follows, and the slots' `state` and `reservedBytes`
  std::condition_variable changed_;
  std::size_t current_ = 0;     // part that draw() works on
  std::size_t swept_ = 0;       // parts before it that draw() has given back or left
  std::size_t aheadBytes_ = 0;  // estimated text of the parts drawn ahead, not yet given back
  bool stopping_ = false;

  std::thread helper_;
};
