#include "hydrochart/run.h"

#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "hydrochart/allpages.h"
#include "hydrochart/codelist.h"
#include "hydrochart/datafilekind.h"
#include "hydrochart/geojson/geojson.h"
#include "hydrochart/indexpage.h"
#include "hydrochart/mappage/pagetext.h"
#include "hydrochart/pagemode.h"
#include "hydrochart/report.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/textconv.h"
#include "platform/textscan.h"

namespace {

constexpr const char* kCodeListXml = "WaterSystemCodeCd.xml";
constexpr const char* kCodeListHtml = "WaterSystemCodeCd.html";
// Room a folder path leaves for a separator and the longer code list name with its terminating NUL.
constexpr std::size_t kCodeListNameRoom = 1 + std::char_traits<char>::length(kCodeListHtml) + 1;
constexpr std::size_t kMaxTitleBytes = 1023;

// A colour is read as a 32-bit strtoul reads a hexadecimal number.
Color parseHexColor(const char* text) { return platform::parseUnsigned32(text, 16); }

using platform::failurePath;

// The code list of a run and the file it came from ("" when none was read).
struct CodeList {
  WaterSystemCodeList entries;
  std::string path;
};

// Loads the code list from the working directory, else from the program's folder.
CodeList loadCodeList(Report& report) {
  CodeList list;
  auto load = [&list, &report](const std::string& xml, const std::string& html) {
    const CodeListLoad load = loadWaterSystemCodeList(list.entries, xml, html);
    report.codeListRead(load);
    if (load.read()) list.path = load.path;
    return load.count;
  };
  if (load(kCodeListXml, kCodeListHtml) != 0) return list;
  // Not found (or empty) in the working directory: try the program's own folder, then the data
  // folder of an installed program (none on Windows).
  const std::string programFolder = platform::programDirectory();
  for (const std::string& folder :
       {programFolder, platform::programDataDirectory(programFolder, "hydrochart")}) {
    if (folder.empty() || folder.size() + kCodeListNameRoom > platform::kMaxPathLength) continue;
    if (load(folder + platform::kPathSeparator + kCodeListXml,
             folder + platform::kPathSeparator + kCodeListHtml) != 0)
      break;
  }
  return list;
}

// Whether `path` may be written: not when it names an input of the run (told to the user).
bool mayWrite(const std::string& path, const std::string& dataPath, const CodeList& list,
              Report& report) {
  const RunInput input = runInputNamedBy(path, identifyRunInputs(dataPath, list.path));
  if (input == RunInput::None) return true;
  report.outputIsInput(path, input);
  return false;
}

int runCodeLabel(const std::vector<std::string>& args, const CodeList& list, Report& report) {
  const std::string path = codeLabelFileName(args);
  // Opening the code list itself for writing would empty it before a line is written.
  const bool written =
      mayWrite(path, std::string(), list, report) && writeCodeLabelFile(path, list.entries);
  report.codeLabelFile(written);
  return written ? 0 : failurePath();
}

// The options of the page writers of a run that writes pages of `style`.
DrawOptions drawOptions(PageStyle style, const CodeList& list) {
  DrawOptions options;
  options.style = style;
  options.style.codeList = &list.entries;
  return options;
}

// Writes the pages of every water system of a loaded data file; false after a failure.
bool writeAllPages(const std::string& dataPath, RiverData& data, const CodeList& list,
                   const PageStyle& style, Report& report) {
  const AllPagesResult result = writeAllWaterSystemPages(dataPath, data, list.entries, report,
                                                         list.path, drawOptions(style, list));
  report.allPagesFailed(result);
  return result.kind == AllPagesResult::Kind::Written;
}

// A data file that loaded without any Stream or Curve may be something else entirely (the
// download zip, an error page, the older JPGIS 1.0 edition): the user is told what it is. False
// when it surely holds no river data, so that no page is made from it.
bool mayHoldRiverData(const std::string& path, const RiverData& data, Report& report) {
  if (!data.streams.empty() || !data.curves.empty()) return true;
  const DataFileLook look = lookAtDataFile(path);
  report.dataFileKind(path, look);
  return !isSurelyNotRiverData(look.kind);
}

bool exportGeoJson(const std::string& dataPath, const RiverData& data, const std::string& outPath,
                   const std::string& title, const std::vector<std::string>& codes,
                   const CodeList& list, Report& report);

// What a batch writes for each data file: its pages, or its GeoJSON file.
enum class BatchOutput { Pages, GeoJson };

int runBatch(const std::string& pattern, BatchOutput output, const CodeList& list,
             const PageStyle& style, Report& report) {
  if (pattern.size() > platform::kMaxPathLength) {
    report.pathTooLong(pattern);
    return failurePath();
  }
  const auto matches = platform::findFiles(pattern);
  if (matches.empty()) return 2;
  // Matches are opened in the pattern's folder; a pattern without a folder part opens them in
  // the working directory.
  const std::string prefix = platform::hasPathSeparator(pattern)
                                 ? platform::removeLastComponent(pattern) + platform::kPathSeparator
                                 : std::string();
  RiverData data;
  bool allRiverData = true;
  for (const auto& match : matches) {
    if (match.isDirectory) continue;
    // GeoJSON files that an earlier batch wrote next to the data are no data.
    if (output == BatchOutput::GeoJson && match.name.ends_with(".geojson")) continue;
    const std::string path = prefix + match.name;
    if (path.size() > platform::kMaxPathLength) {
      report.pathTooLong(path);
      return failurePath();
    }
    const LoadStatus loaded = loadRiverData(path, data);
    report.riverDataLoad(path, loaded, data);
    if (loaded == LoadStatus::NotOpened) continue;  // a file that cannot be opened is skipped
    if (loaded != LoadStatus::Loaded) return failurePath();
    if (!mayHoldRiverData(path, data, report)) {
      allRiverData = false;  // told to the user; the batch goes on with the next file
      continue;
    }
    if (output == BatchOutput::GeoJson) {
      if (!exportGeoJson(path, data, geoJsonFileName(path), {}, {}, list, report)) {
        return failurePath();
      }
      continue;
    }
    if (!writeAllPages(path, data, list, style, report)) return failurePath();
    report.dataFileProcessed(path);
  }
  return allRiverData ? 0 : failurePath();
}

// The part of a page that a code argument names.
DrawPart drawPartOf(const std::string& codeArgument) {
  const CodeArgument argument = parseCodeArgument(codeArgument);
  DrawPart part;
  part.river = argument.code >= kSmallestRiverCode;
  part.code = argument.code;
  part.color = argument.color;
  part.automatic = argument.automatic;
  return part;
}

// The parts that the code arguments (from the fourth argument on) name, in order.
CodePage codePage(const std::vector<std::string>& args, std::string title) {
  CodePage page;
  page.path = args[1];
  page.title = std::move(title);
  page.dataPath = args[0];
  for (std::size_t i = 3; i < args.size(); ++i) {
    page.parts.push_back(drawPartOf(args[i]));
    page.arguments.push_back(args[i]);
  }
  return page;
}

// An output file's name as the success line shows it: in UTF-8 on a UTF-8 console, on any other
// as it was given.
std::string shownPath(const std::string& path) {
  const bool utf8Console = platform::consoleCodePage() == platform::kCodePageUtf8;
  return utf8Console ? platform::nativeToUtf8(path) : path;
}

int runPage(const std::vector<std::string>& args, RiverData& data, const CodeList& list,
            const PageStyle& style, Report& report) {
  const std::string& pagePath = args[1];
  // Like the titles of water-system pages, a "<" of the title cannot start markup.
  const std::string titleUtf8 = args.size() > 2 ? platform::nativeToUtf8(args[2]) : std::string();
  const std::string title =
      pagetext::htmlLessThanEscaped(platform::cutUtf8(titleUtf8, kMaxTitleBytes));
  if (!mayWrite(pagePath, args[0], list, report)) {
    report.outputNotCreated(pagePath);
    return failurePath();
  }
  const CodePageResult result =
      writeCodePage(codePage(args, title), data, report, drawOptions(style, list));
  switch (result.kind) {
    case CodePageResult::Kind::DrawingFailed:
      report.drawingFailed(result.drawing);
      return failurePath();
    case CodePageResult::Kind::NotCreated:
    case CodePageResult::Kind::NotWritten:
      // Not created, or it did not reach the disk whole (disk full, write error): no success
      // line.
      report.outputNotCreated(pagePath);
      return failurePath();
    case CodePageResult::Kind::Written:
      break;
  }
  report.pageGenerated(shownPath(pagePath), result.pathCount);
  releaseRiverData(data);
  return 0;
}

// Writes the GeoJSON file of a loaded data file: the rivers of the code arguments `codes` as the
// page mode draws them, or every stream when there is none. The file takes the place of an
// older one only when it is complete. False after a failure (told to the user).
bool exportGeoJson(const std::string& dataPath, const RiverData& data, const std::string& outPath,
                   const std::string& title, const std::vector<std::string>& codes,
                   const CodeList& list, Report& report) {
  OutputFile output;
  if (!mayWrite(outPath, dataPath, list, report) ||
      !output.open(outPath, OutputFile::Mode::ReplaceBinary)) {
    report.outputNotCreated(outPath);
    return false;
  }
  FeatureCollection collection;
  openFeatureCollection(collection, output, data, list.entries, title);
  std::int32_t leftOut = 0;
  if (codes.empty()) {
    leftOut = writeEveryStreamFeatures(collection, report).leftOut;
  } else {
    std::int32_t colorIndex = 0;
    std::vector<SelectedRiver> rivers;
    for (const std::string& code : codes) {
      const CodeArgument argument = parseCodeArgument(code);
      warnIfNothingMatches(code, drawPartOf(code), data, dataPath, report);
      rivers.clear();
      DrawResult result = appendSelectedRivers(data, argument.code, argument.automatic,
                                               argument.color, colorIndex, rivers);
      for (std::size_t i = 0; i < rivers.size() && result.drawn(); ++i) {
        result = writeRiverFeatures(collection, rivers[i].riverCode, rivers[i].color);
      }
      if (!result.drawn()) {
        report.drawingFailed(result);
        return false;
      }
    }
  }
  closeFeatureCollection(collection);
  if (!output.close()) {
    report.outputNotCreated(outPath);
    return false;
  }
  if (codes.empty()) {
    report.everyStreamGenerated(shownPath(outPath), collection.featureCount, leftOut);
  } else {
    report.geoJsonGenerated(shownPath(outPath), collection.featureCount);
  }
  return true;
}

int runGeoJson(const std::vector<std::string>& args, const CodeList& list, Report& report) {
  const std::string& dataPath = args[1];
  RiverData data;
  const LoadStatus loaded = loadRiverData(dataPath, data);
  report.riverDataLoad(dataPath, loaded, data);
  if (loaded == LoadStatus::NotOpened || loaded == LoadStatus::OutOfMemory) {
    report.riverDataNotFound(dataPath);
  }
  if (loaded != LoadStatus::Loaded || !mayHoldRiverData(dataPath, data, report))
    return failurePath();
  const std::string outPath = args.size() > 2 ? args[2] : geoJsonFileName(dataPath);
  const std::string title =
      args.size() > 3
          ? std::string(platform::cutUtf8(platform::nativeToUtf8(args[3]), kMaxTitleBytes))
          : std::string();
  const std::vector<std::string> codes(args.begin() + std::min<std::size_t>(args.size(), 4),
                                       args.end());
  return exportGeoJson(dataPath, data, outPath, title, codes, list, report) ? 0 : failurePath();
}

// The modes that read one data file: every water system of it, or one page.
int runDataFile(RunMode mode, const std::vector<std::string>& args, const CodeList& list,
                const PageStyle& style, Report& report) {
  RiverData data;
  const LoadStatus loaded = loadRiverData(args[0], data);
  report.riverDataLoad(args[0], loaded, data);
  if (loaded == LoadStatus::NotOpened || loaded == LoadStatus::OutOfMemory) {
    report.riverDataNotFound(args[0]);
  }
  if (loaded != LoadStatus::Loaded || !mayHoldRiverData(args[0], data, report))
    return failurePath();
  if (mode == RunMode::AllWaterSystems) {
    return writeAllPages(args[0], data, list, style, report) ? 0 : failurePath();
  }
  return runPage(args, data, list, style, report);
}

int runIndexPage(const std::vector<std::string>& args, Report& report) {
  const IndexResult result = createIndexPage(args.size() > 1 ? args[1] : std::string(), report);
  report.indexPage(result);
  return result.kind == IndexResult::Kind::Written ? 0 : failurePath();
}

}  // namespace

