// File helpers of the unit tests: a whole file's bytes, and paths into the source tree.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

// All bytes of the file at `path`; "" when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Path of `relative` inside the source tree (W05_SOURCE_DIR, set by CTest; else the current
// folder), or of the tree itself.
inline std::string sourcePath(std::string_view relative = {}) {
  const char* source = std::getenv("W05_SOURCE_DIR");
  std::string path = source != nullptr ? source : ".";
  if (!relative.empty()) path.append("/").append(relative);
  return path;
}
