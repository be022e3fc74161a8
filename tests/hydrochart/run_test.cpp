#include "hydrochart/run.h"

#include <gtest/gtest.h>

namespace {

// The mode a run takes; "ws_codelabel" without a code list takes the data mode of the arguments.
RunMode modeOf(std::vector<std::string> args, bool haveCodeList = true) {
  const RunMode mode = chooseRunMode(args);
  return mode == RunMode::CodeLabel && !haveCodeList ? chooseDataMode(args) : mode;
}

}  // namespace

TEST(ChooseRunMode, FollowsTheOrderOfTheTests) {
  EXPECT_EQ(modeOf({}), RunMode::Usage);
  EXPECT_EQ(modeOf({"--help"}), RunMode::Help);
  EXPECT_EQ(modeOf({"-h", "x"}), RunMode::Help);
  EXPECT_EQ(modeOf({"--version"}), RunMode::Version);
  EXPECT_EQ(modeOf({"create_index"}), RunMode::IndexPage);
  EXPECT_EQ(modeOf({"CREATE_INDEX", "out"}), RunMode::IndexPage);
  EXPECT_EQ(modeOf({"Create_Index", "a", "b"}), RunMode::IndexPage);
  EXPECT_EQ(modeOf({"ws_codelabel"}), RunMode::CodeLabel);
  EXPECT_EQ(modeOf({"ws_codelabel", "out.txt", "x"}), RunMode::CodeLabel);
  EXPECT_EQ(modeOf({"data/W05-*.xml", "ignored"}), RunMode::Batch);
  EXPECT_EQ(modeOf({"W05-09_13-g.xml"}), RunMode::Batch);
  EXPECT_EQ(modeOf({"W05-09_13-g.xml", "*"}), RunMode::AllWaterSystems);
  EXPECT_EQ(modeOf({"W05-09_13-g.xml", "*.htm"}), RunMode::Page);
  EXPECT_EQ(modeOf({"W05-09_13-g.xml", "out.htm"}), RunMode::Page);
}

TEST(ChooseRunMode, CodeLabelNeedsExactNameAndACodeList) {
  EXPECT_EQ(modeOf({"WS_CODELABEL"}), RunMode::Batch);
  EXPECT_EQ(modeOf({"WS_CODELABEL", "x.txt"}), RunMode::Page);
  EXPECT_EQ(modeOf({"ws_codelabel"}, false), RunMode::Batch);
  EXPECT_EQ(modeOf({"ws_codelabel", "x.txt"}, false), RunMode::Page);
  EXPECT_EQ(modeOf({"ws_codelabel", "*"}, false), RunMode::AllWaterSystems);
  EXPECT_EQ(codeLabelFileName({"ws_codelabel", "out.txt"}), "out.txt");
  EXPECT_EQ(codeLabelFileName({"ws_codelabel"}), "ws_codelabel.txt");
  EXPECT_EQ(codeLabelFileName({"ws_codelabel", "out.txt", "x"}), "ws_codelabel.txt");
  for (const RunMode mode : {RunMode::Usage, RunMode::Help, RunMode::Version, RunMode::IndexPage}) {
    EXPECT_FALSE(readsCodeList(mode));
  }
  for (const RunMode mode :
       {RunMode::CodeLabel, RunMode::Batch, RunMode::AllWaterSystems, RunMode::Page}) {
    EXPECT_TRUE(readsCodeList(mode));
  }
}

TEST(ParseCodeArgument, ReadsCodeSeparatorAndColour) {
  auto a = parseCodeArgument("1300130002/00ff00");
  EXPECT_EQ(a.code, 1300130002u);
  EXPECT_FALSE(a.automatic);
  EXPECT_EQ(a.color, 0x00ff00u);

  a = parseCodeArgument("130010");
  EXPECT_EQ(a.code, 130010u);
  EXPECT_TRUE(a.automatic);

  a = parseCodeArgument("  +130010");  // white space and sign as the standard conversion takes them
  EXPECT_EQ(a.code, 130010u);
  EXPECT_TRUE(a.automatic);

  a = parseCodeArgument("130010:");  // separator without colour digits: black, not automatic
  EXPECT_FALSE(a.automatic);
  EXPECT_EQ(a.color, 0u);

  a = parseCodeArgument("130010//ff");  // a second separator is not skipped
  EXPECT_EQ(a.color, 0u);

  a = parseCodeArgument("130010#0xAbCdEf");
  EXPECT_EQ(a.color, 0xabcdefu);

  a = parseCodeArgument("1xffffffffff");  // colours are 32-bit: saturate
  EXPECT_EQ(a.color, 0xffffffffu);

  a = parseCodeArgument("1x-1");
  EXPECT_EQ(a.color, 0xffffffffu);
}

