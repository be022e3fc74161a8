#include "hydrochart/geojson/geojson.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <random>

#include "tests/mappage/testsupport.h"

namespace {

std::string shortest(double value) {
  char buffer[kMaxShortestNumberLength];
  return {buffer, writeShortestNumber(buffer, value)};
}

std::string standardShortest(double value) {
  char buffer[64];
  return {buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr};
}

std::string json(std::string_view text, bool scriptSafe = false) {
  std::string out;
  appendJsonString(out, text, scriptSafe);
  return out;
}

// Records what a collection of every stream leaves out.
class LeftOut final : public Progress {
 public:
  std::vector<DrawResult> results;
  void streamLeftOut(const DrawResult& result) override { results.push_back(result); }
  void waterSystemPageStarted(std::uint32_t) override {}
  void waterSystemPageWritten(std::int32_t) override {}
  void waterSystemPageNotCreated(std::uint32_t) override {}
  void outputIsInput(const std::string&, RunInput) override {}
  void indexOpened(const std::string&) override {}
  void folderLeftOut(const std::string&, const std::string&) override {}
  void codeMatchesNothing(const std::string&, bool, std::uint64_t, const std::string&) override {}
};

// Writes a collection through a file, as the program does, and returns the file's bytes.
template <typename Write>
std::string collectionText(const RiverData& data, const WaterSystemCodeList& list,
                           std::string_view name, Write write, bool scriptSafe = false) {
  TempFolder folder;
  const std::string path = folder.file("out.geojson");
  OutputFile output;
  EXPECT_TRUE(output.open(path, OutputFile::Mode::ReplaceBinary));
  FeatureCollection collection;
  openFeatureCollection(collection, output, data, list, name, scriptSafe);
  write(collection);
  closeFeatureCollection(collection);
  EXPECT_TRUE(output.close());
  return readFile(path);
}

// The "stroke" values of a collection, in order.
std::vector<std::string> strokes(const std::string& text) {
  std::vector<std::string> found;
  for (std::size_t at = text.find("\"stroke\":\"#"); at != std::string::npos;
       at = text.find("\"stroke\":\"#", at + 1)) {
    found.push_back(text.substr(at + 11, 6));
  }
  return found;
}

}  // namespace

TEST(ShortestNumber, AgreesWithToCharsForCoordinatesAndOtherDoubles) {
  std::mt19937_64 random(20190401);
  std::uniform_real_distribution<double> japan(20.0, 154.0);
  char text[64];
  for (int i = 0; i < 200000; ++i) {
    const double value = (i % 7 == 0 ? -1 : 1) * japan(random);
    // As data files write them (8, 6, 2 places), and as an arbitrary double.
    for (const char* format : {"%.8f", "%.6f", "%.2f", "%.17g"}) {
      std::snprintf(text, sizeof text, format, value);
      double parsed = 0;
      std::from_chars(text, text + std::strlen(text), parsed);
      ASSERT_EQ(shortest(parsed), standardShortest(parsed)) << text;
    }
  }
  for (int i = 0; i < 200000; ++i) {
    double value = 0;
    const std::uint64_t bits = random();
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) continue;
    ASSERT_EQ(shortest(value), standardShortest(value)) << bits;
  }
  for (const double value : {0.0, -0.0, 1.0, -1.0, 0.99999999, 1.00000001, 4095.99999999, 4096.0,
                             100.0, 139.5, 1e-8, 35.00000000, 135.00000001, 1e21, 5e-324}) {
    EXPECT_EQ(shortest(value), standardShortest(value)) << value;
  }
  EXPECT_EQ(shortest(139.5), "139.5");
  EXPECT_EQ(shortest(35.0), "35");
  EXPECT_EQ(shortest(-135.00000001), "-135.00000001");
}

TEST(JsonString, EscapesWhatJsonAndScriptsNeed) {
  EXPECT_EQ(json("多摩川"), "\"多摩川\"");
  EXPECT_EQ(json("a\"b\\c"), R"("a\"b\\c")");
  EXPECT_EQ(json("\n\r\t\x01\x1f\x7f"), R"("\n\r\t\u0001\u001f\u007f")");
  EXPECT_EQ(json("\xc2\x85"), R"("\u0085")");  // a C1 control character
  EXPECT_EQ(json("a\xe2\x80\xa8"
                 "b\xe2\x80\xa9"),
            R"("a\u2028b\u2029")");
  // Bytes that are no UTF-8 character cannot reach a JSON reader.
  EXPECT_EQ(json("a\xff"
                 "b\xe5\xb7"),
            "\"a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD\"");
  EXPECT_EQ(json("</script><!--"), "\"</script><!--\"");
  EXPECT_EQ(json("</script><!--", true), R"("\u003c/script>\u003c!--")");
  EXPECT_EQ(json("", true), "\"\"");
}

