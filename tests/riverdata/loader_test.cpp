#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "hydrochart/riverdata/riverdata.h"
#include "platform/textconv.h"
#include "tests/support/files.h"
#include "tests/support/tempfolder.h"

namespace {

std::string curve(const std::string& id, const std::string& positions) {
  return "<gml:Curve gml:id=\"" + id +
         "\">\n<gml:segments>\n<gml:LineStringSegment>\n<gml:posList>\n" + positions +
         "</gml:posList>\n</gml:LineStringSegment>\n</gml:segments>\n</gml:Curve>\n";
}

std::string point(const std::string& id, const std::string& pos) {
  return "<gml:Point gml:id=\"" + id + "\">\n\t<gml:pos>" + pos + "</gml:pos>\n</gml:Point>\n";
}

std::string riverNode(const std::string& id, const std::string& pointId) {
  return "<ksj:RiverNode gml:id=\"" + id + "\">\n\t<ksj:position xlink:href=\"#" + pointId +
         "\"/>\n</ksj:RiverNode>\n";
}

std::string stream(const std::string& children) {
  return "<ksj:Stream gml:id=\"st_1\">\n" + children + "</ksj:Stream>\n";
}

std::string child(const std::string& name, const std::string& value) {
  return "\t<ksj:" + name + ">" + value + "</ksj:" + name + ">\n";
}

std::string reference(const std::string& name, const std::string& target) {
  return "\t<ksj:" + name + " xlink:href=\"#" + target + "\"/>\n";
}

std::string fullStream(const std::string& location, const std::string& code,
                       const std::string& riverCode, const std::string& name) {
  return stream(reference("location", location) +
                "\t<ksj:waterSystemCode codeSpace=\"WaterSystemTypeCode.xml\">" + code +
                "</ksj:waterSystemCode>\n" + "\t<ksj:riverCode codeSpace=\"RiverTypeCode.xml\">" +
                riverCode + "</ksj:riverCode>\n" + child("sectionType", "1") +
                child("riverName", name) + child("originalDataType", "2") +
                reference("startRiverNode", "rn_1") + reference("endRiverNode", "rn_2") +
                reference("startStreamNode", "rn_1") + reference("endStreamNode", "rn_2"));
}

std::string document(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ksj:Dataset gml:id=\"W05Dataset\">\n" +
         body + "</ksj:Dataset>\n";
}

constexpr LoadStatus kLoaded = LoadStatus::Loaded;

class LoaderTest : public ::testing::Test {
 protected:
  // Loads `bytes` from a file; `counts_` receives the sizes the load report shows.
  LoadStatus load(const std::string& bytes) {
    path_ = folder_.write("W05-test.xml", bytes);
    const LoadStatus result = loadRiverData(path_, data_);
    counts_ = report(static_cast<int>(data_.pointList.size()),
                     static_cast<int>(data_.streams.size()), static_cast<int>(data_.curves.size()),
                     data_.maxCv, static_cast<int>(data_.riverNodes.size()),
                     static_cast<int>(data_.points.size()), data_.maxPt);
    return result;
  }
  static std::string report(int pointList, int streams, int curves, int maxCv, int nodes,
                            int points, int maxPt) {
    char line[512];
    std::snprintf(line, sizeof line,
                  "pointList=%d Stream=%d Curve=%d(maxCv=%d) Node=%d Point=%d(maxPt=%d)", pointList,
                  streams, curves, maxCv, nodes, points, maxPt);
    return line;
  }

