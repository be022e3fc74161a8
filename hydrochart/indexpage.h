// The index page over the output folders of many data files, grouped by prefecture.
#pragma once

#include <string>

// Writes "<baseFolder>/index.html" ("." when `baseFolder` is empty). 0 on success; 1 when the
// base folder does not exist; 2 when no output folder matches; 3 when the index cannot be
// created; 4 when a listed folder holds no page.
int createIndexPage(const std::string& baseFolder);
