// Lengths on the GRS80 ellipsoid, for the stream lengths shown in popups.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "hydrochart/riverdata/riverdata.h"

std::pair<double, double> kmPerDegreeAt(double latitude);  // (km per degree of lat, of lon)
// Length in km of the line through pointList[first..last].
double curveLength(const std::vector<LatLon>& pointList, std::int32_t first, std::int32_t last);
