#include <gtest/gtest.h>

#include <cfloat>

#include "tests/mappage/testsupport.h"

namespace {

// The node references a failed drawing names, or the curve id as "curve N".
std::vector<std::string> failureOf(const DrawResult& result) {
  if (result.kind == DrawResult::Kind::CurveNotFound) {
    return {"curve " + std::to_string(result.curveId)};
  }
  return result.nodeIds;
}

using Kind = DrawResult::Kind;

// The example river: its Curve (id 12) is the twelfth of `curves`, its stream nodes sit on the
// first and last position.
DataBuilder exampleRiver() {
  DataBuilder b;
  for (int i = 0; i < 11; ++i) b.addCurve(100 + i, {});
  b.addCurve(12, {{35.00, 139.00}, {35.01, 139.00}, {35.01, 139.01}});
  b.addPoint(1, 35.00, 139.00);
  b.addPoint(2, 35.01, 139.01);
  b.addNode("sn1", 1);
  b.addNode("sn2", 2);
  Stream& s = b.addStream(123456, 1234560001, 12, "テスト川");
  s.originalDataType = 1;
  s.startStreamNode = nodeId("sn1");
  s.endStreamNode = nodeId("sn2");
  return b;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    result.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) result.push_back(text.substr(start) + "<no line end>");
  return result;
}

TEST(DrawRiverTest, ExampleStreamMatchesHandWrittenLines) {
  DataBuilder b = exampleRiver();
  const RiverData& data = b.finish();
  const std::string expected = readFile(testDataPath("example_stream.txt"));
  ASSERT_EQ(lines(expected).size(), 10u);

  MapPage memory;
  startMemoryPage(memory);
  EXPECT_TRUE(drawRiver(memory, data, 1234560001, 0xff0000).drawn());
  EXPECT_EQ(memory.output.pending(), expected);
  EXPECT_EQ(memory.pathCount, 1);

  // The same stream on a real page: between the head and the end, and the box fits it.
  TempFolder folder;
  const std::string path = folder.file("river.html");
  MapPage page;
  ASSERT_TRUE(openMapPage(page, path, "利根川 \"A&B\" <b>"));
  EXPECT_TRUE(drawRiver(page, data, 1234560001, 0xff0000).drawn());
  EXPECT_EQ(page.mapBounds.minLat, 35.00);
  EXPECT_EQ(page.mapBounds.maxLat, 35.01);
  EXPECT_EQ(page.mapBounds.minLon, 139.00);
  EXPECT_EQ(page.mapBounds.maxLon, 139.01);
  EXPECT_TRUE(closeMapPage(page));
  const std::string empty = readFile(testDataPath("empty_page.html"));
  const std::size_t fit = empty.find("map.fitBounds(");
  ASSERT_NE(fit, std::string::npos);
  EXPECT_EQ(readFile(path), empty.substr(0, fit) + expected +
                                "map.fitBounds(L.latLngBounds([35.00000000,139.00000000],"
                                "[35.01000000,139.01000000]));\nosmjp.addTo(map);\n"
                                "</script>\n</body></html>\n");
}

