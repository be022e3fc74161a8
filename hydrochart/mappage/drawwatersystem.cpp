#include <algorithm>
#include <cmath>
#include <new>

#include "hydrochart/mappage/drawing.h"

namespace {

template <typename Code>
void sortDistinct(std::vector<Code>& codes) {
  std::sort(codes.begin(), codes.end());
  codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
}

}  // namespace

std::vector<std::uint32_t> collectWaterSystemCodes(const RiverData& data) {
  std::vector<std::uint32_t> codes;
  codes.reserve(data.streams.size());
  for (const Stream& stream : data.streams) codes.push_back(stream.waterSystemCode);
  sortDistinct(codes);
  return codes;
}

std::vector<std::uint64_t> collectRiverCodes(const RiverData& data, std::uint32_t waterSystemCode) {
  std::vector<std::uint64_t> codes;
  const std::vector<std::int32_t>& streams = streamsOfWaterSystem(data, waterSystemCode);
  codes.reserve(streams.size());
  for (const std::int32_t streamIndex : streams)
    codes.push_back(data.streams[streamIndex].riverCode);
  sortDistinct(codes);
  // A smallest code that ends in 0000 is drawn after all the other rivers of the system.
  if (codes.size() > 1 && codes.front() % kRiverNumbersPerSystem == 0) {
    std::rotate(codes.begin(), codes.begin() + 1, codes.end());
  }
  return codes;
}

namespace {

// Darkening per turn of the automatic colours of a water system of `riverCount` rivers.
double darkeningFactor(std::size_t riverCount) {
  // Large systems darken more slowly, so that their last rivers stay above 0.3 of full value
  // (the colour index turns through six hues, darkening once per turn).
  return riverCount < kSlowDarkeningRivers ? kColorDarkening
                                           : std::pow(0.3, 6.0 / static_cast<double>(riverCount));
}

}  // namespace

std::vector<PlannedRiver> planRivers(const RiverData& data, const DrawPart& part,
                                     std::int32_t colorIndex) {
  if (part.river) {
    const Color color = part.automatic ? colorFromIndex(colorIndex, kColorDarkening) : part.color;
    return {{part.code, color}};
  }
  const std::vector<std::uint64_t> riverCodeList =
      collectRiverCodes(data, static_cast<std::uint32_t>(part.code));
  const double factor = darkeningFactor(riverCodeList.size());
  std::vector<PlannedRiver> rivers;
  rivers.reserve(riverCodeList.size());
  for (const std::uint64_t riverCode : riverCodeList) {
    rivers.push_back({riverCode, part.automatic ? colorFromIndex(colorIndex, factor) : part.color});
    ++colorIndex;
  }
  return rivers;
}

PartPlan planPart(const RiverData& data, const DrawPart& part, std::int32_t colorIndex) {
  PartPlan plan;
  plan.rivers = planRivers(data, part, colorIndex);
  for (const PlannedRiver& river : plan.rivers) {
    const RiverOutlook outlook = lookAtRiver(data, river.riverCode);
    plan.streams += outlook.streams;
    plan.textBytes += outlook.textBytes;
    if (!outlook.resolves) {
      plan.resolves = false;
      break;
    }
  }
  return plan;
}

DrawResult drawPlannedRivers(MapPage& page, const RiverData& data,
                             const std::vector<PlannedRiver>& rivers, std::int32_t& colorIndex) {
  for (const PlannedRiver& river : rivers) {
    DrawResult result = drawRiver(page, data, river.riverCode, river.color);
    if (!result.drawn()) return result;
    ++colorIndex;
  }
  return {};
}

DrawResult planPartRivers(const RiverData& data, const DrawPart& part, std::int32_t colorIndex,
                          std::vector<PlannedRiver>& rivers) {
  try {
    rivers = planRivers(data, part, colorIndex);
  } catch (const std::bad_alloc&) {
    DrawResult result;
    result.kind = DrawResult::Kind::RiverListNotAllocated;
    return result;
  }
  return {};
}

DrawResult drawPart(MapPage& page, const RiverData& data, const DrawPart& part,
                    std::int32_t& colorIndex) {
  std::vector<PlannedRiver> rivers;
  const DrawResult planned = planPartRivers(data, part, colorIndex, rivers);
  if (!planned.drawn()) return planned;
  return drawPlannedRivers(page, data, rivers, colorIndex);
}

DrawResult drawWaterSystem(MapPage& page, const RiverData& data, std::uint32_t waterSystemCode,
                           Color color, bool automatic, std::int32_t& colorIndex) {
  DrawPart part;
  part.code = waterSystemCode;
  part.color = color;
  part.automatic = automatic;
  return drawPart(page, data, part, colorIndex);
}
