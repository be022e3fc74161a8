// One map page per water system of a loaded data file, written into "<data file>_html/".
#pragma once

#include <string>

#include "hydrochart/codelist.h"
#include "hydrochart/riverdata/riverdata.h"

// Writes the pages of every water system of `data` (loaded from `dataPath`) and releases the
// data set. `codeListPath` is the code list file the run read (empty when none). 0 on success
// (also when the path has no ".xml"; a page whose file cannot be created is reported and
// skipped), 1 when the code array cannot be allocated, 2 when drawing a water system failed,
// 3 when a page could not be written completely (a write or the close failed), 4 when a page
// path names the data file or the code list. The data set is released only on success.
int writeAllWaterSystemPages(const std::string& dataPath, RiverData& data,
                             const WaterSystemCodeList& list, const std::string& codeListPath = {});

// Whether the output `path` is the data file or the code list being read (the same file,
// however spelt). When it is, the cause goes to standard error; the caller prints its error
// line and leaves the file alone.
bool namesRunInput(const std::string& path, const std::string& dataPath,
                   const std::string& codeListPath);
