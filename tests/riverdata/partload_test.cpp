// Loading a file in two parts at once must give exactly the records of a single pass, wherever
// the second part starts.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "hydrochart/riverdata/riverdata.h"
#include "tests/support/tempfolder.h"
#include "tests/support/w05text.h"

namespace {

std::string curve(int id, const std::string& positions) {
  return "<gml:Curve gml:id=\"cv_" + std::to_string(id) +
         "\">\n<gml:segments>\n<gml:LineStringSegment>\n<gml:posList>\n" + positions +
         "</gml:posList>\n</gml:LineStringSegment>\n</gml:segments>\n</gml:Curve>\n";
}

std::string point(int id, const std::string& pos) {
  return "<gml:Point gml:id=\"pt_" + std::to_string(id) + "\">\n\t<gml:pos>" + pos +
         "</gml:pos>\n</gml:Point>\n";
}

std::string riverNode(int id, int pointId) {
  return "<ksj:RiverNode gml:id=\"rn_" + std::to_string(id) +
         "\">\n\t<ksj:position xlink:href=\"#pt_" + std::to_string(pointId) +
         "\"/>\n</ksj:RiverNode>\n";
}

std::string stream(int location, int code, const std::string& name) {
  return "<ksj:Stream gml:id=\"st_" + std::to_string(location) +
         "\">\n\t<ksj:location xlink:href=\"#cv_" + std::to_string(location) +
         "\"/>\n\t<ksj:waterSystemCode codeSpace=\"WaterSystemTypeCode.xml\">" +
         std::to_string(code) +
         "</ksj:waterSystemCode>\n\t<ksj:riverCode codeSpace=\"RiverTypeCode.xml\">" +
         std::to_string(code) + "0001</ksj:riverCode>\n\t<ksj:sectionType>1</ksj:sectionType>\n" +
         "\t<ksj:riverName>" + name + "</ksj:riverName>\n" +
         "\t<ksj:startRiverNode xlink:href=\"#rn_1\"/>\n\t<ksj:endRiverNode "
         "xlink:href=\"#rn_2\"/>\n"
         "</ksj:Stream>\n";
}

// A file with every kind of element, positions in the common and in unusual forms, comments
// within and across lines, an empty line, CR line ends and a river node whose Point comes long
// before it.
std::string mixedDocument() {
  std::string body;
  body += curve(1, "35.1 139.1\n35.2 139.2\n-35.25 139.3\n");
  body += curve(2, "35.3 139.4\r\n3.5e1 1.394e2\n  35.5 139.6\n35.7 139.8 </gml:posList>\n");
  body += "<!-- a comment\n<gml:Curve gml:id=\"cv_99\">\nover lines -->\n";
  body += curve(3, "36.00000001 140.00000002\n36.12345678 140.87654321\n");
  body += point(7, "35.1 139.1");
  body += "\n";
  body += curve(4, "36.5 <!-- cut --> 140.5\n37 141\n");
  body += point(1, "35.3 139.4");
  body += point(2, "36 140");
  body += stream(1, 810001, "第一川");
  body += stream(2, 810001, "第二川");
  body += riverNode(1, 1);
  body += riverNode(2, 2);
  body += riverNode(3, 7);  // the largest Point id comes first in the file
  body += stream(3, 810002, "三の川");
  body += curve(5, "1 2\n");
  body += stream(4, 810002, "四の川");
  body += riverNode(4, 9);  // no such Point: the node is not stored
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ksj:Dataset gml:id=\"W05Dataset\">\n" +
         body + "</ksj:Dataset>\n";
}

// The load with the second part starting exactly at `partStart` (0: one pass); a load that
// does not succeed is thrown as its status.
RiverData loadInParts(const std::string& path, std::uint64_t partStart) {
  LoadOptions options;
  if (partStart != 0) options.partStarts = {partStart};
  RiverData data;
  const LoadResult result = loadRiverData(path, data, options);
  if (result.status != LoadStatus::Loaded) throw result.status;
  return data;
}

// Every record and both largest ids, field by field.
void expectSameRecords(const RiverData& expected, const RiverData& actual, std::uint64_t start) {
  SCOPED_TRACE("second part from offset " + std::to_string(start));
  ASSERT_EQ(expected.pointList.size(), actual.pointList.size());
  for (std::size_t i = 0; i < expected.pointList.size(); ++i) {
    EXPECT_EQ(expected.pointList[i].lat, actual.pointList[i].lat) << i;
    EXPECT_EQ(expected.pointList[i].lon, actual.pointList[i].lon) << i;
  }
  ASSERT_EQ(expected.curves.size(), actual.curves.size());
  for (std::size_t i = 0; i < expected.curves.size(); ++i) {
    EXPECT_EQ(expected.curves[i].first, actual.curves[i].first) << i;
    EXPECT_EQ(expected.curves[i].last, actual.curves[i].last) << i;
    EXPECT_EQ(expected.curves[i].id, actual.curves[i].id) << i;
  }
  ASSERT_EQ(expected.points.size(), actual.points.size());
  for (std::size_t i = 0; i < expected.points.size(); ++i) {
    EXPECT_EQ(expected.points[i].id, actual.points[i].id) << i;
    EXPECT_EQ(expected.points[i].lat, actual.points[i].lat) << i;
  }
  ASSERT_EQ(expected.streams.size(), actual.streams.size());
  // The fields end with the name; the bytes after it are padding.
  constexpr std::size_t kFieldBytes = offsetof(Stream, riverName) + sizeof(Stream::riverName);
  for (std::size_t i = 0; i < expected.streams.size(); ++i) {
    EXPECT_EQ(0, std::memcmp(&expected.streams[i], &actual.streams[i], kFieldBytes)) << i;
  }
  ASSERT_EQ(expected.riverNodes.size(), actual.riverNodes.size());
  for (std::size_t i = 0; i < expected.riverNodes.size(); ++i) {
    EXPECT_EQ(expected.riverNodes[i].position, actual.riverNodes[i].position) << i;
    EXPECT_EQ(expected.riverNodes[i].id, actual.riverNodes[i].id) << i;
  }
  EXPECT_EQ(expected.maxCv, actual.maxCv);
  EXPECT_EQ(expected.maxPt, actual.maxPt);
  // The index, built while the second part's positions are still being copied, finds the same
  // records.
  for (const Curve& curve : expected.curves) {
    EXPECT_EQ(findCurveIndex(expected, curve.id), findCurveIndex(actual, curve.id)) << curve.id;
  }
  for (const Point& point : expected.points) {
    EXPECT_EQ(findPointIndex(expected, point.id), findPointIndex(actual, point.id)) << point.id;
  }
  for (const RiverNode& node : expected.riverNodes) {
    const std::string_view id(node.id.data(), strnlen(node.id.data(), node.id.size()));
    EXPECT_EQ(findRiverNodeIndex(expected, id), findRiverNodeIndex(actual, id)) << id;
  }
  for (const Stream& stream : expected.streams) {
    EXPECT_EQ(streamsOfWaterSystem(expected, stream.waterSystemCode),
              streamsOfWaterSystem(actual, stream.waterSystemCode));
    EXPECT_EQ(streamsOfRiver(expected, stream.riverCode), streamsOfRiver(actual, stream.riverCode));
  }
}

TEST(PartLoad, EverySecondPartStartGivesTheRecordsOfOnePass) {
  TempFolder folder;
  const std::string text = mixedDocument();
  const std::string path = folder.write("W05-parts.xml", text);
  const RiverData whole = loadInParts(path, 0);
  ASSERT_EQ(whole.curves.size(), 5u);  // the commented-out Curve is not among them
  ASSERT_EQ(whole.pointList.size(), 11u);
  EXPECT_EQ(whole.pointList[2].lat, -35.25);
  EXPECT_EQ(whole.pointList[4].lon, 139.4);  // "3.5e1 1.394e2"
  EXPECT_EQ(whole.pointList[7].lon, 140.87654321);
  EXPECT_EQ(whole.pointList[8].lon, 140.5);  // the comment is cut out of the line
  ASSERT_EQ(whole.riverNodes.size(), 3u);
  // Every line start (where the second part is taken when the first arrives there between
  // elements) and, for the rest, every seventh byte.
  for (std::uint64_t start = 1; start < text.size(); ++start) {
    if (text[start - 1] != '\n' && start % 7 != 0) continue;
    expectSameRecords(whole, loadInParts(path, start), start);
    if (testing::Test::HasFailure()) return;
  }
}

// Every second part start of `text` gives what one pass gives.
void expectEveryStartAsOnePass(const std::string& text) {
  TempFolder folder;
  const std::string path = folder.write("W05-parts.xml", text);
  const RiverData whole = loadInParts(path, 0);
  for (std::uint64_t start = 1; start < text.size(); ++start) {
    if (text[start - 1] != '\n') continue;
    expectSameRecords(whole, loadInParts(path, start), start);
    if (testing::Test::HasFailure()) return;
  }
}

TEST(PartLoad, NamesOfAFileInAnotherEncodingAreConvertedWhereverThePartStarts) {
  // "川" in Shift_JIS; the second part never sees the declaration on the first line.
  std::string body = curve(1, "35.1 139.1\n") + stream(1, 810001, "\x90\xEC") +
                     curve(2, "35.2 139.2\n") + stream(2, 810001, "\x90\xEC");
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<ksj:Dataset>\n" + body + "</ksj:Dataset>\n";
  expectEveryStartAsOnePass(text);
  TempFolder folder;
  const RiverData whole = loadInParts(folder.write("W05-sjis.xml", text), 0);
  ASSERT_EQ(whole.streams.size(), 2u);
  EXPECT_STREQ(whole.streams[1].riverName, "川");
}

TEST(PartLoad, ACoordinateThatIsNoNumberFailsTheLoadWhereverThePartStarts) {
  const std::string text = "<ksj:Dataset>\n" + curve(1, "35.1 139.1\n") + point(1, "35 139") +
                           curve(2, "35.2 139.2\n1e999 139\n") + curve(3, "35.3 139.3\n") +
                           "</ksj:Dataset>\n";
  TempFolder folder;
  const std::string path = folder.write("W05-inf.xml", text);
  EXPECT_ANY_THROW(loadInParts(path, 0));
  for (std::uint64_t start = 1; start < text.size(); ++start) {
    if (text[start - 1] != '\n') continue;
    SCOPED_TRACE("second part from offset " + std::to_string(start));
    EXPECT_ANY_THROW(loadInParts(path, start));
  }
}

TEST(PartLoad, LargeFileLoadsAsInOnePass) {
  // Large enough to be loaded in two parts; ids run on across the middle of the file.
  std::string body;
  std::string positions;
  for (int i = 0; i < 40; ++i) positions += "35.12345678 139.87654321\n";
  int id = 1;
  while (body.size() < (std::size_t{9} << 20)) body += curve(id++, positions);
  for (int i = 1; i < 200; ++i) body += point(i, "35 139");
  for (int i = 1; i < 200; ++i) body += stream(i, 810000 + i % 7, "川");
  for (int i = 1; i < 200; ++i) body += riverNode(i, 200 - i);
  TempFolder folder;
  const std::string path =
      folder.write("W05-large.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ksj:Dataset>\n" +
                                        body + "</ksj:Dataset>\n");
  const RiverData whole = loadInParts(path, 0);
  ASSERT_EQ(whole.pointList.size(), 40u * static_cast<std::size_t>(id - 1));
  for (const LatLon& position : whole.pointList) {
    ASSERT_EQ(position.lat, 35.12345678);
    ASSERT_EQ(position.lon, 139.87654321);
  }
  RiverData loaded;
  const LoadResult result = loadRiverData(path, loaded);
  ASSERT_EQ(result, LoadStatus::Loaded);
  EXPECT_EQ(result.parts, 2u);
  EXPECT_EQ(result.fallback, LoadFallback::None);
  expectSameRecords(whole, loaded, 0);
  EXPECT_EQ(loaded.index.curveById.find(id - 1), id - 2);
}

}  // namespace

