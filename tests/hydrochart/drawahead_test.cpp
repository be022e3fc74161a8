// Drawing parts with a second thread ahead gives the pages, state and results of drawing them
// one after the other.
#include "hydrochart/drawahead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/mappage/testsupport.h"

namespace {

// Water systems 1..9 with a few rivers each, every stream with nodes; system 7 has a stream
// whose end node does not resolve, and river 50001 (a river of system 5) one whose Curve is
// missing.
RiverData& sampleData(DataBuilder& b) {
  int curveId = 0;
  int node = 0;
  for (std::uint32_t ws = 1; ws <= 9; ++ws) {
    for (int river = 1; river <= static_cast<int>(ws % 4) + 1; ++river) {
      for (int s = 0; s < 3; ++s) {
        ++curveId;
        const double lat = 30.0 + ws + river * 0.1 + s * 0.01;
        b.addCurve(curveId, {{lat, 130.0 + s}, {lat + 0.005, 130.5 + s}, {lat - 0.5, 129.0}});
        b.addPoint(++node, lat, 130.0 + s);
        const std::string name = std::to_string(node);
        b.addNode(name, node);
        Stream& stream = b.addStream(ws, std::uint64_t{ws} * 10000 + river, curveId, "川");
        stream.startStreamNode = nodeId(name);
        stream.endStreamNode = nodeId(name);
        stream.startRiverNode = nodeId(name);
      }
    }
  }
  b.data.streams[b.data.streams.size() - 8].endStreamNode = nodeId("gone");  // in system 8
  b.addStream(5, 50001, 9999, "no curve");
  return b.finish();
}

struct Drawn {
  std::string text;
  DrawResult failure;  // the result of the failing part
  std::int32_t pathCount = 0;
  std::int32_t colorIndex = 0;
  MapBounds bounds{};
  std::size_t failedAt = 0;  // parts drawn before the first failure (all when none)
};

// Draws the parts onto memory pages (a new page at each fresh part), stopping at a failure.
template <typename DrawOne>
Drawn drawAll(const std::vector<DrawPart>& parts, DrawOne drawOne) {
  Drawn drawn;
  MapPage page;
  startPageInMemory(page);
  drawn.failedAt = parts.size();
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (parts[i].freshPage) {
      drawn.text += page.output.pending() + "|";
      startPageInMemory(page);
      drawn.colorIndex = 0;
    }
    DrawResult result = drawOne(i, page, drawn.colorIndex);
    if (!result.drawn()) {
      drawn.failure = std::move(result);
      drawn.failedAt = i;
      break;
    }
  }
  drawn.text += page.output.pending();
  drawn.pathCount = page.pathCount;
  drawn.bounds = page.mapBounds;
  return drawn;
}

