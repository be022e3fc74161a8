// The page mode: one map page of the rivers and water systems that code arguments name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hydrochart/drawahead.h"
#include "hydrochart/mappage/drawing.h"
#include "hydrochart/progress.h"
#include "hydrochart/riverdata/riverdata.h"

struct CodePage {
  std::string path;
  std::string title;  // UTF-8, written verbatim
  std::string dataPath;
  // The parts in drawing order, and the code argument that names each (for the user).
  std::vector<DrawPart> parts;
  std::vector<std::string> arguments;
};

struct CodePageResult {
  enum class Kind {
    Written,
    NotCreated,     // the file cannot be created
    DrawingFailed,  // `drawing` says why; the page is left unfinished
    NotWritten,     // the page did not reach the disk whole
  };
  Kind kind = Kind::Written;
  DrawResult drawing;
  std::int32_t pathCount = 0;       // streams drawn on the page
  std::size_t partsDrawnAhead = 0;  // parts whose text was drawn ahead on a second thread
};

// Tells `progress` when `part`, named by the code argument `argument`, matches no river and no
// water system of `data` (read from `dataPath`): it draws nothing.
void warnIfNothingMatches(const std::string& argument, const DrawPart& part, const RiverData& data,
                          const std::string& dataPath, Progress& progress);

// Writes the page in the style of `options`: its head, every part in turn (the parts after the
// one being drawn are drawn ahead meanwhile, as `options` allow) and its end. A code that names no
// river and no water system of the data (a typo, 0, -1) draws nothing; the page is still written,
// and `progress` is told.
CodePageResult writeCodePage(const CodePage& page, const RiverData& data, Progress& progress,
                             const DrawOptions& options = {});
