#include "hydrochart/allpages.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "hydrochart/drawahead.h"
#include "hydrochart/mappage/pagetext.h"
#include "platform/filenames.h"
#include "platform/files.h"
#include "platform/textconv.h"

namespace {

constexpr std::size_t kCodeArrayStep = 256;

// Label of a water system: from the code list when one was loaded, else the river name of the
// system's main river (code followed by 0001) when a stream of it has a section type above 0.
// None when there is no such entry or stream; an entry or a name that is empty is an empty
// label, not none.
std::optional<std::string> waterSystemLabel(const RiverData& data, const WaterSystemCodeList& list,
                                            std::uint32_t code) {
  if (!list.empty()) {
    const std::string* label = findWaterSystemLabel(list, code);
    if (label == nullptr) return std::nullopt;
    return *label;
  }
  for (const std::int32_t i : streamsOfRiver(data, mainRiverCode(code))) {
    const Stream& stream = data.streams[static_cast<std::size_t>(i)];
    if (stream.sectionType > 0) return std::string(stream.riverName);
  }
  return std::nullopt;
}

std::string sixDigits(std::uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "%06d", static_cast<int>(code));
  return text;
}

// Whether the page file name `name` (in the platform's file-name encoding) is one the platform
// holds as a plain file. It is looked at in characters, since a byte of a double-byte character
// may be the byte of a backslash or of "|".
bool isPlainPageName(const std::string& name) {
  return !platform::kWindowsFileNameRules ||
         platform::isWindowsFileName(platform::nativeToUtf8(name));
}

// How one page came out, and whether the run goes on after it.
enum class PageOutcome {
  Written,
  NotCreated,     // the file cannot be created: passed over
  DrawingFailed,  // the page is left unfinished
  Incomplete,     // the page did not reach the disk whole
  NamesInput,     // the page path names an input of the run: the file is left alone
};

bool endsRun(PageOutcome outcome) {
  return outcome != PageOutcome::Written && outcome != PageOutcome::NotCreated;
}

AllPagesResult::Kind resultKind(PageOutcome outcome) {
  return outcome == PageOutcome::DrawingFailed ? AllPagesResult::Kind::DrawingFailed
                                               : AllPagesResult::Kind::PageNotWritten;
}

// The run's inputs, the data set and the code list, as one page needs them, and its style.
struct PageInputs {
  const RiverData& data;
  const WaterSystemCodeList& list;
  const RunInputs& files;
  const PageStyle& style;
};

// Writes the page of water system `code`, part `part` of `drawer`, into `folder`. `drawing`
// receives why drawing failed.
PageOutcome writeWaterSystemPage(const std::string& folder, const PageInputs& in,
                                 std::uint32_t code, PartsDrawer& drawer, std::size_t part,
                                 Progress& progress, DrawResult& drawing) {
  const std::string digits = sixDigits(code);
  const std::optional<std::string> label = waterSystemLabel(in.data, in.list, code);
  // A "<" in a label (from a crafted data file or code list) must not end the title element.
  std::string title = digits;
  if (label) title.append(" ").append(pagetext::htmlLessThanEscaped(*label));
  // The file name takes the label in the platform's file-name encoding.
  const std::string name =
      digits + "_" + platform::utf8ToNative(label ? *label : "その他") + ".htm";
  const std::string path = folder + platform::kPathSeparator + name;

  const RunInput input = in.files.checkEachPage ? runInputNamedBy(path, in.files) : RunInput::None;
  if (input != RunInput::None) {
    progress.outputIsInput(path, input);
    progress.waterSystemPageNotCreated(code);
    return PageOutcome::NamesInput;
  }
  // A label with a separator would name a file in another folder, a name that Windows cannot
  // hold as a plain file (a stream colon, a "?" that stands for a character the code page
  // lacks) would hide the page there, and an overlong path cannot be made.
  MapPage page;
  if ((label && std::any_of(label->begin(), label->end(), platform::isPathSeparator)) ||
      !isPlainPageName(name) || path.size() > platform::kMaxPathLength ||
      !openStyledPage(page, in.style, path, title)) {
    progress.waterSystemPageNotCreated(code);
    return PageOutcome::NotCreated;
  }
  progress.waterSystemPageStarted(code);
  std::int32_t colorIndex = 0;
  drawing = drawer.draw(part, page, colorIndex);
  if (!drawing.drawn()) return PageOutcome::DrawingFailed;
  if (!closeStyledPage(page, in.style)) {
    progress.waterSystemPageNotCreated(code);
    return PageOutcome::Incomplete;
  }
  progress.waterSystemPageWritten(page.pathCount);
  return PageOutcome::Written;
}

}  // namespace