namespace {

using w05text::Kind;
using w05text::Layout;

// Loads `path` in one pass, the way every later load is compared with.
RiverData loadInOnePass(const std::string& path) {
  LoadOptions options;
  options.threads = 1;
  RiverData data;
  EXPECT_EQ(loadRiverData(path, data, options).status, LoadStatus::Loaded);
  return data;
}

// A split size far below the files of these tests, so that they are read in parts.
LoadOptions smallSplit(unsigned parts) {
  LoadOptions options;
  options.splitSize = 4096;
  options.parts = parts;
  return options;
}

// Files of every order of the four kinds, interleaved ones too, each of a few hundred KB.
std::vector<std::pair<std::string, Layout>> everyLayout() {
  std::vector<std::pair<std::string, Layout>> layouts;
  for (const std::array<Kind, 4>& order : w05text::everyOrder()) {
    Layout layout;
    layout.order = order;
    layout.elementsPerKind = 300;
    layouts.emplace_back(w05text::orderName(order), layout);
  }
  Layout interleaved;
  interleaved.interleaved = true;
  interleaved.elementsPerKind = 300;
  layouts.emplace_back("interleaved", interleaved);
  interleaved.crLf = true;
  layouts.emplace_back("interleaved, CR LF", interleaved);
  return layouts;
}

TEST(SplitLoad, EveryOrderIsReadInAllItsPartsAsInOnePass) {
  TempFolder folder;
  std::uint64_t seed = 1;
  for (const auto& [name, layout] : everyLayout()) {
    SCOPED_TRACE(name);
    w05text::RandomChoices choices(seed++);
    const std::string path = folder.write("W05-order.xml", w05text::buildText(layout, choices));
    const RiverData whole = loadInOnePass(path);
    ASSERT_EQ(whole.streams.size(), 300u);
    for (const unsigned parts : {2u, 3u, 5u}) {
      SCOPED_TRACE(std::to_string(parts) + " parts");
      RiverData split;
      const LoadResult result = loadRiverData(path, split, smallSplit(parts));
      ASSERT_EQ(result.status, LoadStatus::Loaded);
      EXPECT_EQ(result.parts, parts);
      EXPECT_EQ(result.fallback, LoadFallback::None);
      expectSameRecords(whole, split, 0);
    }
    if (testing::Test::HasFailure()) return;
  }
}

TEST(SplitLoad, UnusualLineFormsGiveTheRecordsOfOnePassWhereverThePartsStart) {
  TempFolder folder;
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    Layout layout;
    layout.interleaved = seed % 2 == 0;
    layout.order = w05text::everyOrder()[seed % 24];
    layout.elementsPerKind = 12;
    layout.plainForms = false;
    w05text::RandomChoices choices(seed);
    const std::string text = w05text::buildText(layout, choices);
    const std::string path = folder.write("W05-forms.xml", text);
    const RiverData whole = loadInOnePass(path);
    // Three parts from two offsets, line starts and bytes inside lines alike.
    for (int trial = 0; trial < 20; ++trial) {
      LoadOptions options;
      options.partStarts = {1 + choices.pick(static_cast<unsigned>(text.size())),
                            1 + choices.pick(static_cast<unsigned>(text.size()))};
      RiverData split;
      ASSERT_EQ(loadRiverData(path, split, options).status, LoadStatus::Loaded);
      expectSameRecords(whole, split, options.partStarts[0] * 100000 + options.partStarts[1]);
      if (testing::Test::HasFailure()) return;
    }
  }
}

