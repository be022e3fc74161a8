// Every line hydrochart shows a user, on standard output and standard error. The entry
// (run.cpp) reports outcomes through it, and the library reports progress through its Progress
// side while the work goes on.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "hydrochart/allpages.h"
#include "hydrochart/codelist.h"
#include "hydrochart/datafilekind.h"
#include "hydrochart/indexpage.h"
#include "hydrochart/mappage/drawing.h"
#include "hydrochart/progress.h"
#include "hydrochart/riverdata/riverdata.h"

class Report final : public Progress {
 public:
  // Lines go to `out`; warnings go to `err`, after what `out` holds so far.
  Report(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

  void waterSystemPageStarted(std::uint32_t code) override;
  void waterSystemPageWritten(std::int32_t pathCount) override;
  void waterSystemPageNotCreated(std::uint32_t code) override;
  void outputIsInput(const std::string& path, RunInput input) override;
  void indexOpened(const std::string& indexPath) override;
  void folderLeftOut(const std::string& base, const std::string& folder) override;
  void streamLeftOut(const DrawResult& result) override;

  void usage();
  void version();
  void banner(unsigned consoleCodePage);
  void codeListRead(const CodeListLoad& load);  // nothing when no file was read
  void codeLabelFile(bool written);
  void pathTooLong(const std::string& path);

  // The load report line, or the loader's error line (nothing when the file was not opened).
  void riverDataLoad(const std::string& path, LoadStatus status, const RiverData& data);
  void riverDataNotFound(const std::string& path);
  // What a data file that loaded without any Stream or Curve is, when it is recognised: an error
  // line for a file that holds no river data, a warning for XML of something else.
  void dataFileKind(const std::string& path, const DataFileLook& look);

  void drawingFailed(const DrawResult& result);
  void allPagesFailed(const AllPagesResult& result);
  void dataFileProcessed(const std::string& path);

  void outputNotCreated(const std::string& path);
  void pageGenerated(const std::string& path, std::int32_t pathCount);
  // A GeoJSON file of a selection, and one of every stream of a data file.
  void geoJsonGenerated(const std::string& path, std::int32_t featureCount);
  void everyStreamGenerated(const std::string& path, std::int32_t featureCount,
                            std::int32_t leftOut);
  void codeMatchesNothing(const std::string& argument, bool river, std::uint64_t code,
                          const std::string& dataPath) override;

  void indexPage(const IndexResult& result);

 private:
  void warning(const char* format, ...) __attribute__((format(printf, 2, 3)));

  std::FILE* out_;
  std::FILE* err_;
};
