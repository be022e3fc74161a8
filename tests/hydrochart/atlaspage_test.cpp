// The atlas page: the map page's frame around the features of the drawn streams, with the map
// page's numbers, state and failures.
#include "hydrochart/atlas/atlaspage.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/mappage/testsupport.h"

namespace {

constexpr char kDataStart[] = "<script type=\"application/json\" id=\"atlas-rivers\">";

// A river of two streams: the first with its nodes and the river's, the second of a single
// position and without node references; and a second river whose end node is missing.
RiverData& twoRivers(DataBuilder& b, std::string_view name = "テスト川") {
  b.addCurve(7, {{35.00, 139.00}, {35.01, 139.00}, {35.01, 139.01}});
  b.addCurve(8, {{36.5, 140.25}});
  b.addPoint(1, 35.00, 139.00);
  b.addPoint(2, 35.01, 139.01);
  b.addNode("rn1", 1);
  b.addNode("rn2", 2);
  Stream& first = b.addStream(12345, 123450001, 7, name);
  first.sectionType = 1;
  first.originalDataType = 2;
  first.startStreamNode = first.startRiverNode = nodeId("rn1");
  first.endStreamNode = first.endRiverNode = nodeId("rn2");
  b.addStream(12345, 123450001, 8, name);
  b.addStream(12345, 123450002, 7, "支川").endStreamNode = nodeId("rn_gone");
  return b.finish();
}

// Writes a whole page of `rivers` in `style` and returns its text.
std::string pageText(const RiverData& data, const PageStyle& style,
                     const std::vector<PlannedRiver>& rivers, std::int32_t& pathCount) {
  TempFolder folder;
  const std::string path = folder.file("page.htm");
  MapPage page;
  EXPECT_TRUE(openStyledPage(page, style, path, "題 <名>"));
  std::int32_t colorIndex = 0;
  EXPECT_TRUE(drawStyledRivers(page, style, data, rivers, colorIndex).drawn());
  EXPECT_EQ(colorIndex, static_cast<std::int32_t>(rivers.size()));
  EXPECT_TRUE(closeStyledPage(page, style));
  pathCount = page.pathCount;
  return readFile(path);
}

std::string between(const std::string& text, std::string_view from, std::string_view to) {
  const std::size_t start = text.find(from);
  const std::size_t end = text.find(to, start);
  if (start == std::string::npos || end == std::string::npos) return "(not found)";
  return text.substr(start, end + to.size() - start);
}

// The last `lines` lines of a text that ends in a line end.
std::string lastLines(const std::string& text, int lines) {
  std::size_t at = text.size() - 1;
  for (int i = 0; i < lines && at != std::string::npos && at > 0; ++i) {
    at = text.rfind('\n', at - 1);
  }
  return at == std::string::npos ? text : text.substr(at + 1);
}

std::size_t featuresIn(const std::string& text) {
  std::size_t count = 0;
  for (std::size_t at = text.find("{\"type\":\"Feature\""); at != std::string::npos;
       at = text.find("{\"type\":\"Feature\"", at + 1)) {
    ++count;
  }
  return count;
}

}  // namespace

TEST(AtlasPage, HoldsTheFeaturesOfTheStreamsInTheMapPagesFrame) {
  DataBuilder b;
  const RiverData& data = twoRivers(b);
  const WaterSystemCodeList list = {{12345, "水系"}};
  PageStyle atlas{true, &list};
  std::int32_t atlasPaths = 0;
  std::int32_t mapPaths = 0;
  const std::string text = pageText(data, atlas, {{123450001, 0xff0000}}, atlasPaths);
  const std::string map = pageText(data, PageStyle{}, {{123450001, 0xff0000}}, mapPaths);

  EXPECT_EQ(atlasPaths, 2);
  EXPECT_EQ(atlasPaths, mapPaths);
  // The map page's head, with the viewport and the style sheet added to the head element.
  const std::string mapHead = map.substr(0, map.find("</head>"));
  ASSERT_EQ(text.compare(0, mapHead.size(), mapHead), 0);
  const std::string headExtra =
      "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">\n<style>\n.";
  EXPECT_EQ(text.compare(mapHead.size(), headExtra.size(), headExtra), 0);
  const std::string frame = between(map, "</head><body>\n", "imperial:false}).addTo(map);\n");
  EXPECT_EQ(between(text, "</head><body>\n", "imperial:false}).addTo(map);\n"), frame);

  EXPECT_EQ(
      between(text, kDataStart, "</script>"),
      std::string(kDataStart) + "{\"type\":\"FeatureCollection\",\"features\":[\n" +
          R"({"type":"Feature","properties":{"waterSystemCode":"012345","waterSystemName":"水系",)"
          R"("riverCode":"0123450001","riverName":"テスト川","sectionType":1,"originalDataType":2,)"
          R"("curveId":7,"lengthKm":2.022,"stroke":"#ff0000","direction":"↑→","nodes":)"
          R"([[139.00000000,35.00000000],[139.01000000,35.01000000],)"
          R"([139.00000000,35.00000000],[139.01000000,35.01000000]]},)"
          R"("geometry":{"type":"LineString","coordinates":[[139.00000000,35.00000000],)"
          R"([139.00000000,35.01000000],[139.01000000,35.01000000]]}},)"
          "\n"
          R"({"type":"Feature","properties":{"waterSystemCode":"012345","waterSystemName":"水系",)"
          R"("riverCode":"0123450001","riverName":"テスト川","sectionType":0,"originalDataType":0,)"
          R"("curveId":8,"lengthKm":0.000,"stroke":"#ff0000","direction":"","nodes":[null,null]},)"
          R"("geometry":{"type":"LineString","coordinates":)"
          R"([[140.25000000,36.50000000],[140.25000000,36.50000000]]}})"
          "\n]}</script>");
  // The page's script starts the drawing, and the view fits what the map page fits, the
  // single position of the second stream included.
  EXPECT_EQ(lastLines(text, 5),
            "atlas.page(map,document.getElementById('atlas-rivers'));\n" + lastLines(map, 4));
  EXPECT_NE(lastLines(map, 4).find("[36.50000000,140.25000000]"), std::string::npos);
}