// The offset of the line that starts with `text`.
std::uint64_t lineOf(const std::string& document, const std::string& text) {
  const std::size_t at = document.find("\n" + text);
  EXPECT_NE(at, std::string::npos) << text;
  return at + 1;
}

TEST(SplitLoad, RiverNodesOfALaterPartAreSettledByThePointsBeforeIt) {
  const std::string body =
      point(10, "35 139") + point(2, "36 140") +
      riverNode(1, 5) +  // above the part's Points, within those before: kept
      "<ksj:RiverNode gml:id=\"rn_2\">\n\t<ksj:position xlink:href=\"#pt_12\"/>\n"
      "\t<ksj:position xlink:href=\"#pt_1\"/>\n</ksj:RiverNode>\n" +  // 12 is above all: 1
      "<ksj:RiverNode gml:id=\"rn_3\">\n\t<ksj:position xlink:href=\"#pt_7\"/>\n"
      "\t<ksj:position xlink:href=\"#pt_1\"/>\n</ksj:RiverNode>\n" +  // 7 comes first
      riverNode(4, 11) +                                              // above every Point: left out
      riverNode(5, 2);
  const std::string text = "<ksj:Dataset>\n" + body + "</ksj:Dataset>\n";
  TempFolder folder;
  const std::string path = folder.write("W05-nodes.xml", text);
  LoadOptions options;
  options.partStarts = {lineOf(text, "<gml:Point gml:id=\"pt_2\"")};
  RiverData split;
  const LoadResult result = loadRiverData(path, split, options);
  ASSERT_EQ(result.status, LoadStatus::Loaded);
  EXPECT_EQ(result.parts, 2u);
  ASSERT_EQ(split.riverNodes.size(), 4u);
  const std::int32_t positions[] = {5, 1, 7, 2};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(split.riverNodes[i].position, positions[i]) << i;
  EXPECT_EQ(findRiverNodeIndex(split, "rn_4"), -1);
  EXPECT_EQ(findRiverNodeIndex(split, "rn_5"), 3);
  EXPECT_EQ(split.maxPt, 10);
  expectSameRecords(loadInOnePass(path), split, options.partStarts[0]);
}

