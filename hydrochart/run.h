// The command line of hydrochart: which mode a run takes, how code arguments read, and the run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hydrochart/mappage/colors.h"

enum class RunMode {
  Usage,            // no argument: usage summary, status 1
  Help,             // -h / --help
  Version,          // --version
  IndexPage,        // create_index [FOLDER]
  CodeLabel,        // ws_codelabel [FILE]; without a code list, the data mode of the arguments
  Batch,            // PATTERN (holds "*", or is the only argument)
  AllWaterSystems,  // DATA "*"
  Page,             // DATA PAGE [TITLE [CODE...]]
  GeoJson,          // --geojson DATA [OUT [TITLE [CODE...]]]
  GeoJsonBatch,     // --geojson PATTERN (holds "*" or "?")
};

// The first argument that selects atlas pages for the modes that write map pages (Batch,
// AllWaterSystems, Page): the arguments after it are read as those modes read theirs.
inline constexpr char kAtlasOption[] = "--atlas";

// Mode of a run from its arguments (program name excluded), tested in a fixed order; the first
// that fits wins. After kAtlasOption, the data mode of the arguments that follow it (Usage when
// none does).
RunMode chooseRunMode(const std::vector<std::string>& args);

// Whether the arguments begin with kAtlasOption.
bool selectsAtlas(const std::vector<std::string>& args);

// The mode of arguments that name data (Batch, AllWaterSystems or Page): the modes after
// CodeLabel in the order of chooseRunMode. "ws_codelabel" takes it when the code list has no
// entries.
RunMode chooseDataMode(const std::vector<std::string>& args);

// Whether a run of `mode` reads the water-system code list first: the code-label mode and the
// data modes.
bool readsCodeList(RunMode mode);

// A code argument of the page mode: "CODE" (automatic colour) or "CODE<sep>RRGGBB".
struct CodeArgument {
  std::uint64_t code = 0;
  bool automatic = true;
  Color color = 0;
};
CodeArgument parseCodeArgument(const std::string& text);

// Name of the code-label file: argument 2 when exactly two arguments are given.
std::string codeLabelFileName(const std::vector<std::string>& args);

// Name of the GeoJSON file written for a data file without a name given: the data file's name
// with ".geojson" in place of a final ".xml" (in any letter case), or after it.
std::string geoJsonFileName(const std::string& dataPath);

// Runs hydrochart and returns the process exit status (0, 1 after the failure path's pause, or
// 2 when a batch pattern matches nothing).
int runHydrochart(const std::vector<std::string>& args);
