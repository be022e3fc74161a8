// Hand-made river data sets and file helpers for the map page tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "hydrochart/mappage/drawing.h"
#include "hydrochart/mappage/geometry.h"
#include "hydrochart/mappage/mappage.h"
#include "hydrochart/riverdata/riverdata.h"
#include "tests/support/files.h"
#include "tests/support/tempfolder.h"

inline NodeIdText nodeId(std::string_view text) {
  NodeIdText id{};
  std::memcpy(id.data(), text.data(), std::min(text.size(), id.size()));
  return id;
}

// Builds a RiverData record by record, in file order.
struct DataBuilder {
  RiverData data;

  // Appends a Curve over new pointList positions and returns its index in `curves`.
  std::int32_t addCurve(std::int32_t id, const std::vector<LatLon>& positions) {
    const auto first = static_cast<std::int32_t>(data.pointList.size());
    data.pointList.insert(data.pointList.end(), positions.begin(), positions.end());
    data.curves.push_back({first, first + static_cast<std::int32_t>(positions.size()) - 1, id});
    return static_cast<std::int32_t>(data.curves.size()) - 1;
  }
  void addPoint(std::int32_t id, double lat, double lon) { data.points.push_back({lat, lon, id}); }
  void addNode(std::string_view id, std::int32_t position) {
    data.riverNodes.push_back({position, nodeId(id)});
  }
  Stream& addStream(std::uint32_t waterSystemCode, std::uint64_t riverCode, std::int32_t location,
                    std::string_view name = "") {
    Stream stream;
    stream.waterSystemCode = waterSystemCode;
    stream.riverCode = riverCode;
    stream.location = location;
    std::memcpy(stream.riverName, name.data(), std::min(name.size(), sizeof stream.riverName - 1));
    data.streams.push_back(stream);
    return data.streams.back();
  }
  RiverData& finish() {
    buildRiverDataIndex(data);
    return data;
  }
};

// A page that collects its text in memory only: the tests read `pending` afterwards.
inline void startMemoryPage(MapPage& page) {
  page.output.openInMemory();
  page.pathCount = 0;
  page.mapBounds = MapBounds{1e300, -1e300, 1e300, -1e300};
}

inline std::string testDataPath(const std::string& name) {
  return sourcePath("tests/mappage/data/" + name);
}
