// The page frame of a map page: its head (tile layers, controls), the view-fitting line, the
// document end, and the state of the page being written.
#pragma once

#include <cfloat>
#include <cstdint>
#include <string>
#include <string_view>

#include "hydrochart/output/outputfile.h"

struct MapBounds {
  double minLat;
  double maxLat;
  double minLon;
  double maxLon;
};

// The view of a page without any river: the main islands of Japan, Okinawa and the Ogasawara
// islands.
constexpr MapBounds kJapanBounds{24.0, 46.0, 122.0, 154.0};

// Bounds of a page before any position widened them.
constexpr MapBounds kEmptyMapBounds{DBL_MAX, DBL_MIN, DBL_MAX, DBL_MIN};

// Widens `bounds` by a box that positions widened from kEmptyMapBounds on: the same bounds as
// widening `bounds` by those positions one by one.
void widenBounds(MapBounds& bounds, const MapBounds& other);

// One open page and its state. Only one page is written at a time; `pathCount` keeps its value
// after the page is closed so that callers can report it. A page left unfinished after a
// drawing failure still gets every line written before it.
struct MapPage {
  OutputFile output;
  std::int32_t pathCount = 0;  // streams drawn on the page; numbers their script variables
  MapBounds mapBounds{};
};

// Creates or truncates `path`, writes the page head, resets pathCount and mapBounds.
// Returns false, with nothing written and the page state unchanged, when the file cannot be
// created. `title` is UTF-8 and written verbatim.
[[nodiscard]] bool openMapPage(MapPage& page, const std::string& path, std::string_view title);

// Starts a page without a file, with the state openMapPage gives but no head: all text drawn
// onto it stays in its output, which is in memory (with room for `expectedBytes`), until it is
// appended to another page's. Used to draw parts of a page ahead of writing them.
void startPageInMemory(MapPage& page, std::size_t expectedBytes = 0);

// The page head that openMapPage writes: the document head, with `headExtra` at its end, the
// map element, and the script of the tile layers, the map and its controls, which is left open.
void appendPageHead(std::string& out, std::string_view title, std::string_view headExtra = {});

// The page end that closeMapPage writes: the line that fits the view to `drawn` (or to
// kJapanBounds when nothing widened it), the end of the script and of the document.
void appendPageEnd(std::string& out, const MapBounds& drawn);

// Writes the view-fitting line and the document end and closes the file. The view fits the
// box of every polyline position drawn, or kJapanBounds when none was. True when every byte of
// the page reached the file; false when a write or the close failed, or no page was open.
[[nodiscard]] bool closeMapPage(MapPage& page);