RunMode chooseRunMode(const std::vector<std::string>& args) {
  if (args.empty()) return RunMode::Usage;
  const std::string& first = args[0];
  if (first == "-h" || first == "--help") return RunMode::Help;
  if (first == "--version") return RunMode::Version;
  if (first == kAtlasOption) {
    if (args.size() == 1) return RunMode::Usage;
    return chooseDataMode(std::vector<std::string>(args.begin() + 1, args.end()));
  }
  if (first == "--geojson") {
    if (args.size() == 1) return RunMode::Usage;
    const bool pattern = args[1].find_first_of("*?") != std::string::npos;
    return args.size() == 2 && pattern ? RunMode::GeoJsonBatch : RunMode::GeoJson;
  }
  if (strcasecmp(first.c_str(), "create_index") == 0) return RunMode::IndexPage;
  if (first == "ws_codelabel") return RunMode::CodeLabel;
  return chooseDataMode(args);
}

RunMode chooseDataMode(const std::vector<std::string>& args) {
  if (args[0].find('*') != std::string::npos || args.size() == 1) return RunMode::Batch;
  if (args[1] == "*") return RunMode::AllWaterSystems;
  return RunMode::Page;
}

bool readsCodeList(RunMode mode) {
  return mode == RunMode::CodeLabel || mode == RunMode::Batch || mode == RunMode::AllWaterSystems ||
         mode == RunMode::Page || mode == RunMode::GeoJson || mode == RunMode::GeoJsonBatch;
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

std::string geoJsonFileName(const std::string& dataPath) {
  constexpr std::string_view kData = ".xml";
  const bool xml = dataPath.size() >= kData.size() &&
                   strcasecmp(dataPath.c_str() + dataPath.size() - kData.size(), ".xml") == 0;
  return (xml ? dataPath.substr(0, dataPath.size() - kData.size()) : dataPath) + ".geojson";
}

bool selectsAtlas(const std::vector<std::string>& args) {
  return !args.empty() && args[0] == kAtlasOption;
}

int runHydrochart(const std::vector<std::string>& given) {
  Report report(stdout, stderr);
  const RunMode mode = chooseRunMode(given);
  if (mode == RunMode::Help) {
    report.usage();
    return 0;
  }
  if (mode == RunMode::Version) {
    report.version();
    return 0;
  }
  report.banner(static_cast<unsigned>(platform::consoleCodePage()));
  if (mode == RunMode::Usage) {
    report.usage();
    return 1;
  }
  // The modes after "--atlas" read the arguments that follow it.
  PageStyle style;
  style.atlas = selectsAtlas(given);
  const std::vector<std::string> args(given.begin() + (style.atlas ? 1 : 0), given.end());
  if (!readsCodeList(mode)) return runIndexPage(args, report);

  const CodeList list = loadCodeList(report);
  // "ws_codelabel" without a code list names data like any other first argument.
  const RunMode work =
      mode == RunMode::CodeLabel && list.entries.empty() ? chooseDataMode(args) : mode;
  switch (work) {
    case RunMode::CodeLabel:
      return runCodeLabel(args, list, report);
    case RunMode::Batch:
      return runBatch(args[0], BatchOutput::Pages, list, style, report);
    case RunMode::GeoJsonBatch:
      return runBatch(args[1], BatchOutput::GeoJson, list, style, report);
    case RunMode::GeoJson:
      return runGeoJson(args, list, report);
    default:
      return runDataFile(work, args, list, style, report);
  }
}