TEST(AtlasPage, EmptyPageOpensOnJapanAsTheMapPageDoes) {
  const RiverData data = DataBuilder().finish();
  std::int32_t paths = -1;
  const std::string text = pageText(data, PageStyle{true, nullptr}, {}, paths);
  std::int32_t mapPaths = -1;
  const std::string map = pageText(data, PageStyle{}, {}, mapPaths);
  EXPECT_EQ(paths, 0);
  EXPECT_NE(text.find("\"features\":[\n\n]}</script>"), std::string::npos);
  EXPECT_EQ(lastLines(text, 4), lastLines(map, 4));
}

TEST(AtlasPage, FailsWhereTheMapPageFailsWithTheSameState) {
  DataBuilder b;
  const RiverData& data = twoRivers(b);
  const std::vector<PlannedRiver> rivers = {{123450001, 1}, {123450002, 2}, {123450001, 3}};
  MapPage atlas;
  MapPage map;
  startPageInMemory(atlas);
  startPageInMemory(map);
  std::int32_t atlasColors = 0;
  std::int32_t mapColors = 0;
  const DrawResult atlasResult =
      drawStyledRivers(atlas, PageStyle{true, nullptr}, data, rivers, atlasColors);
  const DrawResult mapResult = drawStyledRivers(map, PageStyle{}, data, rivers, mapColors);
  EXPECT_EQ(atlasResult.kind, DrawResult::Kind::RiverNodeNotFound);
  EXPECT_EQ(atlasResult.kind, mapResult.kind);
  EXPECT_EQ(atlasResult.nodeIds, mapResult.nodeIds);
  EXPECT_EQ(atlasColors, 1);
  EXPECT_EQ(atlasColors, mapColors);
  EXPECT_EQ(atlas.pathCount, 3);
  EXPECT_EQ(atlas.pathCount, map.pathCount);
  // The two features of the first river stay; the stream that failed wrote nothing.
  EXPECT_EQ(featuresIn(atlas.output.pending()), 2u);

  // Drawn onto a page in memory from a later path count, the first feature follows others.
  MapPage later;
  startPageInMemory(later);
  later.pathCount = 5;
  std::int32_t colorIndex = 0;
  EXPECT_TRUE(drawAtlasRivers(later, data, {}, {{123450001, 1}}, colorIndex).drawn());
  EXPECT_EQ(later.pathCount, 7);
  EXPECT_EQ(later.output.pending().rfind(",\n{\"type\":\"Feature\"", 0), 0u);
}

TEST(AtlasPage, NamesStayDataInsideTheScriptElement) {
  DataBuilder b;
  const std::string hostile =
      "</script><script>window.__pwned=1</script><!--\xe2\x80\xa8\"\\&lt;b&gt;";
  const RiverData& data = twoRivers(b, hostile);
  const WaterSystemCodeList list = {{12345, "</SCRIPT>水系"}};
  std::int32_t paths = 0;
  const std::string text = pageText(data, PageStyle{true, &list}, {{123450001, 0}}, paths);
  const std::size_t start = text.find(kDataStart) + sizeof kDataStart - 1;
  const std::size_t end = text.find("</script>", start);
  const std::string block = text.substr(start, end - start);
  EXPECT_EQ(block.find('<'), std::string::npos) << block;
  EXPECT_EQ(block.find("\xe2\x80\xa8"), std::string::npos);
  EXPECT_NE(block.find(R"("riverName":"\u003c/script>\u003cscript>window.__pwned=1\u003c/script>)"
                       R"(\u003c!--\u2028\"\\\u003cb>")"),
            std::string::npos)
      << block;
  EXPECT_NE(block.find(R"("waterSystemName":"\u003c/SCRIPT>水系")"), std::string::npos);
  // The block ends where the collection ends.
  EXPECT_EQ(block.substr(block.size() - 3), "\n]}");
}
