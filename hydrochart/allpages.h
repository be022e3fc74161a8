// One map page per water system of a loaded data file, written into "<data file>_html/".
#pragma once

#include <cstddef>
#include <string>

#include "hydrochart/codelist.h"
#include "hydrochart/drawahead.h"
#include "hydrochart/mappage/drawing.h"
#include "hydrochart/progress.h"
#include "hydrochart/riverdata/riverdata.h"
#include "platform/files.h"

struct AllPagesResult {
  enum class Kind {
    Written,                // every page written, or passed over as not creatable
    CodeArrayNotAllocated,  // the water-system codes do not fit in memory
    DrawingFailed,          // `drawing` says why; the page is left unfinished
    PageNotWritten,  // a page did not reach the disk whole, or its path names an input of the
                     // run (told to the progress as it happened)
  };
  Kind kind = Kind::Written;
  std::size_t codeArrayCapacity = 0;  // CodeArrayNotAllocated: the capacity that was asked for
  DrawResult drawing;
  std::size_t partsDrawnAhead = 0;  // pages whose water system was drawn ahead on a second thread
};

// Writes the pages of every water system of `data` (loaded from `dataPath`) and, on success,
// releases the data set. A path without ".xml" writes no page and succeeds. A page whose file
// cannot be created is told to `progress` and passed over; any other failure ends the run.
// `codeListPath` is the code list file the run read (empty when none). The pages are of the
// style of `options` (whose code list is `list`), and the next pages are drawn ahead while one
// is written, as `options` allow.
AllPagesResult writeAllWaterSystemPages(const std::string& dataPath, RiverData& data,
                                        const WaterSystemCodeList& list, Progress& progress,
                                        const std::string& codeListPath = {},
                                        const DrawOptions& options = {});

// The run's inputs as files, taken once, so that each output costs one look-up to check.
struct RunInputs {
  platform::FileIdentity dataFile;
  platform::FileIdentity codeList;
  // False once every entry of the folder of pages was found not to be an input: a page then
  // names one of those entries or a new file, and neither is an input, so it needs no look-up.
  bool checkEachPage = true;
};
// `codeListPath` is empty when the run read no code list.
RunInputs identifyRunInputs(const std::string& dataPath, const std::string& codeListPath);

// The input of the run that the output `path` is (the same file, however spelt), if any.
RunInput runInputNamedBy(const std::string& path, const RunInputs& inputs);

// Looks at every entry of `folder` once and clears `inputs.checkEachPage` when none of them is
// an input of the run. An entry that cannot be looked at keeps the checks, and so does an
// entry made while the pages are written (as between any check and the open that follows it).
// A folder of more than `pages` entries keeps them too: looking at each would cost more than
// checking each page.
void checkFolderOfPages(const std::string& folder, std::size_t pages, RunInputs& inputs);
