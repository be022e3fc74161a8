// Map pages: the page frame (head, tile layers, controls, view fitting), river drawing,
// geometry and colours, and water-system drawing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hydrochart/riverdata/riverdata.h"

// A colour 0xRRGGBB, written into pages as "#%06lx".
using Color = std::uint32_t;

struct MapBounds {
  double minLat;
  double maxLat;
  double minLon;
  double maxLon;
};

// The view of a page without any river: the main islands of Japan, Okinawa and the Ogasawara
// islands.
constexpr MapBounds kJapanBounds{24.0, 46.0, 122.0, 154.0};

// One open page and its state. Only one page is written at a time; `pathCount` keeps its value
// after the page is closed so that callers can report it.
struct MapPage {
  MapPage() = default;
  MapPage(const MapPage&) = delete;
  MapPage& operator=(const MapPage&) = delete;
  // A page left unfinished after a drawing failure still gets every line written before it.
  ~MapPage();

  std::FILE* file = nullptr;
  std::string pending;  // text not yet handed to the file (written in large blocks)
  bool writeFailed = false;
  std::int32_t pathCount = 0;  // streams drawn on the page; numbers their script variables
  MapBounds mapBounds{};
};

// Creates or truncates `path`, writes the page head, resets pathCount and mapBounds.
// Returns false, with nothing written and the page state unchanged, when the file cannot be
// created. `title` is UTF-8 and written verbatim.
bool openMapPage(MapPage& page, const std::string& path, std::string_view title);

// Writes the view-fitting line and the document end and closes the file. The view fits the
// box of every polyline position drawn, or kJapanBounds when none was. Returns 0 when every
// byte of the page reached the file, non-zero when a write or the close failed.
int closeMapPage(MapPage& page);

// Geometry and colours.
std::pair<double, double> kmPerDegreeAt(double latitude);  // (km per degree of lat, of lon)
double curveLength(const std::vector<LatLon>& pointList, std::int32_t first, std::int32_t last);
double hueChannel(double angle);
Color hsvToRgb(double hue, double saturation, double value);
Color colorFromIndex(std::int32_t index, double factor);

// Index in `points` of the position of the river node named by `reference`; -1 when the
// reference is empty, -2 (after printing "Not found RiverNode '%s'\n") when it cannot be resolved.
std::int32_t findRiverNodePoint(const RiverData& data, const NodeIdText& reference);

// Draws every stream of river `riverCode` on the page. 0 on success (also when no stream
// matches); 1, 11, 12, 13, 14 for the failures of the drawing rules (message printed).
int drawRiver(MapPage& page, const RiverData& data, std::uint64_t riverCode, Color color);

// Distinct water-system codes of all streams, ascending.
std::vector<std::uint32_t> collectWaterSystemCodes(const RiverData& data);

// Distinct river codes of one water system in drawing order (ascending, with a smallest code
// that ends in 0000 moved to the end when there is more than one).
std::vector<std::uint64_t> collectRiverCodes(const RiverData& data, std::uint32_t waterSystemCode);

// Draws every river of a water system. `colorIndex` goes up by one per river drawn.
// 0 on success (also for a system without rivers), 1 when the code list cannot be allocated,
// 2 when drawRiver failed for a river.
int drawWaterSystem(MapPage& page, const RiverData& data, std::uint32_t waterSystemCode,
                    Color color, bool automatic, std::int32_t& colorIndex);