TEST(XmlReferences, ResolvesCompleteReferencesOnly) {
  EXPECT_EQ(resolveXmlReferences("A&amp;B &lt;&gt;&quot;&apos;"), "A&B <>\"'");
  EXPECT_EQ(resolveXmlReferences("&#24029;&#x5DDD;&#X5ddd;"), "川川&#X5ddd;");
  EXPECT_EQ(resolveXmlReferences("&#x1F30A;"), "\xF0\x9F\x8C\x8A");
  for (const char* kept : {"&am", "&", "&;", "&#;", "&#0;", "&#xD800;", "&#x110000;", "&nbsp;",
                           "&#12a;", "&#99999999999;"}) {
    EXPECT_EQ(resolveXmlReferences(kept), kept);
  }
  EXPECT_EQ(resolveXmlReferences("a & b &amp; c"), "a & b & c");
}

TEST(FeatureCollection, StreamBecomesOneFeatureWithThePageValues) {
  DataBuilder b;
  b.addCurve(7, {{35.00, 139.00}, {35.01, 139.00}, {35.01, 139.01}});
  b.addCurve(8, {{36.5, 140.25}});  // one position: no LineString
  b.addCurve(9, {});                // no position either
  Stream& s = b.addStream(12345, 123450001, 7, "テスト\"川\\");
  s.sectionType = 1;
  s.originalDataType = 2;
  b.addStream(12345, 123450002, 8, "A&amp;B").sectionType = -3;
  b.addStream(99, 990001, 9, "");
  const RiverData& data = b.finish();
  const WaterSystemCodeList list = {{12345, "水系<一>"}};

  const std::string text = collectionText(data, list, "名前 \"x\"", [](FeatureCollection& c) {
    EXPECT_TRUE(writeRiverFeatures(c, 123450001, 0xff0000).drawn());
    EXPECT_TRUE(writeRiverFeatures(c, 123450002, 0x1abcdef).drawn());
    EXPECT_TRUE(writeRiverFeatures(c, 990001, 0x000001).drawn());
    EXPECT_EQ(c.featureCount, 3);
  });
  EXPECT_EQ(
      text,
      R"({"type":"FeatureCollection","name":"名前 \"x\"","features":[)"
      "\n"
      R"({"type":"Feature","properties":{"waterSystemCode":"012345","waterSystemName":"水系<一>",)"
      R"("riverCode":"0123450001","riverName":"テスト\"川\\","sectionType":1,"originalDataType":2,)"
      R"("curveId":7,"lengthKm":2.022,"stroke":"#ff0000"},"geometry":{"type":"LineString",)"
      R"("coordinates":[[139,35],[139,35.01],[139.01,35.01]]}},)"
      "\n"
      R"({"type":"Feature","properties":{"waterSystemCode":"012345","waterSystemName":"水系<一>",)"
      R"("riverCode":"0123450002","riverName":"A&B","sectionType":-3,"originalDataType":0,)"
      R"("curveId":8,"lengthKm":0.000,"stroke":"#abcdef"},"geometry":null},)"
      "\n"
      R"({"type":"Feature","properties":{"waterSystemCode":"000099","waterSystemName":null,)"
      R"("riverCode":"0000990001","riverName":"","sectionType":0,"originalDataType":0,)"
      R"("curveId":9,"lengthKm":0.000,"stroke":"#000001"},"geometry":null})"
      "\n]}\n");

  // Inside a page's script, no "<" of a name may start markup.
  const std::string safe = collectionText(
      data, list, "</script>",
      [](FeatureCollection& c) { EXPECT_TRUE(writeRiverFeatures(c, 123450001, 0).drawn()); }, true);
  EXPECT_EQ(safe.find('<'), std::string::npos);
  EXPECT_NE(safe.find(R"("name":"\u003c/script>")"), std::string::npos);
  EXPECT_NE(safe.find(R"("水系\u003c一>")"), std::string::npos);
}

TEST(FeatureCollection, EmptyCollectionWithoutName) {
  const RiverData data = DataBuilder().finish();
  EXPECT_EQ(collectionText(data, {}, "", [](FeatureCollection&) {}),
            "{\"type\":\"FeatureCollection\",\"features\":[\n\n]}\n");
}

