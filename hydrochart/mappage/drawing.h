// Drawing rivers and water systems on an open map page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hydrochart/mappage/colors.h"
#include "hydrochart/mappage/mappage.h"
#include "hydrochart/riverdata/riverdata.h"

// Widens a page's box by one polyline position; each bound is tested on its own.
inline void widenBounds(MapBounds& bounds, const LatLon& position) {
  if (position.lat < bounds.minLat) bounds.minLat = position.lat;
  if (position.lat > bounds.maxLat) bounds.maxLat = position.lat;
  if (position.lon < bounds.minLon) bounds.minLon = position.lon;
  if (position.lon > bounds.maxLon) bounds.maxLon = position.lon;
}

// Where a river node reference of a stream leads.
struct NodePoint {
  enum class Kind {
    NoReference,  // the reference is empty
    Found,        // `point` is the index in data.points of the node's position
    Unresolved,   // no node with that id, or its position names no Point
  };
  Kind kind = Kind::NoReference;
  std::int32_t point = -1;
};
NodePoint findRiverNodePoint(const RiverData& data, const NodeIdText& reference);

// How drawing ended. Drawing stops at the first stream whose records do not resolve; the lines
// written for the streams before it (and for that stream up to the failure) stay on the page.
struct DrawResult {
  enum class Kind {
    Drawn,
    CurveNotFound,          // the location of a stream names no Curve: `curveId`
    RiverNodeNotFound,      // node references that did not resolve, in lookup order: `nodeIds`
    RiverListNotAllocated,  // no memory for the river codes of a water system
  };
  Kind kind = Kind::Drawn;
  std::int32_t curveId = 0;
  std::vector<std::string> nodeIds;

  bool drawn() const { return kind == Kind::Drawn; }
};

// Draws every stream of river `riverCode` on the page (nothing when no stream matches).
DrawResult drawRiver(MapPage& page, const RiverData& data, std::uint64_t riverCode, Color color);

// The records a stream is drawn from, all looked up before any of its lines is written.
struct StreamRecords {
  std::int32_t curve = -1;  // index in data.curves; -1 when the location names no Curve
  // The nodes whose markers the stream gets, in the order they are drawn: its own start and end
  // node, then for the first stream of a river (`firstStream`) the river's start and end node.
  NodePoint nodes[4];
};
StreamRecords findStreamRecords(const RiverData& data, const Stream& stream, bool firstStream);

// How drawRiver's drawing of a stream from its records ends.
DrawResult streamOutcome(const Stream& stream, const StreamRecords& records);

// The direction text of a stream's popup: two arrows from its start node to its end node, or ""
// when either does not resolve.
const char* streamDirection(const RiverData& data, const StreamRecords& records);

// How drawRiver's drawing of `stream` ends, told by the lookups it makes before it writes the
// stream's lines (with `firstStream`, the first stream of its river, whose river nodes are
// drawn too). `curveIndex` is set to the index of its Curve in data.curves, or -1.
DrawResult checkStream(const RiverData& data, const Stream& stream, bool firstStream,
                       std::int32_t& curveIndex);

// What drawing river `riverCode` adds to a page, told by the same lookups that drawRiver makes
// before it writes a stream.
struct RiverOutlook {
  std::int32_t streams = 0;   // streams it draws, each adding one to the page's path count
  std::size_t textBytes = 0;  // a rough size of the text it writes
  bool resolves = true;       // every record resolves: drawRiver returns Drawn
};
RiverOutlook lookAtRiver(const RiverData& data, std::uint64_t riverCode);

// Distinct water-system codes of all streams, ascending.
std::vector<std::uint32_t> collectWaterSystemCodes(const RiverData& data);

// Distinct river codes of one water system in drawing order (ascending, with a smallest code
// that ends in 0000 moved to the end when there is more than one).
std::vector<std::uint64_t> collectRiverCodes(const RiverData& data, std::uint32_t waterSystemCode);

// Water systems of this many rivers and more darken more slowly than kColorDarkening.
constexpr std::size_t kSlowDarkeningRivers = 64;

// Draws every river of a water system, in `color` or (when `automatic`) in the automatic
// colours from `colorIndex` on, which goes up by one per river drawn.
DrawResult drawWaterSystem(MapPage& page, const RiverData& data, std::uint32_t waterSystemCode,
                           Color color, bool automatic, std::int32_t& colorIndex);

// One part of a page, as a code argument of the page mode names it: a river (a code of
// kSmallestRiverCode and more) or a water system, in its own colour or in the automatic ones.
struct DrawPart {
  bool river = false;  // drawRiver (river codes) rather than drawWaterSystem
  std::uint64_t code = 0;
  Color color = 0;
  bool automatic = true;   // colours from the colour index rather than `color`
  bool freshPage = false;  // the part starts a page of its own (path count and colour index 0)
};

// A river as a part puts it on a page.
struct PlannedRiver {
  std::uint64_t riverCode = 0;
  Color color = 0;
};

// The rivers that drawing `part` at colour index `colorIndex` puts on the page, in page order
// and with their colours; each takes one colour index. A river part is its one river (streams
// or none), a water system its rivers in collectRiverCodes order. May throw std::bad_alloc.
std::vector<PlannedRiver> planRivers(const RiverData& data, const DrawPart& part,
                                     std::int32_t colorIndex);

// planRivers into `rivers`, with the result of drawing when they do not fit in memory
// (RiverListNotAllocated).
DrawResult planPartRivers(const RiverData& data, const DrawPart& part, std::int32_t colorIndex,
                          std::vector<PlannedRiver>& rivers);

// What drawing `part` onto a page at colour index `colorIndex` does, before it is drawn.
struct PartPlan {
  std::vector<PlannedRiver> rivers;  // planRivers
  std::int32_t streams = 0;          // what the page's path count goes up by
  std::size_t textBytes = 0;         // a rough size of its text
  bool resolves = true;              // drawPart returns Drawn
};
// May throw std::bad_alloc.
PartPlan planPart(const RiverData& data, const DrawPart& part, std::int32_t colorIndex);

// Draws `rivers` in order, each in its colour, stopping at the first that fails; `colorIndex`
// goes up by one per river drawn.
DrawResult drawPlannedRivers(MapPage& page, const RiverData& data,
                             const std::vector<PlannedRiver>& rivers, std::int32_t& colorIndex);

// Draws one part the way the page mode draws a code argument: planRivers, then
// drawPlannedRivers from `colorIndex`.
DrawResult drawPart(MapPage& page, const RiverData& data, const DrawPart& part,
                    std::int32_t& colorIndex);
