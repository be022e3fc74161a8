// GeoJSON (RFC 7946) of the rivers of a loaded data file, for GIS tools and web maps.
//
// Each stream becomes one Feature: a LineString along its curve's positions as [longitude,
// latitude] (null geometry for a curve of fewer than two positions), with the properties
// waterSystemCode (six-digit text), waterSystemName (label from the code list, or null),
// riverCode (ten-digit text), riverName, sectionType, originalDataType, curveId, lengthKm (the
// length a map page shows) and stroke ("#rrggbb", the colour a map page draws it in).
// Coordinates are the shortest text that reads back to the same double. Text is UTF-8 without
// a byte-order mark, lines end in "\n" alone.
//
// A collection is written the way a map page is: openFeatureCollection, any number of
// writeRiverFeatures (the rivers of a selection, see appendSelectedRivers) or one
// writeEveryStreamFeatures, then closeFeatureCollection. The text streams into the OutputFile
// given, which the caller opened (a file, or text kept in memory) and closes; nothing is
// collected beyond the OutputFile's own block. With `scriptSafe` the same text can stand
// inside a page's <script> element: "<" is written \u003c.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hydrochart/codelist.h"
#include "hydrochart/drawahead.h"
#include "hydrochart/mappage/colors.h"
#include "hydrochart/mappage/drawing.h"
#include "hydrochart/output/outputfile.h"
#include "hydrochart/progress.h"
#include "hydrochart/riverdata/riverdata.h"

// One river of a selection and the colour the map page draws it in.
using SelectedRiver = PlannedRiver;

// Appends the rivers that the page mode draws for one code argument (planRivers), in drawing
// order with their colours: a river code (kSmallestRiverCode and up) is one river, a smaller code
// every river of that water system. `colorIndex` is shared by the code arguments of one selection
// and goes up by one per river, as on the page; `automatic` takes colours from it instead of
// `color`. Fails as the page does when the rivers of a water system do not fit in memory.
DrawResult appendSelectedRivers(const RiverData& data, std::uint64_t code, bool automatic,
                                Color color, std::int32_t& colorIndex,
                                std::vector<SelectedRiver>& rivers);

// A FeatureCollection being written.
struct FeatureCollection {
  OutputFile* output = nullptr;
  const RiverData* data = nullptr;
  const WaterSystemCodeList* codeList = nullptr;
  bool scriptSafe = false;
  // The box of an atlas page that embeds the features (startPageFeatures), or null.
  MapBounds* pageBounds = nullptr;
  std::int32_t featureCount = 0;  // features written so far
  std::string text;               // the feature being formed
  // The label of the water system of the stream written last.
  bool labelFound = false;
  std::uint32_t labelCode = 0;
  const std::string* label = nullptr;
};

// Writes the head of a collection into `output`. A non-empty `name` (UTF-8) becomes the
// collection's "name" member, which GDAL takes as the layer name.
void openFeatureCollection(FeatureCollection& collection, OutputFile& output, const RiverData& data,
                           const WaterSystemCodeList& codeList, std::string_view name,
                           bool scriptSafe = false);

// The head of a collection as openFeatureCollection writes it, for a collection that stands in
// other text.
void appendCollectionHead(std::string& out, std::string_view name, bool scriptSafe);

// Sets up `collection` to write the features of an atlas page into `output`, which holds the
// collection's head and `featureCount` features already. They are script-safe and have the
// export's properties, and as the map page writes them: positions with eight decimals (the
// page's "%.8f"), widening `bounds`, and a curve of a single position as a LineString that
// stays on it. Two properties follow the export's: "direction", the direction text of the
// stream's popup, and "nodes", the [longitude, latitude] of the markers the map page draws: the
// stream's start and end node, then for the first stream of a river drawn also the river's
// start and end node, each null for an empty reference. Nothing is written here.
void startPageFeatures(FeatureCollection& collection, OutputFile& output, const RiverData& data,
                       const WaterSystemCodeList& codeList, MapBounds& bounds,
                       std::int32_t featureCount);

// Writes a Feature for every stream of river `riverCode`, in file order, in `color`. Stops with
// the map page's result at the first stream that the page would fail to draw (its curve, its
// stream nodes or, for the river's first stream, its river nodes do not resolve); the features
// before it stay written.
DrawResult writeRiverFeatures(FeatureCollection& collection, std::uint64_t riverCode, Color color);

// What writeEveryStreamFeatures did.
struct EveryStreamResult {
  std::int32_t leftOut = 0;              // streams left out
  std::size_t blocksFormattedAhead = 0;  // blocks of streams a second thread formatted
};

// Writes a Feature for every stream of the data set in file order, each in the colour of its
// water system's page. A stream whose curve or any node reference does not resolve is left
// out and told to `progress` with the page's result. With `options.drawAhead` a second thread
// formats the streams ahead of those being written, in blocks, into memory; the text is the
// same.
EveryStreamResult writeEveryStreamFeatures(FeatureCollection& collection, Progress& progress,
                                           const DrawOptions& options = {});

// Writes the end of the collection. The caller closes the OutputFile.
void closeFeatureCollection(FeatureCollection& collection);

// Appends `text` (UTF-8) as a JSON string with its quotation marks: quotation mark, backslash
// and control characters escaped, U+2028 and U+2029 as \u2028 and \u2029, bytes that are not
// well-formed UTF-8 replaced by U+FFFD; with `scriptSafe` also "<" as \u003c.
void appendJsonString(std::string& out, std::string_view text, bool scriptSafe);

// `text` with the references of XML text resolved: &amp; &lt; &gt; &quot; &apos; and character
// references (&#N; &#xH;). Data files and code lists hold names as XML text; anything that is
// no complete reference stays as it is.
std::string resolveXmlReferences(std::string_view text);

// Room that writeShortestNumber may need.
constexpr std::size_t kMaxShortestNumberLength = 32;
// Writes the shortest text that reads back to the finite `value` (as std::to_chars) at `out`;
// returns the end of what was written.
char* writeShortestNumber(char* out, double value);
