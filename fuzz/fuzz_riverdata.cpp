// Loads arbitrary bytes as a river data file, then draws every water system it holds.

#include "fuzz/fuzz_input.h"
#include "hydrochart/mappage/drawing.h"
#include "hydrochart/riverdata/riverdata.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInputFile input(data, size, ".xml");
  RiverData riverData;
  if (loadRiverData(input.path(), riverData) != LoadStatus::Loaded) return 0;
  MapPage page;
  if (!openMapPage(page, "/dev/null", "fuzz")) return 0;
  std::int32_t colorIndex = 0;
  for (const std::uint32_t code : collectWaterSystemCodes(riverData)) {
    if (!drawWaterSystem(page, riverData, code, 0, true, colorIndex).drawn()) break;
  }
  static_cast<void>(closeMapPage(page));
  releaseRiverData(riverData);
  return 0;
}
