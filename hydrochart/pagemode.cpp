#include "hydrochart/pagemode.h"

#include "hydrochart/mappage/mappage.h"

void warnIfNothingMatches(const std::string& argument, const DrawPart& part, const RiverData& data,
                          const std::string& dataPath, Progress& progress) {
  const bool found =
      part.river ? !streamsOfRiver(data, part.code).empty()
                 : !streamsOfWaterSystem(data, static_cast<std::uint32_t>(part.code)).empty();
  if (!found) progress.codeMatchesNothing(argument, part.river, part.code, dataPath);
}

CodePageResult writeCodePage(const CodePage& request, const RiverData& data, Progress& progress,
                             const DrawOptions& options) {
  CodePageResult result;
  MapPage page;
  if (!openStyledPage(page, options.style, request.path, request.title)) {
    result.kind = CodePageResult::Kind::NotCreated;
    return result;
  }
  // The drawer's thread is done with the data set when the drawer goes.
  PartsDrawer drawer(data, request.parts, options);
  std::int32_t colorIndex = 0;
  for (std::size_t i = 0; i < request.parts.size() && result.drawing.drawn(); ++i) {
    warnIfNothingMatches(request.arguments[i], request.parts[i], data, request.dataPath, progress);
    result.drawing = drawer.draw(i, page, colorIndex);
  }
  result.partsDrawnAhead = drawer.partsDrawnAhead();
  result.pathCount = page.pathCount;
  if (!result.drawing.drawn()) {
    result.kind = CodePageResult::Kind::DrawingFailed;
  } else if (!closeStyledPage(page, options.style)) {
    result.kind = CodePageResult::Kind::NotWritten;
  }
  return result;
}
