// Drawing rivers and water systems on an open map page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hydrochart/mappage/colors.h"
#include "hydrochart/mappage/mappage.h"
#include "hydrochart/riverdata/riverdata.h"

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

// True when drawRiver would draw river `riverCode` without a failure. Sets `streams` to the
// number of streams it would draw (each adds one to the page's path count).
bool riverDrawsCleanly(const RiverData& data, std::uint64_t riverCode, std::int32_t& streams);

// Distinct water-system codes of all streams, ascending.
std::vector<std::uint32_t> collectWaterSystemCodes(const RiverData& data);

// Distinct river codes of one water system in drawing order (ascending, with a smallest code
// that ends in 0000 moved to the end when there is more than one).
std::vector<std::uint64_t> collectRiverCodes(const RiverData& data, std::uint32_t waterSystemCode);

// Water systems of this many rivers and more darken more slowly than kColorDarkening.
constexpr std::size_t kSlowDarkeningRivers = 64;

// Darkening per turn of the automatic colours of a water system of `riverCount` rivers.
double darkeningFactor(std::size_t riverCount);

// Draws every river of a water system, in `color` or (when `automatic`) in the automatic
// colours from `colorIndex` on, which goes up by one per river drawn.
DrawResult drawWaterSystem(MapPage& page, const RiverData& data, std::uint32_t waterSystemCode,
                           Color color, bool automatic, std::int32_t& colorIndex);
