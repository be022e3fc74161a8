// The index page over the output folders of many data files, grouped by prefecture.
#pragma once

#include <string>

#include "hydrochart/progress.h"

struct IndexResult {
  enum class Kind {
    Written,
    FolderMissing,   // the base folder does not exist (or is no folder)
    NoOutputFolder,  // no folder of the base folder matches; nothing written
    NotCreated,      // the index cannot be created or written whole; the previous one stays
  };
  Kind kind = Kind::Written;
  std::string base;       // the base folder searched
  std::string indexPath;  // the index file
  int prefectureCount = 0;
  int linkCount = 0;
};

// Writes "<baseFolder>/index.html" ("." when `baseFolder` is empty). Output folders without any
// page are left out (told to `progress`).
IndexResult createIndexPage(const std::string& baseFolder, Progress& progress);
