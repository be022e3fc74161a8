#include "hydrochart/run.h"

#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "hydrochart/allpages.h"
#include "hydrochart/codelist.h"
#include "hydrochart/indexpage.h"
#include "hydrochart/mappage/pagetext.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/textconv.h"
#include "platform/textscan.h"

namespace {

constexpr const char* kCodeListXml = "WaterSystemCodeCd.xml";
constexpr const char* kCodeListHtml = "WaterSystemCodeCd.html";
constexpr std::size_t kMaxTitleBytes = 1023;

// A colour is read as a 32-bit strtoul reads a hexadecimal number.
Color parseHexColor(const char* text) { return platform::parseUnsigned32(text, 16); }

using platform::failurePath;

// Loads the code list from the working directory, else from the program's folder.
// `codeListPath` becomes the file last read ("" when none was).
int loadCodeList(WaterSystemCodeList& list, std::string& codeListPath) {
  auto load = [&list, &codeListPath](const std::string& xml, const std::string& html) {
    std::int32_t codePage = -1;
    const int count = loadWaterSystemCodeList(list, xml, html, codePage);
    // The loader reads the XML form whenever that file exists, else the HTML form.
    if (codePage != -1) codeListPath = platform::pathExists(xml) ? xml : html;
    return count;
  };
  codeListPath.clear();
  const int count = load(kCodeListXml, kCodeListHtml);
  if (count != 0) return count;
  // Not found (or empty) in the working directory: try the program's own folder.
  const std::string folder = platform::programDirectory();
  if (folder.empty() || folder.size() + 24 > platform::kMaxPathLength) return 0;
  return load(folder + "/" + kCodeListXml, folder + "/" + kCodeListHtml);
}

int writeCodeLabelFile(const std::vector<std::string>& args, const WaterSystemCodeList& list,
                       const std::string& codeListPath) {
  const std::string path = codeLabelFileName(args);
  // Opening the code list itself for writing would empty it before a line is written.
  std::FILE* file =
      namesRunInput(path, std::string(), codeListPath) ? nullptr : std::fopen(path.c_str(), "wb");
  if (!file) {
    std::fputs("** Error: Code Label file not created.\n", stdout);
    return failurePath();
  }
  bool ok = true;
  for (const auto& entry : list) {
    // The code goes through a signed conversion, as "%06d" of the 32-bit value.
    ok = std::fprintf(file, "\t\t\t\t<codelabel label=\"%s\" code=\"%06d\" />\n",
                      entry.labelUtf8.c_str(), static_cast<int>(entry.code)) > 0 &&
         ok;
  }
  ok = std::fclose(file) == 0 && ok;
  if (!ok) {
    // A file that did not reach the disk whole is no success.
    std::fputs("** Error: Code Label file not created.\n", stdout);
    return failurePath();
  }
  std::fputs("Code Label for \"WaterSystemCodeCd.xml\" was generated.\n", stdout);
  return 0;
}

int runBatch(const std::string& pattern, const WaterSystemCodeList& list,
             const std::string& codeListPath) {
  const auto matches = platform::findFiles(pattern);
  if (matches.empty()) return 2;
  // Matches are opened in the pattern's folder; a pattern without a folder part opens them in
  // the working directory.
  const std::string prefix =
      pattern.find('/') == std::string::npos ? "" : platform::removeLastComponent(pattern) + "/";
  RiverData data;
  for (const auto& match : matches) {
    if (match.isDirectory) continue;
    const std::string path = prefix + match.name;
    if (path.size() > platform::kMaxPathLength) {
      std::printf("** Error: Path too long: %s\n", path.c_str());
      return failurePath();
    }
    const int loaded = loadRiverData(path, data);
    if (loaded < 0) continue;  // a file that cannot be opened is skipped
    if (loaded > 0) return failurePath();
    if (writeAllWaterSystemPages(path, data, list, codeListPath) != 0) return failurePath();
    std::printf("%s was processed.\n", path.c_str());
  }
  return 0;
}

// A code argument that names no river and no water system of the data (a typo, 0, -1) draws
// nothing; the page is still written, and the user is told on standard error.
void warnIfNothingMatches(const std::string& argument, std::uint64_t code, const RiverData& data,
                          const std::string& dataPath) {
  const bool river = code >= 1000000;
  const bool found = river ? !streamsOfRiver(data, code).empty()
                           : !streamsOfWaterSystem(data, static_cast<std::uint32_t>(code)).empty();
  if (found) return;
  std::fflush(stdout);
  std::fprintf(stderr, "hydrochart: \"%s\" matches no %s (code %llu) in \"%s\"\n", argument.c_str(),
               river ? "river" : "water system", static_cast<unsigned long long>(code),
               dataPath.c_str());
}

int runPage(const std::vector<std::string>& args, RiverData& data,
            const std::string& codeListPath) {
  const std::string& pagePath = args[1];
  // Like the titles of water-system pages, a "<" of the title cannot start markup.
  const std::string title =
      args.size() > 2 ? pagetext::htmlLessThanEscaped(platform::cutUtf8(args[2], kMaxTitleBytes))
                      : std::string();
  MapPage page;
  if (namesRunInput(pagePath, args[0], codeListPath) || !openMapPage(page, pagePath, title)) {
    std::printf("** Error: Output file \"%s\" not created.\n", pagePath.c_str());
    return failurePath();
  }
  std::int32_t colorIndex = 0;
  for (std::size_t i = 3; i < args.size(); ++i) {
    const CodeArgument argument = parseCodeArgument(args[i]);
    warnIfNothingMatches(args[i], argument.code, data, args[0]);
    int status;
    if (argument.code >= 1000000) {
      const Color color = argument.automatic ? colorFromIndex(colorIndex, 0.75) : argument.color;
      status = drawRiver(page, data, argument.code, color);
      ++colorIndex;
    } else {
      status = drawWaterSystem(page, data, static_cast<std::uint32_t>(argument.code),
                               argument.color, argument.automatic, colorIndex);
    }
    if (status != 0) return failurePath();
  }
  if (closeMapPage(page) != 0) {
    // The page did not reach the disk whole (disk full, write error): no success line.
    std::printf("** Error: Output file \"%s\" not created.\n", pagePath.c_str());
    return failurePath();
  }
  std::printf("%s successfully generated. (path=%d)\n", pagePath.c_str(), page.pathCount);
  releaseRiverData(data);
  return 0;
}

}  // namespace