TEST(DrawRiverTest, RiverNodeMarkersComeFromTheFirstStreamOnly) {
  DataBuilder b;
  b.addCurve(7, {{36.5, 140.5}, {36.0, 140.0}});
  b.addCurve(5, {{36.0, 140.0}, {35.5, 139.0}});
  b.addPoint(10, 36.5, 140.5);
  b.addPoint(11, 36.0, 140.0);
  b.addPoint(12, 35.5, 139.0);
  b.addNode("n10", 10);
  b.addNode("n11", 11);
  b.addNode("n12", 12);
  b.addStream(1, 999, 3, "other");  // another river between them
  // File order, not code or location order, decides which stream comes first.
  Stream& second = b.addStream(831000, 8310000010, 5, "利根川");
  second.startStreamNode = nodeId("n11");
  second.endStreamNode = nodeId("n12");
  second.startRiverNode = nodeId("n10");
  second.endRiverNode = nodeId("n12");
  Stream& first = b.addStream(831000, 8310000010, 7, "利根川");
  first.startStreamNode = nodeId("n10");
  first.endStreamNode = nodeId("n11");
  first.startRiverNode = nodeId("n11");
  first.endRiverNode = nodeId("n11");
  const RiverData& data = b.finish();

  MapPage page;
  startMemoryPage(page);
  page.pathCount = 41;
  EXPECT_TRUE(drawRiver(page, data, 8310000010, 0x00cf00).drawn());
  EXPECT_EQ(page.pathCount, 43);
  const std::vector<std::string> out = lines(page.output.pending());
  ASSERT_EQ(out.size(), 16u + 10u);
  EXPECT_EQ(out[0], "//c-2 利根川");
  EXPECT_EQ(out[1],
            "var myPath0042=L.polyline([[36.00000000,140.00000000],"
            "[35.50000000,139.00000000]],{color:'#00cf00',weight:2,opacity:0.8})"
            ".addTo(map);");
  EXPECT_NE(out[3].find("<br>方向:↓←\");"), std::string::npos);
  EXPECT_EQ(out[10],
            "var marker0042ra=L.circleMarker([36.50000000,140.50000000],"
            "{radius:11,color:'#00cf00',fillOpacity:0}).addTo(map);");
  EXPECT_EQ(out[11], "marker0042ra.bindTooltip(\"利根川 始点\");");
  EXPECT_EQ(out[12], "marker0042ra.bindPopup(\"利根川 始点\");");
  EXPECT_EQ(out[13],
            "var marker0042rb=L.circleMarker([35.50000000,139.00000000],"
            "{radius:7,color:'#00cf00',fillcolor:'#00cf00',fillOpacity:1})"
            ".addTo(map);");
  EXPECT_EQ(out[14], "marker0042rb.bindTooltip(\"利根川 終点\");");
  EXPECT_EQ(out[15], "marker0042rb.bindPopup(\"利根川 終点\");");
  EXPECT_EQ(out[16], "//c-1 利根川");
  EXPECT_TRUE(out[17].starts_with("var myPath0043=L.polyline(["));
  EXPECT_TRUE(out[19].starts_with("myPath0043.bindPopup(\"流路:c-7<br>"));
  EXPECT_EQ(out[25], "marker0043b.bindPopup(\"c-7 終点\");");
  EXPECT_EQ(page.output.pending().find("marker0043r"), std::string::npos);
  EXPECT_EQ(page.mapBounds.minLat, 35.5);
  EXPECT_EQ(page.mapBounds.maxLon, 140.5);

  // Drawn again on the same page, the river gets its river-node markers again.
  EXPECT_TRUE(drawRiver(page, data, 8310000010, 0x00cf00).drawn());
  EXPECT_NE(page.output.pending().find("var marker0044ra="), std::string::npos);
  EXPECT_EQ(page.output.pending().find("var marker0045ra="), std::string::npos);
}