TEST(ParseCodeArgument, CodeBoundariesAndOverflow) {
  EXPECT_EQ(parseCodeArgument("999999").code, 999999u);
  EXPECT_EQ(parseCodeArgument("1000000").code, 1000000u);
  EXPECT_EQ(parseCodeArgument("99999999999999999999999").code, UINT64_MAX);
  EXPECT_EQ(parseCodeArgument("").code, 0u);
  EXPECT_TRUE(parseCodeArgument("").automatic);
  const auto letters = parseCodeArgument("abc");
  EXPECT_EQ(letters.code, 0u);
  EXPECT_FALSE(letters.automatic);
  EXPECT_EQ(letters.color, 0xbcu);
}

TEST(ChooseRunMode, GeoJsonTakesDataFileOrPattern) {
  EXPECT_EQ(modeOf({"--geojson"}), RunMode::Usage);
  EXPECT_EQ(modeOf({"--geojson", "W05-09_13-g.xml"}), RunMode::GeoJson);
  EXPECT_EQ(modeOf({"--geojson", "W05-09_13-g.xml", "*"}), RunMode::GeoJson);
  EXPECT_EQ(modeOf({"--geojson", "data/W05-*.xml"}), RunMode::GeoJsonBatch);
  EXPECT_EQ(modeOf({"--geojson", "W05-09_1?-g.xml"}), RunMode::GeoJsonBatch);
  EXPECT_EQ(modeOf({"--geojson", "W05-*.xml", "out.geojson"}), RunMode::GeoJson);
  EXPECT_EQ(modeOf({"--geojson", "d.xml", "o.geojson", "t", "130010", "1300100002/ff0000"}),
            RunMode::GeoJson);
  EXPECT_TRUE(readsCodeList(RunMode::GeoJson));
  EXPECT_TRUE(readsCodeList(RunMode::GeoJsonBatch));
  // Spelt otherwise it stays what it was: a data file name.
  EXPECT_EQ(modeOf({"--GEOJSON", "x.xml"}), RunMode::Page);
}

TEST(ChooseRunMode, AtlasOptionTakesTheModesThatWritePages) {
  EXPECT_EQ(modeOf({"--atlas"}), RunMode::Usage);
  EXPECT_EQ(modeOf({"--atlas", "W05-09_13-g.xml", "out.htm", "t", "130010"}), RunMode::Page);
  EXPECT_EQ(modeOf({"--atlas", "W05-09_13-g.xml", "*"}), RunMode::AllWaterSystems);
  EXPECT_EQ(modeOf({"--atlas", "data/W05-*.xml"}), RunMode::Batch);
  EXPECT_EQ(modeOf({"--atlas", "W05-09_13-g.xml"}), RunMode::Batch);
  // After the option, the words of the other modes name data like any other argument.
  EXPECT_EQ(modeOf({"--atlas", "create_index"}), RunMode::Batch);
  EXPECT_EQ(modeOf({"--atlas", "ws_codelabel", "x.txt"}), RunMode::Page);
  EXPECT_EQ(modeOf({"--atlas", "--geojson", "x.xml"}), RunMode::Page);
  EXPECT_TRUE(selectsAtlas({"--atlas", "x.xml", "*"}));
  // Only as the first argument, spelt exactly: elsewhere it is what it was before.
  EXPECT_FALSE(selectsAtlas({"x.xml", "--atlas"}));
  EXPECT_EQ(modeOf({"x.xml", "--atlas"}), RunMode::Page);
  EXPECT_FALSE(selectsAtlas({"--ATLAS", "x.xml", "*"}));
  EXPECT_EQ(modeOf({"--ATLAS", "x.xml", "*"}), RunMode::Page);
  EXPECT_FALSE(selectsAtlas({"--geojson", "--atlas"}));
  EXPECT_FALSE(selectsAtlas({}));
}

TEST(GeoJsonFileName, ReplacesTheDataExtension) {
  EXPECT_EQ(geoJsonFileName("W05-09_13-g.xml"), "W05-09_13-g.geojson");
  EXPECT_EQ(geoJsonFileName("dir/W05-09_13-g.XML"), "dir/W05-09_13-g.geojson");
  EXPECT_EQ(geoJsonFileName("dir.xml/data"), "dir.xml/data.geojson");
  EXPECT_EQ(geoJsonFileName("data.xml.bak"), "data.xml.bak.geojson");
  EXPECT_EQ(geoJsonFileName(".xml"), ".geojson");
}