RunInputs identifyRunInputs(const std::string& dataPath, const std::string& codeListPath) {
  RunInputs inputs;
  inputs.dataFile = platform::fileIdentity(dataPath);
  if (!codeListPath.empty()) inputs.codeList = platform::fileIdentity(codeListPath);
  return inputs;
}

namespace {

// The input of the run that the existing file `file` is, if any.
RunInput inputOf(const platform::FileIdentity& file, const RunInputs& inputs) {
  if (file == inputs.dataFile) return RunInput::DataFile;
  if (file == inputs.codeList) return RunInput::CodeList;
  return RunInput::None;
}

}  // namespace

void checkFolderOfPages(const std::string& folder, std::size_t pages, RunInputs& inputs) {
  const std::vector<platform::DirectoryEntry> entries =
      platform::findFiles(folder + platform::kPathSeparator + "*");
  if (entries.size() > pages) return;
  for (const platform::DirectoryEntry& entry : entries) {
    const platform::FileIdentity file =
        platform::fileIdentity(folder + platform::kPathSeparator + entry.name);
    if (!file.exists || inputOf(file, inputs) != RunInput::None) return;
  }
  inputs.checkEachPage = false;
}

RunInput runInputNamedBy(const std::string& path, const RunInputs& inputs) {
  const platform::FileIdentity output = platform::fileIdentity(path);
  if (!output.exists) return RunInput::None;  // a new file cannot be an input
  return inputOf(output, inputs);
}

AllPagesResult writeAllWaterSystemPages(const std::string& dataPath, RiverData& data,
                                        const WaterSystemCodeList& list, Progress& progress,
                                        const std::string& codeListPath,
                                        const DrawOptions& options) {
  AllPagesResult result;
  std::vector<std::uint32_t> waterSystemCodeList;
  try {
    waterSystemCodeList = collectWaterSystemCodes(data);
  } catch (const std::bad_alloc&) {
    // The capacity that would have held every code, in steps as the array grows.
    const std::size_t systems = data.index.streamsByWaterSystem.size();
    result.kind = AllPagesResult::Kind::CodeArrayNotAllocated;
    result.codeArrayCapacity =
        std::max<std::size_t>(1, (systems + kCodeArrayStep - 1) / kCodeArrayStep) * kCodeArrayStep;
    return result;
  }

  const std::size_t extension = dataPath.find(".xml");
  if (extension != std::string::npos) {
    const std::string folder = dataPath.substr(0, extension) + "_html";
    // An existing folder is used again; one that cannot be made shows as pages that fail.
    platform::makeDirectory(folder);
    RunInputs files = identifyRunInputs(dataPath, codeListPath);
    checkFolderOfPages(folder, waterSystemCodeList.size(), files);
    // The code list that names the pages also names the water systems of atlas pages.
    DrawOptions drawing = options;
    drawing.style.codeList = &list;
    const PageInputs inputs{data, list, files, drawing.style};
    // Each page is one water system in automatic colours; the next pages are drawn ahead while
    // one is written.
    std::vector<DrawPart> parts(waterSystemCodeList.size());
    for (std::size_t i = 0; i < parts.size(); ++i) {
      parts[i].code = waterSystemCodeList[i];
      parts[i].freshPage = true;
    }
    PartsDrawer drawer(data, std::move(parts), drawing);
    for (std::size_t i = 0; i < waterSystemCodeList.size(); ++i) {
      const PageOutcome outcome = writeWaterSystemPage(folder, inputs, waterSystemCodeList[i],
                                                       drawer, i, progress, result.drawing);
      result.partsDrawnAhead = drawer.partsDrawnAhead();
      if (endsRun(outcome)) {
        result.kind = resultKind(outcome);
        return result;
      }
    }
  }
  releaseRiverData(data);
  return result;
}