TEST(DrawRiverTest, FailuresStopAfterTheLinesBeforeThem) {
  DataBuilder b = exampleRiver();
  b.addNode("dangling", 99);  // a node whose position names no Point
  b.addStream(1, 5000001, 77, "no curve");
  b.addStream(1, 5000011, 12, "x").startStreamNode = nodeId("missing-a");
  b.data.streams.back().endStreamNode = nodeId("missing-b");
  b.addStream(1, 5000012, 12, "x").startStreamNode = nodeId("sn1");
  b.data.streams.back().endStreamNode = nodeId("dangling");
  Stream& s13 = b.addStream(1, 5000013, 12, "x");
  s13.startStreamNode = nodeId("sn1");
  s13.endStreamNode = nodeId("sn2");
  s13.startRiverNode = nodeId("missing-ra");
  Stream& s14 = b.addStream(1, 5000014, 12, "x");
  s14.startRiverNode = nodeId("sn1");
  s14.endRiverNode = nodeId("missing-rb");
  const RiverData& data = b.finish();

  MapPage page;
  startMemoryPage(page);
  DrawResult result = drawRiver(page, data, 5000001, 0xff0000);
  EXPECT_EQ(result.kind, Kind::CurveNotFound);
  EXPECT_EQ(failureOf(result), std::vector<std::string>{"curve 77"});
  EXPECT_EQ(page.output.pending(), "");  // nothing of the stream was written
  EXPECT_EQ(page.pathCount, 1);          // though it was counted

  // Both stream nodes are looked up before the first marker: both unresolved ones are named.
  startMemoryPage(page);
  result = drawRiver(page, data, 5000011, 0xff0000);
  EXPECT_EQ(result.kind, Kind::RiverNodeNotFound);
  EXPECT_EQ(failureOf(result), (std::vector<std::string>{"missing-a", "missing-b"}));
  std::vector<std::string> out = lines(page.output.pending());
  ASSERT_EQ(out.size(), 4u);
  EXPECT_TRUE(out[3].ends_with("<br>方向:\");"));

  startMemoryPage(page);
  result = drawRiver(page, data, 5000012, 0xff0000);
  EXPECT_EQ(failureOf(result), std::vector<std::string>{"dangling"});
  out = lines(page.output.pending());
  ASSERT_EQ(out.size(), 7u);
  EXPECT_EQ(out[6], "marker0001a.bindPopup(\"c-12 始点\");");

  startMemoryPage(page);
  result = drawRiver(page, data, 5000013, 0xff0000);
  EXPECT_EQ(failureOf(result), std::vector<std::string>{"missing-ra"});
  out = lines(page.output.pending());
  ASSERT_EQ(out.size(), 10u);
  EXPECT_EQ(out[9], "marker0001b.bindPopup(\"c-12 終点\");");

  startMemoryPage(page);
  result = drawRiver(page, data, 5000014, 0xff0000);
  EXPECT_EQ(failureOf(result), std::vector<std::string>{"missing-rb"});
  out = lines(page.output.pending());
  ASSERT_EQ(out.size(), 7u);  // no stream-node markers, the river start marker
  EXPECT_EQ(out[6], "marker0001ra.bindPopup(\"x 始点\");");

  // The look ahead of drawing agrees with every outcome above.
  RiverOutlook outlook = lookAtRiver(data, 1234560001);
  EXPECT_TRUE(outlook.resolves);
  EXPECT_EQ(outlook.streams, 1);
  outlook = lookAtRiver(data, 999);  // no such river
  EXPECT_TRUE(outlook.resolves);
  EXPECT_EQ(outlook.streams, 0);
  for (const std::uint64_t failing : {5000001u, 5000011u, 5000012u, 5000013u, 5000014u}) {
    EXPECT_FALSE(lookAtRiver(data, failing).resolves) << failing;
  }

  // The lookup on its own: empty, resolved, unresolved (an id is its first 13 characters).
  EXPECT_EQ(findRiverNodePoint(data, NodeIdText{}).kind, NodePoint::Kind::NoReference);
  const NodePoint found = findRiverNodePoint(data, nodeId("sn2"));
  EXPECT_EQ(found.kind, NodePoint::Kind::Found);
  EXPECT_EQ(found.point, 1);
  EXPECT_EQ(findRiverNodePoint(data, nodeId("ABCDEFGHIJKLMNOP")).kind, NodePoint::Kind::Unresolved);
  EXPECT_EQ(findRiverNodePoint(data, nodeId("dangling")).kind, NodePoint::Kind::Unresolved);
}

