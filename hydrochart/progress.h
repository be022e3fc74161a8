// What a user sees while a long piece of work goes on: the library calls these as the work
// proceeds, the entry owns the one implementation (report.cpp) and prints.
#pragma once

#include <cstdint>
#include <string>

#include "hydrochart/mappage/drawing.h"

// The input of a run that an output path would overwrite.
enum class RunInput { None, DataFile, CodeList };

class Progress {
 public:
  // One page per water system: started (its code), then written (the streams drawn on it) or
  // not created.
  virtual void waterSystemPageStarted(std::uint32_t code) = 0;
  virtual void waterSystemPageWritten(std::int32_t pathCount) = 0;
  virtual void waterSystemPageNotCreated(std::uint32_t code) = 0;
  // A code argument of the page mode (`argument`, read as `code`) that names no river or no
  // water system of the data file `dataPath`: it draws nothing.
  virtual void codeMatchesNothing(const std::string& argument, bool river, std::uint64_t code,
                                  const std::string& dataPath) = 0;
  // An output path that names an input of the run; the file is left alone.
  virtual void outputIsInput(const std::string& path, RunInput input) = 0;
  // The index file is open; the folders are listed next.
  virtual void indexOpened(const std::string& indexPath) = 0;
  // An output folder without any page, left out of the index.
  virtual void folderLeftOut(const std::string& base, const std::string& folder) = 0;
  // A stream left out of the GeoJSON of every stream: why the map page could not draw it.
  virtual void streamLeftOut(const DrawResult& result) = 0;

 protected:
  ~Progress() = default;
};
