#include <gtest/gtest.h>

#include "tests/mappage/testsupport.h"

namespace {

// A water system of `rivers` rivers with codes ws * 10000 + 1, + 2, ..., one stream each.
void addSystem(DataBuilder& b, std::uint32_t ws, int rivers) {
  for (int i = 1; i <= rivers; ++i) {
    const auto curveId = static_cast<std::int32_t>(b.data.curves.size()) + 1;
    b.addCurve(curveId, {{35.0 + i * 0.001, 139.0}});
    b.addStream(ws, std::uint64_t{ws} * 10000 + i, curveId, "r");
  }
}

// The colour of the polyline of path number `n`, as written on the page.
std::string pathColor(const std::string& text, int n) {
  char name[32];
  std::snprintf(name, sizeof name, "var myPath%04d=", n);
  const std::size_t at = text.find(name);
  if (at == std::string::npos) return "(no path)";
  const std::size_t color = text.find("{color:'#", at);
  return text.substr(color + 9, 6);
}

TEST(WaterSystemTest, CodesAreDistinctAndOrdered) {
  DataBuilder b;
  for (const std::uint64_t code : {1234560002u, 1234560000u, 1234560001u, 1234560002u})
    b.addStream(123456, code, 1);
  b.addStream(4000000000u, 1, 1);  // above the signed range: still sorted as unsigned
  b.addStream(5, 50001, 1);
  b.addStream(5, 50000, 1);  // a single river of a system whose code ends in 0000 ...
  b.addStream(7, 70000, 1);  // ... alone, it stays where it is
  b.addStream(8, 80003, 1);
  b.addStream(8, 90000, 1);  // a code ending in 0000 that is not the smallest stays in place
  b.addStream(8, 80001, 1);
  b.addStream(123456, 1234560001u, 1);  // apart from its river's first stream
  const RiverData& data = b.finish();

  EXPECT_EQ(collectWaterSystemCodes(data),
            (std::vector<std::uint32_t>{5, 7, 8, 123456, 4000000000u}));
  EXPECT_EQ(collectRiverCodes(data, 123456),
            (std::vector<std::uint64_t>{1234560001, 1234560002, 1234560000}));
  EXPECT_EQ(collectRiverCodes(data, 5), (std::vector<std::uint64_t>{50001, 50000}));
  EXPECT_EQ(collectRiverCodes(data, 7), (std::vector<std::uint64_t>{70000}));
  EXPECT_EQ(collectRiverCodes(data, 8), (std::vector<std::uint64_t>{80001, 80003, 90000}));
  EXPECT_TRUE(collectRiverCodes(data, 9).empty());
  EXPECT_TRUE(collectWaterSystemCodes(RiverData{}).empty());
}

TEST(WaterSystemTest, AutomaticColoursDarkenBySystemSize) {
  DataBuilder b;
  addSystem(b, 63, 63);
  addSystem(b, 64, 64);
  const RiverData& data = b.finish();

  MapPage page;
  startMemoryPage(page);
  std::int32_t colorIndex = 0;
  EXPECT_TRUE(drawWaterSystem(page, data, 63, 0, true, colorIndex).drawn());
  EXPECT_EQ(colorIndex, 63);
  EXPECT_EQ(page.pathCount, 63);
  EXPECT_EQ(pathColor(page.output.pending(), 1), "ff0000");
  EXPECT_EQ(pathColor(page.output.pending(), 7), "bf0000");  // 0.75
  EXPECT_EQ(pathColor(page.output.pending(), 13), "8f0000");

  startMemoryPage(page);
  colorIndex = 0;
  EXPECT_TRUE(drawWaterSystem(page, data, 64, 0, true, colorIndex).drawn());
  EXPECT_EQ(colorIndex, 64);
  EXPECT_EQ(pathColor(page.output.pending(), 1), "ff0000");
  EXPECT_EQ(pathColor(page.output.pending(), 7), "e30000");   // 0.3^(6/64)
  EXPECT_EQ(pathColor(page.output.pending(), 64), "520052");  // colour index 63
  // Rivers are drawn in code order: path 2 is river 0002.
  EXPECT_NE(page.output.pending().find("河川コード:640002<br>"), std::string::npos);
  EXPECT_LT(page.output.pending().find("var myPath0002="),
            page.output.pending().find("河川コード:640002<br>"));
}

TEST(WaterSystemTest, GivenColourStillAdvancesTheIndex) {
  DataBuilder b;
  addSystem(b, 1, 3);
  addSystem(b, 2, 2);
  const RiverData& data = b.finish();

  MapPage page;
  startMemoryPage(page);
  std::int32_t colorIndex = 2;
  EXPECT_TRUE(drawWaterSystem(page, data, 1, 0x123456, false, colorIndex).drawn());
  EXPECT_EQ(colorIndex, 5);
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(pathColor(page.output.pending(), n), "123456");
  EXPECT_TRUE(drawWaterSystem(page, data, 2, 0x123456, true, colorIndex).drawn());
  EXPECT_EQ(colorIndex, 7);
  EXPECT_EQ(pathColor(page.output.pending(), 4), "00cfcf");  // index 5
  EXPECT_EQ(pathColor(page.output.pending(), 5), "bf0000");  // index 6

  // A system without rivers draws nothing and keeps the index.
  const std::string before = page.output.pending();
  EXPECT_TRUE(drawWaterSystem(page, data, 3, 0, true, colorIndex).drawn());
  EXPECT_EQ(colorIndex, 7);
  EXPECT_EQ(page.output.pending(), before);
  EXPECT_EQ(page.pathCount, 5);
}

TEST(WaterSystemTest, LargeSystemsAndFailures) {
  DataBuilder b;
  addSystem(b, 9, 300);
  addSystem(b, 4, 3);
  b.data.streams.back().location = 999999;  // its last river names no Curve
  const RiverData& data = b.finish();

  MapPage page;
  startMemoryPage(page);
  std::int32_t colorIndex = 0;
  EXPECT_TRUE(drawWaterSystem(page, data, 9, 0, true, colorIndex).drawn());
  EXPECT_EQ(colorIndex, 300);
  EXPECT_EQ(page.pathCount, 300);
  EXPECT_NE(page.output.pending().find("河川コード:90300<br>"), std::string::npos);
  EXPECT_EQ(collectRiverCodes(data, 9).size(), 300u);

  startMemoryPage(page);
  colorIndex = 10;
  const DrawResult result = drawWaterSystem(page, data, 4, 0, true, colorIndex);
  EXPECT_EQ(result.kind, DrawResult::Kind::CurveNotFound);
  EXPECT_EQ(result.curveId, 999999);
  EXPECT_EQ(colorIndex, 12);  // not raised for the failed river
  EXPECT_EQ(page.pathCount, 3);
}

// The plan of a part tells what drawing it does: its rivers in page order with the colours they
// are drawn in, the streams it adds and whether it draws without a failure.
TEST(WaterSystemTest, PlanOfAPartIsWhatDrawingItDoes) {
  DataBuilder b;
  addSystem(b, 9, 70);  // darkens slowly
  addSystem(b, 4, 3);
  b.addStream(4, 40000, 1, "r");  // drawn last
  b.addStream(4, 40002, 1, "r");  // a second stream of river 40002
  addSystem(b, 6, 4);
  b.data.streams.back().location = 999999;  // its last river names no Curve
  const RiverData& data = b.finish();

  DrawPart river;
  river.river = true;
  river.code = 40002;
  DrawPart given = river;
  given.automatic = false;
  given.color = 0xabcdef;
  DrawPart system9;
  system9.code = 9;
  DrawPart system4;
  system4.code = 4;
  DrawPart system6;
  system6.code = 6;
  DrawPart nothing;
  nothing.code = 5;
  for (const DrawPart& part : {river, given, system9, system4, system6, nothing}) {
    for (const std::int32_t start : {0, 5, 400}) {
      SCOPED_TRACE(std::to_string(part.code) + " from colour " + std::to_string(start));
      const PartPlan plan = planPart(data, part, start);
      MapPage page;
      startMemoryPage(page);
      std::int32_t colorIndex = start;
      const bool drawn = drawPart(page, data, part, colorIndex).drawn();
      EXPECT_EQ(plan.resolves, drawn);
      if (!drawn) continue;
      EXPECT_EQ(plan.streams, page.pathCount);
      EXPECT_EQ(colorIndex, start + static_cast<std::int32_t>(plan.rivers.size()));
      EXPECT_GE(plan.textBytes, page.output.pending().size());
      // Each river's streams are drawn in its planned colour, in the planned order.
      int path = 0;
      for (const PlannedRiver& planned : plan.rivers) {
        char color[8];
        std::snprintf(color, sizeof color, "%06x", static_cast<unsigned>(planned.color));
        for (std::size_t s = 0; s < streamsOfRiver(data, planned.riverCode).size(); ++s) {
          EXPECT_EQ(pathColor(page.output.pending(), ++path), color);
        }
      }
      EXPECT_EQ(path, page.pathCount);
    }
  }
  EXPECT_EQ(planRivers(data, system4, 0).back().riverCode, 40000u);
  EXPECT_EQ(planRivers(data, given, 3).front().color, 0xabcdefu);
  EXPECT_TRUE(planRivers(data, nothing, 0).empty());
  EXPECT_EQ(planRivers(data, river, 7).size(), 1u);  // a river is one part, streams or none
}

}  // namespace