TEST(FeatureCollection, SelectionFailsWhereThePageFails) {
  DataBuilder b;
  b.addCurve(1, {{35.0, 139.0}, {35.1, 139.1}});
  b.addPoint(1, 35.0, 139.0);
  b.addNode("rn1", 1);
  // River 1: its second stream's river nodes do not resolve, which the page never looks at.
  Stream& first = b.addStream(1, 10001, 1, "a");
  first.startRiverNode = nodeId("rn1");
  first.startStreamNode = nodeId("rn1");
  b.addStream(1, 10001, 1, "a").endRiverNode = nodeId("gone");
  // River 2: its first stream's end river node does not resolve.
  b.addStream(1, 10002, 1, "b").endRiverNode = nodeId("rn_missing");
  // River 3: both stream nodes fail, named in the page's order.
  Stream& both = b.addStream(1, 10003, 1, "c");
  both.startStreamNode = nodeId("s_gone");
  both.endStreamNode = nodeId("e_gone");
  // River 4: its second stream's curve is missing.
  b.addStream(1, 10004, 1, "d");
  b.addStream(1, 10004, 42, "d");
  const RiverData& data = b.finish();

  const auto resultOf = [&data](std::uint64_t river, std::int32_t expectedFeatures) {
    DrawResult result;
    collectionText(data, {}, "", [&](FeatureCollection& c) {
      result = writeRiverFeatures(c, river, 0);
      EXPECT_EQ(c.featureCount, expectedFeatures) << river;
    });
    return result;
  };
  EXPECT_TRUE(resultOf(10001, 2).drawn());
  DrawResult result = resultOf(10002, 0);
  EXPECT_EQ(result.kind, DrawResult::Kind::RiverNodeNotFound);
  EXPECT_EQ(result.nodeIds, std::vector<std::string>{"rn_missing"});
  result = resultOf(10003, 0);
  EXPECT_EQ(result.nodeIds, (std::vector<std::string>{"s_gone", "e_gone"}));
  result = resultOf(10004, 1);
  EXPECT_EQ(result.kind, DrawResult::Kind::CurveNotFound);
  EXPECT_EQ(result.curveId, 42);

  // The same streams in a collection of every stream: each failing one is left out with the
  // page's result (river nodes are looked at for every stream), the others are written.
  LeftOut leftOut;
  std::int32_t count = -1;
  const std::string text = collectionText(data, {}, "", [&](FeatureCollection& c) {
    count = writeEveryStreamFeatures(c, leftOut).leftOut;
    EXPECT_EQ(c.featureCount, 2);
  });
  EXPECT_EQ(count, 4);
  ASSERT_EQ(leftOut.results.size(), 4u);
  EXPECT_EQ(leftOut.results[0].nodeIds, std::vector<std::string>{"gone"});
  EXPECT_EQ(leftOut.results[1].nodeIds, std::vector<std::string>{"rn_missing"});
  EXPECT_EQ(leftOut.results[2].nodeIds, (std::vector<std::string>{"s_gone", "e_gone"}));
  EXPECT_EQ(leftOut.results[3].curveId, 42);
  EXPECT_NE(text.find("\"riverCode\":\"0000010001\""), std::string::npos);
  EXPECT_NE(text.find("\"riverCode\":\"0000010004\""), std::string::npos);
}

TEST(FeatureCollection, ColoursAndOrderAreThoseOfThePages) {
  // A large system (slow darkening), a small one whose smallest code ends in 0000, streams of
  // one river apart in the file.
  DataBuilder b;
  b.addCurve(1, {{35.0, 139.0}, {35.1, 139.1}});
  for (int i = 1; i <= 70; ++i) b.addStream(500, 5000000 + i, 1);
  b.addStream(300, 3000000, 1);
  b.addStream(300, 3000002, 1);
  b.addStream(300, 3000001, 1);
  b.addStream(500, 5000003, 1);
  const RiverData& data = b.finish();

  // A selection as the page mode takes it: a water system, a river, one with its own colour.
  MapPage page;
  startMemoryPage(page);
  std::int32_t pageIndex = 0;
  ASSERT_TRUE(drawWaterSystem(page, data, 300, 0, true, pageIndex).drawn());
  ASSERT_TRUE(drawRiver(page, data, 5000002, colorFromIndex(pageIndex++, kColorDarkening)).drawn());
  ASSERT_TRUE(drawWaterSystem(page, data, 500, 0x123456, false, pageIndex).drawn());
  ASSERT_TRUE(drawWaterSystem(page, data, 500, 0, true, pageIndex).drawn());
  std::vector<std::string> pageColors;
  const std::string& pageText = page.output.pending();
  for (std::size_t at = pageText.find("weight:2"); at != std::string::npos;
       at = pageText.find("weight:2", at + 1)) {
    pageColors.push_back(pageText.substr(at - 8, 6));
  }

  std::vector<SelectedRiver> rivers;
  std::int32_t colorIndex = 0;
  EXPECT_TRUE(appendSelectedRivers(data, 300, true, 0, colorIndex, rivers).drawn());
  EXPECT_TRUE(appendSelectedRivers(data, 5000002, true, 0, colorIndex, rivers).drawn());
  EXPECT_TRUE(appendSelectedRivers(data, 500, false, 0x123456, colorIndex, rivers).drawn());
  EXPECT_TRUE(appendSelectedRivers(data, 500, true, 0, colorIndex, rivers).drawn());
  EXPECT_EQ(colorIndex, pageIndex);
  ASSERT_EQ(rivers.size(), 3u + 1 + 70 + 70);
  EXPECT_EQ(rivers[0].riverCode, 3000001u);
  EXPECT_EQ(rivers[2].riverCode, 3000000u);
  const std::string text = collectionText(data, {}, "", [&](FeatureCollection& c) {
    for (const SelectedRiver& river : rivers) {
      EXPECT_TRUE(writeRiverFeatures(c, river.riverCode, river.color).drawn());
    }
  });
  EXPECT_EQ(strokes(text), pageColors);

  // Every stream: in file order, each in its colour on the page of its own water system.
  std::vector<std::string> expected;
  const auto systemColors = [&data](std::uint32_t ws) {
    std::vector<SelectedRiver> own;
    std::int32_t index = 0;
    appendSelectedRivers(data, ws, true, 0, index, own);
    return own;
  };
  for (const Stream& stream : data.streams) {
    for (const SelectedRiver& river : systemColors(stream.waterSystemCode)) {
      if (river.riverCode != stream.riverCode) continue;
      char hex[8];
      std::snprintf(hex, sizeof hex, "%06x", static_cast<unsigned>(river.color));
      expected.push_back(hex);
    }
  }
  LeftOut leftOut;
  const std::string every = collectionText(data, {}, "", [&](FeatureCollection& c) {
    EXPECT_EQ(writeEveryStreamFeatures(c, leftOut).leftOut, 0);
  });
  EXPECT_EQ(strokes(every), expected);
  EXPECT_EQ(strokes(every)[0], "ff0000");  // the first river of system 500, on its own page
}

