// The atlas page: a map page of the same frame (Leaflet, the seven tile layers, the layer
// control, the scale, the view fitted to the drawn rivers) on which the rivers are one embedded
// GeoJSON FeatureCollection, with the export's properties, drawn on a canvas by the page's own
// script (atlas.js and atlas.css, embedded when the program is built). That script makes the
// tooltips and popups of the map page from the properties when they open, shows the node
// markers from a zoom level on, and adds a legend of the water systems and a search.
//
// An atlas page is written as a map page is: openAtlasPage, drawAtlasRivers for the rivers of
// each part, closeAtlasPage. Its state (`pathCount`, `mapBounds`) is the map page's, and
// drawing fails where the map page's drawing fails.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hydrochart/codelist.h"
#include "hydrochart/mappage/drawing.h"
#include "hydrochart/mappage/mappage.h"
#include "hydrochart/riverdata/riverdata.h"

// Which page the page writers write.
struct PageStyle {
  bool atlas = false;  // the atlas page rather than the map page of one statement per stream
  // Names the water systems of an atlas page (its features' waterSystemName); none when null.
  const WaterSystemCodeList* codeList = nullptr;
};

// As openMapPage, for an atlas page: writes its head, the map's script and the start of its
// FeatureCollection. `title` is UTF-8 and written verbatim.
[[nodiscard]] bool openAtlasPage(MapPage& page, const std::string& path, std::string_view title);

// Draws `rivers` in order as features, each in its colour, stopping at the first that fails:
// the streams, the results, `pathCount` and `mapBounds` of drawPlannedRivers. `colorIndex` goes
// up by one per river drawn. The page may be one in memory (startPageInMemory) that continues an
// atlas page at its `pathCount`.
DrawResult drawAtlasRivers(MapPage& page, const RiverData& data,
                           const WaterSystemCodeList& codeList,
                           const std::vector<PlannedRiver>& rivers, std::int32_t& colorIndex);

// As closeMapPage, for an atlas page: ends the FeatureCollection, writes the page's script, the
// view-fitting line and the document end, and closes the file.
[[nodiscard]] bool closeAtlasPage(MapPage& page);

// The page of `style`: openMapPage or openAtlasPage, drawPlannedRivers or drawAtlasRivers,
// closeMapPage or closeAtlasPage.
[[nodiscard]] bool openStyledPage(MapPage& page, const PageStyle& style, const std::string& path,
                                  std::string_view title);
DrawResult drawStyledRivers(MapPage& page, const PageStyle& style, const RiverData& data,
                            const std::vector<PlannedRiver>& rivers, std::int32_t& colorIndex);
[[nodiscard]] bool closeStyledPage(MapPage& page, const PageStyle& style);
