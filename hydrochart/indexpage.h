// The index page over the output folders of many data files, grouped by prefecture.
#pragma once

#include <string>

// Writes "<baseFolder>/index.html" ("." when `baseFolder` is empty). Output folders without any
// page are left out (named on standard error). 0 on success; 1 when the base folder does not
// exist; 2 when no output folder matches; 3 when the index cannot be created or written whole,
// in which case the previous index stays as it was.
int createIndexPage(const std::string& baseFolder);