TEST(DrawRiverTest, UnmatchedCodesAndSmallCurves) {
  DataBuilder b;
  b.addCurve(1, {});
  b.addCurve(2, {{35.25, 139.75}});
  b.addPoint(1, 35.0, 139.0);
  b.addPoint(2, 35.0, 139.0);
  b.addPoint(3, 35.0, 138.0);
  b.addPoint(4, 34.0, 139.0);
  b.addNode("p1", 1);
  b.addNode("p2", 2);
  b.addNode("p3", 3);
  b.addNode("p4", 4);
  b.addStream(1, 1000001, 1, "empty");
  Stream& single = b.addStream(1, 1000002, 2, "single");
  single.startStreamNode = nodeId("p1");
  single.endStreamNode = nodeId("p2");  // the same place: equal latitude and longitude
  Stream& west = b.addStream(1, 1000003, 2, "west");
  west.startStreamNode = nodeId("p1");
  west.endStreamNode = nodeId("p3");
  Stream& south = b.addStream(1, 1000004, 2, "south");
  south.startStreamNode = nodeId("p1");
  south.endStreamNode = nodeId("p4");
  const RiverData& data = b.finish();

  MapPage page;
  startMemoryPage(page);
  page.pathCount = 9;
  const MapBounds before = page.mapBounds;
  EXPECT_TRUE(drawRiver(page, data, 1000009, 0xff0000).drawn());
  EXPECT_TRUE(drawRiver(page, data, 1000001 + (std::uint64_t{1} << 32), 0xff0000).drawn());
  EXPECT_EQ(page.output.pending(), "");
  EXPECT_EQ(page.pathCount, 9);

  EXPECT_TRUE(drawRiver(page, data, 1000001, 0xff0000).drawn());
  std::vector<std::string> out = lines(page.output.pending());
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[1],
            "var myPath0010=L.polyline([],{color:'#ff0000',weight:2,opacity:0.8})"
            ".addTo(map);");
  EXPECT_NE(out[3].find("延長距離:0.000 km<br>方向:\");"), std::string::npos);
  EXPECT_EQ(page.mapBounds.minLat, before.minLat);
  EXPECT_EQ(page.mapBounds.maxLon, before.maxLon);

  startMemoryPage(page);
  page.pathCount = 9999;
  EXPECT_TRUE(drawRiver(page, data, 1000002, 0xff0000).drawn());
  out = lines(page.output.pending());
  EXPECT_EQ(out[1],
            "var myPath10000=L.polyline([[35.25000000,139.75000000]],"
            "{color:'#ff0000',weight:2,opacity:0.8}).addTo(map);");
  EXPECT_NE(out[3].find("延長距離:0.000 km<br>方向:↑→\");"), std::string::npos);
  EXPECT_TRUE(out[4].starts_with("var marker10000a=L.circleMarker("));
  EXPECT_EQ(page.mapBounds.minLat, 35.25);
  EXPECT_EQ(page.mapBounds.maxLat, 35.25);  // markers do not widen the box

  startMemoryPage(page);
  EXPECT_TRUE(drawRiver(page, data, 1000003, 0xff0000).drawn());
  EXPECT_NE(page.output.pending().find("方向:↑←\");"), std::string::npos);
  startMemoryPage(page);
  EXPECT_TRUE(drawRiver(page, data, 1000004, 0xff0000).drawn());
  EXPECT_NE(page.output.pending().find("方向:↓→\");"), std::string::npos);
}