  TempFolder folder_;
  std::string path_;
  std::string counts_;
  RiverData data_;
};

TEST_F(LoaderTest, LoadsAllRecordKindsInFileOrder) {
  const std::string body = "<!-- synthetic -->\n" + curve("cv_1", "35.1 139.1\n35.2 139.2\n") +
                           curve("cv_7", "35.3 139.3\n") + point("pt_1", "35.1 139.1") +
                           point("pt_2", "35.3 139.3") +
                           fullStream("cv_7", "130010", "1300100001", "多摩川") +
                           riverNode("rn_1", "pt_1") + riverNode("rn_2", "pt_2");
  ASSERT_EQ(load(document(body)), kLoaded);
  EXPECT_EQ(counts_, report(3, 1, 2, 7, 2, 2, 2));

  ASSERT_EQ(data_.pointList.size(), 3u);
  EXPECT_EQ(data_.pointList[0].lat, 35.1);
  EXPECT_EQ(data_.pointList[0].lon, 139.1);
  EXPECT_EQ(data_.pointList[2].lon, 139.3);
  ASSERT_EQ(data_.curves.size(), 2u);
  EXPECT_EQ(data_.curves[0].first, 0);
  EXPECT_EQ(data_.curves[0].last, 1);
  EXPECT_EQ(data_.curves[0].id, 1);
  EXPECT_EQ(data_.curves[1].first, 2);
  EXPECT_EQ(data_.curves[1].last, 2);
  EXPECT_EQ(data_.curves[1].id, 7);
  ASSERT_EQ(data_.points.size(), 2u);
  EXPECT_EQ(data_.points[1].lat, 35.3);
  EXPECT_EQ(data_.points[1].id, 2);

  ASSERT_EQ(data_.streams.size(), 1u);
  const Stream& s = data_.streams[0];
  EXPECT_EQ(s.waterSystemCode, 130010u);
  EXPECT_EQ(s.location, 7);
  EXPECT_EQ(s.riverCode, 1300100001u);
  EXPECT_EQ(s.sectionType, 1);
  EXPECT_EQ(s.originalDataType, 2);
  EXPECT_STREQ(s.riverName, "多摩川");
  EXPECT_EQ(nodeIdView(s.startRiverNode), "rn_1");
  EXPECT_EQ(nodeIdView(s.endRiverNode), "rn_2");
  EXPECT_EQ(nodeIdView(s.startStreamNode), "rn_1");
  EXPECT_EQ(nodeIdView(s.endStreamNode), "rn_2");

  ASSERT_EQ(data_.riverNodes.size(), 2u);
  EXPECT_EQ(nodeIdView(data_.riverNodes[1].id), "rn_2");
  EXPECT_EQ(data_.riverNodes[1].position, 2);

  // The indexes are built by the load.
  EXPECT_EQ(findCurveIndex(data_, 7), 1);
  EXPECT_EQ(findPointIndex(data_, 2), 1);
  EXPECT_EQ(findRiverNodeIndex(data_, "rn_2"), 1);
  EXPECT_EQ(streamsOfRiver(data_, 1300100001).size(), 1u);
  EXPECT_EQ(streamsOfWaterSystem(data_, 130010).size(), 1u);
}

TEST_F(LoaderTest, FilesThatGiveNoDataOrCannotBeOpened) {
  ASSERT_EQ(load(""), kLoaded);
  EXPECT_EQ(counts_, report(0, 0, 0, 0, 0, 0, 0));
  EXPECT_TRUE(data_.streams.empty());

  EXPECT_EQ(loadRiverData(folder_.path() + "/missing.xml", data_), LoadStatus::NotOpened);
  // A folder is no file to read.
  EXPECT_EQ(loadRiverData(folder_.path(), data_), LoadStatus::NotOpened);

  // Random bytes load as a file without records (or with whatever they happen to hold).
  std::string noise;
  std::uint64_t state = 7;
  for (int i = 0; i < 300000; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    noise += static_cast<char>(state >> 56);
  }
  EXPECT_EQ(load(noise), kLoaded);
  EXPECT_EQ(load(noise + curve("cv_1", "35 139\n") + noise), kLoaded);
}

TEST_F(LoaderTest, PositionListEdges) {
  // An empty list, a list with a comment line, one that runs to the end of the file.
  const std::string body =
      curve("cv_1", "") + curve("cv_2", "35.1 139.1\n<!-- removed -->\n35.2 139.2\n") +
      curve("cv_abc", "1 2\n") + "<gml:Curve gml:id=\"cv_4\">\n<gml:posList>\n36 140\n36.5 140.5\n";
  ASSERT_EQ(load(body), kLoaded);
  ASSERT_EQ(data_.curves.size(), 4u);
  EXPECT_EQ(data_.curves[0].first, 0);
  EXPECT_EQ(data_.curves[0].last, -1);
  EXPECT_EQ(data_.curves[1].first, 0);
  EXPECT_EQ(data_.curves[1].last, 1);
  // An id text without a digit reads as 0.
  EXPECT_EQ(data_.curves[2].id, 0);
  EXPECT_EQ(data_.curves[3].first, 3);
  EXPECT_EQ(data_.curves[3].last, 4);
  EXPECT_EQ(data_.pointList.size(), 5u);
  EXPECT_EQ(counts_, report(5, 0, 4, 4, 0, 0, 0));
}

TEST_F(LoaderTest, CoordinateLinesAreReadAsTheLayoutSays) {
  const std::string body = curve("cv_1",
                                 "35.5 139.25\n"
                                 "no-blank-here\n"  // no pair from a line without blank
                                 "1e1 0x10\n"       // strtod forms
                                 "  36.5 140.5\n"   // indented: second number after the first blank
                                 "35.1 139.1 extra words\n"
                                 "abc def\n") +
                           curve("cv_2", "37 141</gml:posList>\n") +  // closing line holds no pair
                           curve("cv_3", "38 142\n</gml:Curve>\n39 143\n");
  ASSERT_EQ(load(body), kLoaded);
  ASSERT_EQ(data_.curves.size(), 3u);
  ASSERT_EQ(data_.pointList.size(), 7u);
  EXPECT_EQ(data_.pointList[0].lat, 35.5);
  EXPECT_EQ(data_.pointList[0].lon, 139.25);
  EXPECT_EQ(data_.pointList[1].lat, 10.0);
  EXPECT_EQ(data_.pointList[1].lon, 16.0);
  EXPECT_EQ(data_.pointList[2].lat, 36.5);
  EXPECT_EQ(data_.pointList[2].lon, 36.5);
  EXPECT_EQ(data_.pointList[3].lon, 139.1);
  EXPECT_EQ(data_.pointList[4].lat, 0.0);
  EXPECT_EQ(data_.pointList[4].lon, 0.0);
  EXPECT_EQ(data_.curves[1].last, data_.curves[1].first - 1);
  // Inside a position list only its own closing tag counts.
  EXPECT_EQ(data_.curves[2].last - data_.curves[2].first, 1);
}

TEST_F(LoaderTest, CurveAndPointIdsAndElementShapes) {
  const std::string body =
      curve("cv_3000000000", "1 1\n") +  // reads as negative: not stored
      "<gml:Curve gml:id=\"cv_5>\n<gml:posList>\n2 2\n</gml:posList>\n</gml:Curve>\n" +  // no
                                                                                         // closing
                                                                                         // quote
      "<gml:Curve gml:id=\"cv_6\">\n<gml:posList>\n3 3\n</gml:posList>\n<gml:posList>\n4 4\n"
      "</gml:posList>\n</gml:Curve>\n" +  // two lists: two records with one id
      point("pt_4294967295", "9 9") +
      point("pt_3", "35.5 139.5") +
      "<gml:Point gml:id=\"pt_4\">\n<gml:pos>36 140\n</gml:Point>\n" +  // closing pos tag missing
      "<gml:Point gml:id=\"pt_5\">\n<gml:pos>36140</gml:pos>\n</gml:Point>\n";  // no blank
  ASSERT_EQ(load(body), kLoaded);
  ASSERT_EQ(data_.curves.size(), 2u);
  EXPECT_EQ(data_.curves[0].id, 6);
  EXPECT_EQ(data_.curves[1].id, 6);
  EXPECT_EQ(data_.curves[1].first, 1);
  EXPECT_EQ(data_.maxCv, 6);
  ASSERT_EQ(data_.points.size(), 2u);
  EXPECT_EQ(data_.points[0].id, 3);
  EXPECT_EQ(data_.points[1].id, 4);
  EXPECT_EQ(data_.points[1].lon, 140.0);
  EXPECT_EQ(data_.maxPt, 5);
  EXPECT_EQ(findCurveIndex(data_, 6), 0);
}

TEST_F(LoaderTest, StreamFieldsAndTheirEdges) {
  const std::string name63(63, 'n');
  // 'a' and 30 three-byte characters: 91 bytes, cut before the character that crosses 63.
  std::string longName = "a";
  for (int i = 0; i < 30; ++i) longName += "川";
  std::string veryLong;
  for (int i = 0; i < 66; ++i) veryLong += "川";  // 198 bytes
  const std::string body =
      stream(child("riverName", name63)) + stream(child("riverName", longName)) +
      stream(child("riverName", veryLong)) +
      stream("\t<ksj:riverName>割れた\n名前</ksj:riverName>\n") +  // closing tag on a later line
      stream(child("riverName", "first") + child("riverName", "second")) +  // a later line wins
      stream("<ksj:Stream gml:id=\"st_9\">\n" +
             child("sectionType", "4")) +  // second opening ignored
      stream("") +                         // every field empty
      stream(
          "\t<ksj:waterSystemCode codeSpace=\"WaterSystemTypeCode.xml\">-1</ksj:waterSystemCode>\n"
          "\t<ksj:riverCode "
          "codeSpace=\"RiverTypeCode.xml\">99999999999999999999</ksj:riverCode>\n" +
          child("sectionType", " +12") + child("originalDataType", "99999999999") +
          reference("location", "cv_12x") + reference("startRiverNode", "rn_1234567890123") +
          reference("endRiverNode", "rn_12345678901234") +
          "\t<ksj:startStreamNode xlink:href=\"#open/>\n" +  // no closing quote: not stored
          "\t<ksj:sectionType>5\n");                         // no end tag: not stored
  ASSERT_EQ(load(body), kLoaded);
  ASSERT_EQ(data_.streams.size(), 8u);
  EXPECT_EQ(std::string(data_.streams[0].riverName), name63);
  EXPECT_EQ(std::string(data_.streams[1].riverName), longName.substr(0, 61));
  EXPECT_EQ(std::string(data_.streams[2].riverName), veryLong.substr(0, 63));
  EXPECT_STREQ(data_.streams[3].riverName, "");
  EXPECT_STREQ(data_.streams[4].riverName, "second");
  EXPECT_EQ(data_.streams[5].sectionType, 4);
  const Stream& empty = data_.streams[6];
  EXPECT_EQ(empty.waterSystemCode, 0u);
  EXPECT_EQ(empty.riverCode, 0u);
  EXPECT_STREQ(empty.riverName, "");
  EXPECT_TRUE(nodeIdView(empty.startRiverNode).empty());
  EXPECT_TRUE(nodeIdView(empty.endRiverNode).empty());
  const Stream& numbers = data_.streams[7];
  EXPECT_EQ(numbers.waterSystemCode, 4294967295u);
  EXPECT_EQ(numbers.riverCode, 18446744073709551615u);
  EXPECT_EQ(numbers.sectionType, 12);
  EXPECT_EQ(numbers.originalDataType, INT32_MAX);
  EXPECT_EQ(numbers.location, 12);
  EXPECT_EQ(std::string(numbers.startRiverNode.data(), 13), "rn_1234567890");
  EXPECT_EQ(nodeIdView(numbers.endRiverNode), "rn_1234567890");
  EXPECT_TRUE(nodeIdView(numbers.startStreamNode).empty());
}

TEST_F(LoaderTest, RiverNodesNeedAPointReadBefore) {
  const std::string body =
      point("pt_1", "35 139") + riverNode("rn_early", "pt_2") +  // refers past every Point so far
      point("pt_2", "36 140") +
      riverNode("rn_1234567890123", "pt_2") +  // 16 bytes: the first 13 kept
      "<ksj:RiverNode gml:id=\"rn_9\">\n<ksj:position xlink:href=\"#pt_1\"/>\n"
      "<ksj:position xlink:href=\"#pt_2\"/>\n</ksj:RiverNode>\n" +  // the first position stands
      "<ksj:RiverNode gml:id=>\n<ksj:position xlink:href=\"#pt_1\"/>\n</ksj:RiverNode>\n" +  // no
                                                                                             // id
      riverNode("rn_neg", "pt_4294967295") +  // negative position
      riverNode("rn_open", "pt_1\"") +
      "<ksj:RiverNode gml:id=\"rn_x\">\n"
      "<ksj:position xlink:href=\"#pt_1/>\n</ksj:RiverNode>\n";  // no closing quote
  ASSERT_EQ(load(body), kLoaded);
  ASSERT_EQ(data_.riverNodes.size(), 3u);
  EXPECT_EQ(std::string(data_.riverNodes[0].id.data(), 13), "rn_1234567890");
  EXPECT_EQ(data_.riverNodes[0].position, 2);
  EXPECT_EQ(nodeIdView(data_.riverNodes[1].id), "rn_9");
  EXPECT_EQ(data_.riverNodes[1].position, 1);
  EXPECT_EQ(nodeIdView(data_.riverNodes[2].id), "rn_open");
  // A 13-byte reference finds the 13-byte id; a longer text is compared over 13 bytes.
  EXPECT_EQ(findRiverNodeIndex(data_, "rn_1234567890"), 0);
  EXPECT_EQ(findRiverNodeIndex(data_, "rn_1234567890123"), 0);
  EXPECT_EQ(findRiverNodeIndex(data_, "rn_early"), -1);
  EXPECT_EQ(counts_, report(0, 0, 0, 0, 3, 2, 2));
}

TEST_F(LoaderTest, StreamGmlIdHasNoEffect) {
  const std::string a =
      "<ksj:Stream gml:id=\"st_1\">\n" + child("sectionType", "3") + "</ksj:Stream>\n";
  const std::string b =
      "<ksj:Stream gml:id=\"other_99\">\n" + child("sectionType", "3") + "</ksj:Stream>\n";
  ASSERT_EQ(load(a), kLoaded);
  const std::string first = counts_;
  const Stream one = data_.streams.at(0);
  ASSERT_EQ(load(b), kLoaded);
  EXPECT_EQ(counts_, first);
  EXPECT_EQ(std::memcmp(&one, &data_.streams.at(0), sizeof one), 0);
}

TEST_F(LoaderTest, ArraysGrowPastTheirFirstCapacityKeepingRecords) {
  std::string positions;
  positions.reserve(200001 * 12);
  for (int i = 0; i < 200001; ++i) positions += std::to_string(i) + " 1\n";
  std::string streams;
  for (int i = 0; i < 5001; ++i) {
    streams += "<ksj:Stream gml:id=\"s\">\n" + child("sectionType", std::to_string(i + 1)) +
               "</ksj:Stream>\n";
  }
  streams += "<ksj:Stream gml:id=\"last\">\n</ksj:Stream>\n";
  ASSERT_EQ(load(curve("cv_1", positions) + streams), kLoaded);
  ASSERT_EQ(data_.pointList.size(), 200001u);
  EXPECT_EQ(data_.pointList[0].lat, 0.0);
  EXPECT_EQ(data_.pointList[199999].lat, 199999.0);
  EXPECT_EQ(data_.pointList[200000].lat, 200000.0);
  ASSERT_EQ(data_.streams.size(), 5002u);
  EXPECT_EQ(data_.streams[0].sectionType, 1);
  EXPECT_EQ(data_.streams[4999].sectionType, 5000);
  EXPECT_EQ(data_.streams[5000].sectionType, 5001);
  EXPECT_EQ(data_.streams[5001].sectionType, 0);
  EXPECT_EQ(data_.streams[5001].riverName[0], '\0');
  EXPECT_EQ(counts_, report(200001, 5002, 1, 1, 0, 0, 0));
}

TEST_F(LoaderTest, ALoadReplacesTheEarlierDataSet) {
  ASSERT_EQ(load(curve("cv_9", "1 1\n") + fullStream("cv_9", "1", "10001", "x")), kLoaded);
  ASSERT_EQ(load(curve("cv_2", "2 2\n")), kLoaded);
  EXPECT_EQ(data_.curves.size(), 1u);
  EXPECT_TRUE(data_.streams.empty());
  EXPECT_EQ(findCurveIndex(data_, 9), -1);
  EXPECT_TRUE(streamsOfRiver(data_, 10001).empty());
  EXPECT_EQ(data_.maxCv, 2);
}

TEST(BundledSamples, LoadWithEveryReferenceResolved) {
  const std::string root = sourcePath();
  for (const char* name : {"W05-09_13-g.xml", "W05-09_14-g.xml"}) {
    RiverData data;
    ASSERT_EQ(loadRiverData(root + "/sample/" + name, data), kLoaded) << name;
    EXPECT_GE(data.streams.size(), 10u);
    for (const Stream& stream : data.streams) {
      EXPECT_GE(findCurveIndex(data, stream.location), 0);
      EXPECT_GE(static_cast<unsigned char>(stream.riverName[0]), 0xE3);  // a Japanese name
      for (const NodeIdText* node : {&stream.startRiverNode, &stream.endRiverNode,
                                     &stream.startStreamNode, &stream.endStreamNode}) {
        const std::int32_t index = findRiverNodeIndex(data, nodeIdView(*node));
        ASSERT_GE(index, 0);
        EXPECT_GE(findPointIndex(data, data.riverNodes[index].position), 0);
      }
    }
  }
  RiverData tokyo;
  ASSERT_EQ(loadRiverData(root + "/sample/W05-09_13-g.xml", tokyo), kLoaded);
  const std::vector<std::int32_t>& main = streamsOfRiver(tokyo, 1300100001);
  ASSERT_FALSE(main.empty());
  EXPECT_STREQ(tokyo.streams[main[0]].riverName, "多摩川");
  EXPECT_FALSE(streamsOfRiver(tokyo, 1300100000).empty());
  EXPECT_GT(tokyo.streams[main[0]].sectionType, 0);
}

// A data file whose XML declaration names Shift_JIS or EUC-JP gets its river names in UTF-8;
// every other file keeps its name bytes as they stand.
TEST_F(LoaderTest, RiverNamesOfShiftJisAndEucJpFilesBecomeUtf8) {
  // ソ and 表 hold a backslash as their second Shift_JIS byte.
  const std::string names[] = {"多摩川", "ソ表川", "ｱｲ", std::string(22 * 3, 'x'),
                               "川川川川川川川川川川川川川川川川川川川川川川"};
  std::string streams;
  for (const std::string& name : names) streams += fullStream("cv_1", "130010", "1300100001", name);
  const std::string body = "<ksj:Dataset gml:id=\"W05Dataset\">\n" + streams + "</ksj:Dataset>\n";
  auto storedNames = [this]() {
    std::vector<std::string> stored;
    for (const Stream& stream : data_.streams) stored.emplace_back(stream.riverName);
    return stored;
  };
  const std::vector<std::string> expected = {"多摩川", "ソ表川", "ｱｲ", std::string(63, 'x'),
                                             "川川川川川川川川川川川川川川川川川川川川川"};
  for (const char* declared : {"Shift_JIS", "shift_jis", "SJIS", "Windows-31J"}) {
    const std::string declaration =
        std::string("<?xml version=\"1.0\" encoding=\"") + declared + "\"?>\n";
    ASSERT_EQ(load(platform::utf8ToCp932(declaration + body)), kLoaded) << declared;
    EXPECT_EQ(storedNames(), expected) << declared;
  }
  for (const char* declared : {"EUC-JP", "euc-jp", "x-euc-jp"}) {
    const std::string declaration =
        std::string("<?xml version='1.0' encoding='") + declared + "'?>\n";
    ASSERT_EQ(load(platform::convertText(declaration + body, "UTF-8", "EUC-JP")), kLoaded)
        << declared;
    EXPECT_EQ(storedNames(), expected) << declared;
  }

  // UTF-8 files, a byte-order mark, an unknown name and a declaration that is not on the first
  // line leave the bytes as they are.
  const std::string sjisBody = platform::utf8ToCp932(body);
  for (const std::string& first :
       {std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"),
        std::string("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n"),
        std::string("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"),
        std::string("<?xml version=\"1.0\"?> encoding=\"Shift_JIS\"\n"),
        std::string("<gml:description/>\n<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n")}) {
    ASSERT_EQ(load(first + sjisBody), kLoaded) << first;
    EXPECT_EQ(data_.streams[0].riverName, platform::utf8ToCp932("多摩川")) << first;
  }
  ASSERT_EQ(load("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + body), kLoaded);
  EXPECT_EQ(storedNames()[0], "多摩川");
}

// A position whose coordinate is not a finite number cannot be shown on any page: the load
// fails with its error line instead of storing it, whichever way the number is written.
TEST_F(LoaderTest, CoordinatesThatAreNotFiniteNumbersFailTheLoad) {
  for (const char* bad : {"nan 139.0", "35.0 inf", "-inf 139", "1e999 139.0", "35.0 -1e400",
                          "NAN 139", "0x1p2000 139", "35.0 infinity"}) {
    ASSERT_EQ(load(document(curve("cv_1", "35.1 139.1\n" + std::string(bad) + "\n"))),
              LoadStatus::NonFiniteCoordinate)
        << bad;
    EXPECT_TRUE(data_.pointList.empty()) << bad;
    EXPECT_TRUE(data_.curves.empty()) << bad;

    ASSERT_EQ(load(document(point("pt_1", "35.1 139.1") + point("pt_2", bad))),
              LoadStatus::NonFiniteCoordinate)
        << bad;
    EXPECT_TRUE(data_.points.empty()) << bad;
  }

  // Large finite values, lines that hold no pair and elements that are not stored still load.
  ASSERT_EQ(load(document(curve("cv_1", "1e308 -1.7976931348623157e308\nnan\n") +
                          curve("cv_3000000000", "nan nan\n") + point("pt_1", "inf"))),
            kLoaded);
  EXPECT_EQ(counts_, report(1, 0, 1, 1, 0, 0, 1));
  EXPECT_EQ(data_.pointList[0].lat, 1e308);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

TEST_F(LoaderTest, AnArrayThatCannotGrowEndsTheLoad) {
  if (kAddressSanitizer) GTEST_SKIP() << "an address-space limit does not work with the sanitizer";
  std::string positions;
  for (int i = 0; i < 1500000; ++i) positions += "35 139\n";
  const std::string path = folder_.write("big.xml", curve("cv_1", positions));

  // The load runs in a child process whose address space leaves no room for the positions.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
                         (rlim_t{16} << 20);
    const rlimit cap{limit, limit};
    if (setrlimit(RLIMIT_AS, &cap) != 0) _exit(91);
    RiverData data;
    const LoadStatus result = loadRiverData(path, data);
    _exit(result == LoadStatus::OutOfMemory ? 0 : 92);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