void expectSameDrawing(const RiverData& data, const std::vector<DrawPart>& parts) {
  const Drawn inTurn = drawAll(parts, [&](std::size_t i, MapPage& page, std::int32_t& colorIndex) {
    return drawPart(page, data, parts[i], colorIndex);
  });
  // Several rounds, as the threads meet at different points each time; in every other round
  // this thread is slow, so that the second thread draws every part it may ahead.
  for (int round = 0; round < 20; ++round) {
    PartsDrawer drawer(data, parts);
    const Drawn ahead = drawAll(parts, [&](std::size_t i, MapPage& page, std::int32_t& colorIndex) {
      if (round % 2 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return drawer.draw(i, page, colorIndex);
    });
    ASSERT_EQ(ahead.text, inTurn.text) << "round " << round;
    EXPECT_EQ(ahead.failure.kind, inTurn.failure.kind);
    EXPECT_EQ(ahead.failure.curveId, inTurn.failure.curveId);
    EXPECT_EQ(ahead.failure.nodeIds, inTurn.failure.nodeIds);
    EXPECT_EQ(ahead.failedAt, inTurn.failedAt);
    EXPECT_EQ(ahead.pathCount, inTurn.pathCount);
    EXPECT_EQ(ahead.colorIndex, inTurn.colorIndex);
    EXPECT_EQ(ahead.bounds.minLat, inTurn.bounds.minLat);
    EXPECT_EQ(ahead.bounds.maxLat, inTurn.bounds.maxLat);
    EXPECT_EQ(ahead.bounds.minLon, inTurn.bounds.minLon);
    EXPECT_EQ(ahead.bounds.maxLon, inTurn.bounds.maxLon);
  }
}

DrawPart system(std::uint32_t code, bool freshPage = false) {
  DrawPart part;
  part.code = code;
  part.freshPage = freshPage;
  return part;
}

DrawPart river(std::uint64_t code, bool automatic = true, Color color = 0) {
  DrawPart part;
  part.river = true;
  part.code = code;
  part.automatic = automatic;
  part.color = color;
  return part;
}

TEST(PartsDrawerTest, OnePageOfManyPartsIsDrawnAsInTurn) {
  DataBuilder b;
  const RiverData& data = sampleData(b);
  std::vector<DrawPart> parts = {system(1),  river(20001), system(3), river(40002, false, 0x123456),
                                 system(2),  system(4),    system(6), system(9),
                                 system(77), river(10001), system(1), system(6)};
  expectSameDrawing(data, parts);
  // A failing part ends the drawing, wherever it comes.
  parts.insert(parts.begin() + 7, system(8));
  expectSameDrawing(data, parts);
  parts.insert(parts.begin() + 2, river(50001));
  expectSameDrawing(data, parts);
}

TEST(PartsDrawerTest, PagesOfOneWaterSystemEachAreDrawnAsInTurn) {
  DataBuilder b;
  const RiverData& data = sampleData(b);
  std::vector<DrawPart> parts;
  for (std::uint32_t ws = 1; ws <= 9; ++ws) {
    if (ws != 8) parts.push_back(system(ws, true));
  }
  expectSameDrawing(data, parts);
  parts.push_back(system(8, true));
  expectSameDrawing(data, parts);
  // Parts that are passed over (pages that could not be created) are no hindrance.
  PartsDrawer drawer(data, parts);
  MapPage page;
  startPageInMemory(page);
  std::int32_t colorIndex = 0;
  EXPECT_TRUE(drawer.draw(5, page, colorIndex).drawn());
  std::int32_t expectedIndex = 0;
  MapPage expected;
  startPageInMemory(expected);
  EXPECT_TRUE(drawPart(expected, data, parts[5], expectedIndex).drawn());
  EXPECT_EQ(page.output.pending(), expected.output.pending());
  EXPECT_EQ(colorIndex, expectedIndex);
}

TEST(PartsDrawerTest, LargePartsAmongSmallOnes) {
  // Water system 20's text is too large to be held in memory ahead: it is drawn in turn, and
  // the small parts around it still ahead.
  DataBuilder b;
  sampleData(b);
  std::vector<LatLon> many;
  for (int i = 0; i < 120000; ++i) many.push_back({35.0 + i * 1e-6, 139.0 - i * 1e-6});
  b.addCurve(5000, many);
  b.addStream(20, 200001, 5000, "大河");
  const RiverData& data = b.finish();
  std::vector<DrawPart> parts;
  for (const std::uint32_t ws : {1u, 2u, 20u, 3u, 4u, 20u, 20u, 6u, 9u})
    parts.push_back(system(ws));
  expectSameDrawing(data, parts);
}

TEST(PartsDrawerTest, PartDrawnAheadFromAnotherStateIsDrawnAgain) {
  DataBuilder b;
  const RiverData& data = sampleData(b);
  const std::vector<DrawPart> parts = {system(1), system(2), system(3), system(4), system(6)};
  // Drawing goes from the first straight to the fifth: the second thread drew the fifth for a
  // page that had the three before it.
  PartsDrawer drawer(data, parts);
  MapPage page;
  startPageInMemory(page);
  std::int32_t colorIndex = 0;
  EXPECT_TRUE(drawer.draw(0, page, colorIndex).drawn());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(drawer.draw(4, page, colorIndex).drawn());
  MapPage expected;
  startPageInMemory(expected);
  std::int32_t expectedIndex = 0;
  EXPECT_TRUE(drawPart(expected, data, parts[0], expectedIndex).drawn());
  EXPECT_TRUE(drawPart(expected, data, parts[4], expectedIndex).drawn());
  EXPECT_EQ(page.output.pending(), expected.output.pending());
  EXPECT_EQ(page.pathCount, expected.pathCount);
  EXPECT_EQ(colorIndex, expectedIndex);
}

}  // namespace
