// The colours of rivers on a map page: six hues that darken turn by turn.
#pragma once

#include <cstdint>

// A colour 0xRRGGBB, written into pages as "#%06lx".
using Color = std::uint32_t;

// Darkening per turn of the six hues for a single river and for water systems of fewer than
// kSlowDarkeningRivers rivers.
constexpr double kColorDarkening = 0.75;

// Share of a full turn (0 or 1, or the ramp between) that a hue angle gives a channel.
double hueChannel(double angle);
Color hsvToRgb(double hue, double saturation, double value);
// The automatic colour number `index`: hue index % 6, darkened by `factor` index / 6 times.
Color colorFromIndex(std::int32_t index, double factor);