TEST(SplitLoad, TellsWhyAFileWasReadInFewerParts) {
  Layout layout;
  layout.elementsPerKind = 200;
  w05text::RandomChoices choices(7);
  const std::string text = w05text::buildText(layout, choices);
  TempFolder folder;
  const std::string path = folder.write("W05-fewer.xml", text);
  const RiverData whole = loadInOnePass(path);
  const auto load = [&](const LoadOptions& options, unsigned parts, LoadFallback fallback) {
    RiverData data;
    const LoadResult result = loadRiverData(path, data, options);
    ASSERT_EQ(result.status, LoadStatus::Loaded);
    EXPECT_EQ(result.parts, parts);
    EXPECT_EQ(result.fallback, fallback);
    expectSameRecords(whole, data, 0);
  };
  // One thread, or a file below the split size: one pass, by choice.
  LoadOptions options = smallSplit(2);
  options.threads = 1;
  load(options, 1, LoadFallback::None);
  options = smallSplit(2);
  options.splitSize = text.size() + 1;
  load(options, 1, LoadFallback::None);
  // The second of three parts starts inside a Curve: the first part reads its lines.
  const std::uint64_t curveLine = lineOf(text, "<gml:Curve gml:id=\"cv_40\"");
  const std::uint64_t pointLine = lineOf(text, "<gml:Point gml:id=\"pt_40\"");
  options = LoadOptions{};
  options.partStarts = {curveLine + 30, pointLine};
  load(options, 2, LoadFallback::PartPassedBy);
  options.partStarts = {curveLine, pointLine};
  load(options, 3, LoadFallback::None);
  // A position list longer than the search window around the middle: no part start there.
  std::string positions;
  while (positions.size() < (std::size_t{3} << 20)) positions += "35.12345678 139.87654321\n";
  const std::string longPath =
      folder.write("W05-long.xml",
                   "<ksj:Dataset>\n" + curve(1, positions) + point(1, "1 2") + "</ksj:Dataset>\n");
  RiverData data;
  const LoadResult result = loadRiverData(longPath, data, smallSplit(2));
  EXPECT_EQ(result.parts, 1u);
  EXPECT_EQ(result.fallback, LoadFallback::NoPartStart);
  EXPECT_EQ(data.points.size(), 1u);
}

}  // namespace
