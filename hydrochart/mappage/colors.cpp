#include "hydrochart/mappage/colors.h"

#include <cmath>
#include <cstdint>
#include <mutex>
#include <vector>

namespace {

// Six hues that cycle with the colour index; green and cyan are dimmed to look as bright as the
// rest.
constexpr std::int32_t kHueCount = 6;
constexpr double kPaletteHue[kHueCount] = {0, 240, 120, 300, 270, 180};
constexpr double kPaletteValue[kHueCount] = {1.0, 1.0, 0.812, 1.0, 1.0, 0.812};

// Low byte of a channel level truncated toward zero; levels outside any integer range give 0.
std::uint32_t channelByte(double level) {
  if (!(std::fabs(level) < 9.0e18)) return 0;
  return static_cast<std::uint32_t>(static_cast<std::int64_t>(level) & 0xff);
}

}  // namespace

double hueChannel(double angle) {
  // Far outside one turn, repeated steps of 360 would no longer change the value.
  if (!(std::fabs(angle) < 1.0e6)) angle = std::fmod(angle, 360.0);
  while (angle < 0) angle += 360;
  while (angle >= 360) angle -= 360;
  if (angle >= 0 && angle < 120) return 0;
  if (angle >= 120 && angle < 180) return (angle - 120) / 60;
  if (angle >= 300 && angle < 360) return 1 - (angle - 300) / 60;
  return 1;
}

Color hsvToRgb(double hue, double saturation, double value) {
  const auto level = [saturation, value](double angle) {
    const double f = hueChannel(angle);
    return channelByte((255 * value) * ((1 - f) * (1 - saturation) + f));
  };
  const std::uint32_t red = level(hue + 240);
  const std::uint32_t green = level(hue + 120);
  const std::uint32_t blue = level(hue);
  return (red << 16) + (green << 8) + blue;
}

namespace {

// The palette value multiplied by `factor` `turns` times, one multiplication after the other.
// A page of every water system reaches indexes in the tens of thousands, so the running
// products are kept per start value and factor, and a product that has reached zero stays zero.
// Pages are drawn by two threads, which share the products under a lock (a per-thread cache
// would need destroying at each thread's end, which the Windows runtime does not do safely).
double darkenedValue(double start, double factor, std::int32_t turns) {
  struct Products {
    double start;
    double factor;
    std::vector<double> values;  // values[t] = start * factor * ... (t multiplications)
  };
  static std::mutex cacheLock;
  static std::vector<Products> cache;
  const std::lock_guard<std::mutex> lock(cacheLock);
  Products* products = nullptr;
  for (auto& entry : cache) {
    if (entry.start == start && entry.factor == factor) products = &entry;
  }
  if (products == nullptr) {
    if (cache.size() >= 16) cache.clear();
    products = &cache.emplace_back(Products{start, factor, {start}});
  }
  auto& values = products->values;
  while (static_cast<std::int32_t>(values.size()) <= turns && values.back() != 0.0) {
    values.push_back(values.back() * factor);
  }
  return static_cast<std::int32_t>(values.size()) > turns ? values[turns] : 0.0;
}

}  // namespace

Color colorFromIndex(std::int32_t index, double factor) {
  if (index < 0) index = 0;
  const std::int32_t k = index % kHueCount;
  const std::int32_t turns = index / kHueCount;
  return hsvToRgb(kPaletteHue[k], 1.0, darkenedValue(kPaletteValue[k], factor, turns));
}
