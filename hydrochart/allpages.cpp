#include "hydrochart/allpages.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "hydrochart/mappage/mappage.h"
#include "hydrochart/mappage/pagetext.h"
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
  const std::uint64_t mainRiver = std::uint64_t{code} * 10000 + 1;
  for (const std::int32_t i : streamsOfRiver(data, mainRiver)) {
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

// Writes one page. 0 when written; 1 when the page file cannot be created (message printed,
// the run goes on); 2 when drawing failed (the page is left unfinished); 3 when the page could
// not be written completely (message printed); 4 when the page path names an input of the run
// (message printed, the file untouched).
int writeWaterSystemPage(const std::string& folder, const RiverData& data,
                         const WaterSystemCodeList& list, std::uint32_t code,
                         const std::string& dataPath, const std::string& codeListPath) {
  const std::string digits = sixDigits(code);
  const std::optional<std::string> label = waterSystemLabel(data, list, code);
  // A "<" in a label (from a crafted data file or code list) must not end the title element.
  std::string title = digits;
  if (label) title.append(" ").append(pagetext::htmlLessThanEscaped(*label));
  // The file name takes the label in the platform's file-name encoding.
  const std::string path = folder + platform::kPathSeparator + digits + "_" +
                           platform::utf8ToNative(label ? *label : "その他") + ".htm";

  if (namesRunInput(path, dataPath, codeListPath)) {
    std::printf("** Error: html file could not created. %s\n", digits.c_str());
    return 4;
  }
  // A label with a separator would name a file in another folder, and an overlong path cannot
  // be made.
  MapPage page;
  if ((label && std::any_of(label->begin(), label->end(), platform::isPathSeparator)) ||
      path.size() > platform::kMaxPathLength ||
      !openMapPage(page, path, title)) {
    std::printf("** Error: html file could not created. %s\n", digits.c_str());
    return 1;
  }
  std::fputs(digits.c_str(), stdout);
  std::int32_t colorIndex = 0;
  if (drawWaterSystem(page, data, code, 0, true, colorIndex) != 0) return 2;
  if (closeMapPage(page) != 0) {
    std::printf("** Error: html file could not created. %s\n", digits.c_str());
    return 3;
  }
  std::printf("(%d) ", page.pathCount);
  return 0;
}

}  // namespace

bool namesRunInput(const std::string& path, const std::string& dataPath,
                   const std::string& codeListPath) {
  const char* input = platform::sameFile(path, dataPath) ? "data file"
                      : !codeListPath.empty() && platform::sameFile(path, codeListPath)
                          ? "code list"
                          : nullptr;
  if (input == nullptr) return false;
  std::fflush(stdout);
  std::fprintf(stderr, "hydrochart: \"%s\" is the %s being read; it is not overwritten\n",
               path.c_str(), input);
  return true;
}

int writeAllWaterSystemPages(const std::string& dataPath, RiverData& data,
                             const WaterSystemCodeList& list, const std::string& codeListPath) {
  std::vector<std::uint32_t> waterSystemCodeList;
  try {
    waterSystemCodeList = collectWaterSystemCodes(data);
  } catch (const std::bad_alloc&) {
    // The capacity that would have held every code, in steps of 256 as the array grows.
    const std::size_t systems = data.index.streamsByWaterSystem.size();
    const std::size_t capacity =
        std::max<std::size_t>(1, (systems + kCodeArrayStep - 1) / kCodeArrayStep) * kCodeArrayStep;
    std::printf("** Error: malloc waterSystemCodeList %d\n", static_cast<int>(capacity));
    return 1;
  }

  const std::size_t extension = dataPath.find(".xml");
  if (extension != std::string::npos) {
    const std::string folder = dataPath.substr(0, extension) + "_html";
    // An existing folder is used again; one that cannot be made shows as pages that fail.
    platform::makeDirectory(folder);
    for (const std::uint32_t code : waterSystemCodeList) {
      const int result = writeWaterSystemPage(folder, data, list, code, dataPath, codeListPath);
      if (result >= 2) return result;
    }
  }
  releaseRiverData(data);
  return 0;
}