TEST(FeatureCollection, EveryStreamIsTheSameWhenASecondThreadFormatsAhead) {
  // Enough streams for many blocks. Left out: the streams of the first blocks (so that the first
  // feature is most likely formatted ahead, and the text must still start without a separator),
  // a whole block in the middle, and single streams here and there; their results must come in
  // file order either way.
  DataBuilder b;
  for (int c = 1; c <= 40; ++c) {
    b.addCurve(c, {{35.0 + c * 0.001, 139.0}, {35.1, 139.1 + c * 0.0001}, {35.2, 139.3}});
  }
  constexpr int kStreams = 12000;
  std::vector<std::int32_t> missingCurves;
  for (int i = 0; i < kStreams; ++i) {
    const bool leftOut = i < 5200 || (i >= 8000 && i < 8400) || i % 997 == 3;
    const std::int32_t curve = leftOut ? 100000 + i : 1 + i % 40;
    if (leftOut) missingCurves.push_back(curve);
    b.addStream(100 + static_cast<std::uint32_t>(i / 500), 1000000 + i, curve);
  }
  const RiverData& data = b.finish();

  struct Export {
    std::string text;
    EveryStreamResult result;
    std::vector<std::int32_t> leftOutCurves;
  };
  const auto exportWith = [&data](bool drawAhead) {
    Export e;
    LeftOut leftOut;
    e.text = collectionText(data, {}, "rivers", [&](FeatureCollection& c) {
      e.result = writeEveryStreamFeatures(c, leftOut, DrawOptions{drawAhead, {}});
    });
    for (const DrawResult& r : leftOut.results) e.leftOutCurves.push_back(r.curveId);
    return e;
  };
  const Export inTurn = exportWith(false);
  EXPECT_EQ(inTurn.result.blocksFormattedAhead, 0u);
  EXPECT_EQ(inTurn.leftOutCurves, missingCurves);
  EXPECT_EQ(inTurn.result.leftOut, static_cast<std::int32_t>(missingCurves.size()));
  EXPECT_EQ(inTurn.text.find("[\n,"), std::string::npos);
  EXPECT_EQ(inTurn.text.find(",\n,"), std::string::npos);

  // The second thread takes part in at least some of the runs; on a busy machine it may not be
  // given a processor in time for one of them.
  std::size_t formattedAhead = 0;
  for (int run = 0; run < 5; ++run) {
    const Export ahead = exportWith(true);
    formattedAhead += ahead.result.blocksFormattedAhead;
    EXPECT_EQ(ahead.result.leftOut, inTurn.result.leftOut);
    EXPECT_EQ(ahead.leftOutCurves, inTurn.leftOutCurves);
    ASSERT_EQ(ahead.text.size(), inTurn.text.size());
    EXPECT_TRUE(ahead.text == inTurn.text);
  }
  EXPECT_GT(formattedAhead, 0u);
}
