// The command line of hydrochart: which mode a run takes, how code arguments read, and the run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hydrochart/mappage/mappage.h"

enum class RunMode {
  Usage,            // no argument: usage summary, status 1
  Help,             // -h / --help
  Version,          // --version
  IndexPage,        // create_index [FOLDER]
  CodeLabel,        // ws_codelabel [FILE], only when a code list was found
  Batch,            // PATTERN (holds "*", or is the only argument)
  AllWaterSystems,  // DATA "*"
  Page,             // DATA PAGE [TITLE [CODE...]]
};

// Mode of a run from its arguments (program name excluded), tested in a fixed order; the first
// that fits wins. `haveCodeList` tells whether the water-system code list has entries.
RunMode chooseRunMode(const std::vector<std::string>& args, bool haveCodeList);

// Whether the mode needs the code list before it can be chosen finally (every mode but the
// index page and the informational ones).
bool modeLoadsCodeList(const std::vector<std::string>& args);

// A code argument of the page mode: "CODE" (automatic colour) or "CODE<sep>RRGGBB".
struct CodeArgument {
  std::uint64_t code = 0;
  bool automatic = true;
  Color color = 0;
};
CodeArgument parseCodeArgument(const std::string& text);

// Name of the code-label file: argument 2 when exactly two arguments are given.
std::string codeLabelFileName(const std::vector<std::string>& args);

// The usage summary shown by --help and by a run without arguments.
const char* usageText();

// Runs hydrochart and returns the process exit status (0, 1 after the failure path's pause, or
// 2 when a batch pattern matches nothing).
int runHydrochart(const std::vector<std::string>& args);