bool modeLoadsCodeList(const std::vector<std::string>& args) {
  return !args.empty() && strcasecmp(args[0].c_str(), "create_index") != 0 && args[0] != "-h" &&
         args[0] != "--help" && args[0] != "--version";
}

RunMode chooseRunMode(const std::vector<std::string>& args, bool haveCodeList) {
  if (args.empty()) return RunMode::Usage;
  const std::string& first = args[0];
  if (first == "-h" || first == "--help") return RunMode::Help;
  if (first == "--version") return RunMode::Version;
  if (strcasecmp(first.c_str(), "create_index") == 0) return RunMode::IndexPage;
  if (first == "ws_codelabel" && haveCodeList) return RunMode::CodeLabel;
  if (first.find('*') != std::string::npos || args.size() == 1) return RunMode::Batch;
  if (args[1] == "*") return RunMode::AllWaterSystems;
  return RunMode::Page;
}

CodeArgument parseCodeArgument(const std::string& text) {
  CodeArgument argument;
  char* end = nullptr;
  argument.code = std::strtoull(text.c_str(), &end, 10);
  if (*end == '\0') return argument;
  // The character where the number stopped separates the code from its colour.
  argument.automatic = false;
  argument.color = parseHexColor(end + 1);
  return argument;
}

std::string codeLabelFileName(const std::vector<std::string>& args) {
  return args.size() == 2 ? args[1] : "ws_codelabel.txt";
}

const char* usageText() {
  return "Usage:\n"
         "  hydrochart DATA.xml PAGE.htm [TITLE [CODE[/RRGGBB]...]]\n"
         "      one map page with the rivers (codes of 1000000 and more) and water systems\n"
         "      (smaller codes) given, in automatic colours or the colour after the separator\n"
         "  hydrochart DATA.xml \"*\"\n"
         "      one page per water system, written into the folder DATA_html\n"
         "  hydrochart \"PATTERN\"\n"
         "      the same for every data file that matches the wildcard pattern, in name order\n"
         "  hydrochart create_index [FOLDER]\n"
         "      FOLDER/index.html over the W05-?\?_?\?-g_html folders in FOLDER (default .)\n"
         "  hydrochart ws_codelabel [FILE]\n"
         "      code-label lines from WaterSystemCodeCd.xml (default ws_codelabel.txt)\n"
         "  hydrochart --help | --version\n"
         "The code list WaterSystemCodeCd.xml or .html is read from the working directory,\n"
         "else from the program's folder.\n"
         "Exit status: 0 done, 1 error, 2 no file matches the pattern.\n";
}

int runHydrochart(const std::vector<std::string>& args) {
  const RunMode early = chooseRunMode(args, false);
  if (early == RunMode::Help) {
    std::fputs(usageText(), stdout);
    return 0;
  }
  if (early == RunMode::Version) {
    std::printf("hydrochart %s\n", W05_VERSION);
    return 0;
  }
  std::printf("**** hydrochart **** cp=%u\n", static_cast<unsigned>(platform::consoleCodePage()));
  if (early == RunMode::Usage) {
    std::fputs(usageText(), stdout);
    return 1;
  }
  if (early == RunMode::IndexPage) {
    const int result = createIndexPage(args.size() > 1 ? args[1] : std::string());
    return result == 0 ? 0 : failurePath();
  }

  WaterSystemCodeList list;
  std::string codeListPath;
  loadCodeList(list, codeListPath);
  const RunMode mode = chooseRunMode(args, !list.empty());
  switch (mode) {
    case RunMode::CodeLabel:
      return writeCodeLabelFile(args, list, codeListPath);
    case RunMode::Batch:
      if (args[0].size() > platform::kMaxPathLength) {
        std::printf("** Error: Path too long: %s\n", args[0].c_str());
        return failurePath();
      }
      return runBatch(args[0], list, codeListPath);
    default:
      break;
  }

  RiverData data;
  const int loaded = loadRiverData(args[0], data);
  if (loaded != 0) {
    // A file with a coordinate that is not a finite number was found, and the loader said what is
    // wrong.
    if (loaded != 2) std::printf("** Error: River data file \"%s\" not found.\n", args[0].c_str());
    return failurePath();
  }
  if (mode == RunMode::AllWaterSystems) {
    return writeAllWaterSystemPages(args[0], data, list, codeListPath) == 0 ? 0 : failurePath();
  }
  return runPage(args, data, codeListPath);
}
