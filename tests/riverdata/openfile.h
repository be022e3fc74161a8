// A data file opened for the line reader tests, closed at the end of its scope.
#pragma once

#include <string>

#include "platform/inputfile.h"

class OpenFile {
 public:
  explicit OpenFile(const std::string& path) { file_.open(path); }
  platform::InputFile& file() { return file_; }

 private:
  platform::InputFile file_;
};
