// The loader of W05 river data files: what it reads into a data set, how, and what it tells.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hydrochart/riverdata/index.h"
#include "hydrochart/riverdata/loadoptions.h"
#include "hydrochart/riverdata/records.h"

enum class LoadStatus {
  Loaded,
  NotOpened,            // the file cannot be opened or is a folder; `data` untouched
  OutOfMemory,          // an array could not grow; the data set must not be used
  NonFiniteCoordinate,  // a stored position would hold nan, inf or 1e999; the data set emptied
};

struct LoadResult {
  LoadStatus status = LoadStatus::Loaded;
  unsigned parts = 1;  // parts the file was read in; 1 for a single pass
  LoadFallback fallback = LoadFallback::None;
  // Callers that only need the status compare the result with a LoadStatus.
  operator LoadStatus() const { return status; }
};

// Loads `path` into `data` (replacing what it held).
LoadResult loadRiverData(const std::string& path, RiverData& data, const LoadOptions& options = {});

// Empties the data set and gives its memory back.
void releaseRiverData(RiverData& data);