TEST(DrawRiverTest, FirstRecordWinsAndNumbersPrintAsPrintfDoes) {
  DataBuilder b;
  b.addCurve(4, {{33.0, 131.0}});
  b.addCurve(8, {{34.0, 132.0}});
  b.addCurve(8, {{99.0, 99.0}});
  b.addPoint(3, 34.5, 132.5);
  b.addPoint(3, 99.0, 99.0);
  b.addNode("ABCDEFGHIJKLMNOP", 3);  // stored as its first 13 characters
  b.addNode("ABCDEFGHIJKLMxyz", 99);
  Stream& s = b.addStream(4000000000u, 18446744073709551615u, 8, "川");
  s.startStreamNode = nodeId("ABCDEFGHIJKLM");
  s.originalDataType = -3;
  const RiverData& data = b.finish();

  MapPage page;
  startMemoryPage(page);
  EXPECT_TRUE(drawRiver(page, data, 18446744073709551615u, 0x1abcdef).drawn());
  const std::vector<std::string> out = lines(page.output.pending());
  ASSERT_EQ(out.size(), 7u);
  EXPECT_EQ(out[0], "//c-2 川");
  EXPECT_EQ(out[1],
            "var myPath0001=L.polyline([[34.00000000,132.00000000]],"
            "{color:'#1abcdef',weight:2,opacity:0.8}).addTo(map);");
  EXPECT_EQ(out[3],
            "myPath0001.bindPopup(\"流路:c-8<br>所属河川:川<br>河川コード:-1"
            "<br>水系コード:-294967296<br>原典資料種別:-3<br>延長距離:0.000 km"
            "<br>方向:\");");
  EXPECT_EQ(out[4],
            "var marker0001a=L.circleMarker([34.50000000,132.50000000],"
            "{radius:3,color:'#1abcdef',fillOpacity:0}).addTo(map);");
}

TEST(DrawRiverTest, RiverNamesAreSafeInsideScript) {
  DataBuilder b = exampleRiver();
  b.data.streams[0].startRiverNode = nodeId("sn1");
  const std::string name =
      "a\"b\\c</script>\nd\x01\xe2\x80\xa8"
      "e";
  std::memcpy(b.data.streams[0].riverName, name.data(), name.size() + 1);
  const RiverData& data = b.finish();
  const std::string safe = "a\\\"b\\\\c<\\/script>\\u000ad\\u0001\\u2028e";
  // Tooltips and popups render HTML: there the "<" is shown as text, not taken as markup.
  const std::string shown = "a\\\"b\\\\c&lt;/script>\\u000ad\\u0001\\u2028e";

  MapPage page;
  startMemoryPage(page);
  EXPECT_TRUE(drawRiver(page, data, 1234560001, 0xff0000).drawn());
  const std::vector<std::string> out = lines(page.output.pending());
  ASSERT_EQ(out.size(), 13u);
  EXPECT_EQ(out[0], "//c-12 " + safe);
  EXPECT_EQ(out[2], "myPath0001.bindTooltip(\"c-12 " + shown + "\");");
  EXPECT_NE(out[3].find("<br>所属河川:" + shown + "<br>"), std::string::npos);
  EXPECT_EQ(out[11], "marker0001ra.bindTooltip(\"" + shown + " 始点\");");
  EXPECT_EQ(out[12], "marker0001ra.bindPopup(\"" + shown + " 始点\");");
  EXPECT_EQ(page.output.pending().find("</script"), std::string::npos);

  // Markup in a name never reaches a tooltip as markup; the comment line keeps the name.
  const std::string markup = "x<img src=x onerror=alert(1)>";
  std::memcpy(b.data.streams[0].riverName, markup.c_str(), markup.size() + 1);
  startMemoryPage(page);
  EXPECT_TRUE(drawRiver(page, data, 1234560001, 0xff0000).drawn());
  const std::vector<std::string> marked = lines(page.output.pending());
  EXPECT_EQ(marked[0], "//c-12 " + markup);
  EXPECT_EQ(marked[2], "myPath0001.bindTooltip(\"c-12 x&lt;img src=x onerror=alert(1)>\");");
  EXPECT_EQ(page.output.pending().find("<img"), page.output.pending().find("//c-12 x<img") + 8);

  // A name of 63 bytes is written whole.
  const std::string longName(63, 'n');
  std::memcpy(b.data.streams[0].riverName, longName.c_str(), 64);
  startMemoryPage(page);
  EXPECT_TRUE(drawRiver(page, data, 1234560001, 0xff0000).drawn());
  EXPECT_EQ(lines(page.output.pending())[0], "//c-12 " + longName);
}

}  // namespace
