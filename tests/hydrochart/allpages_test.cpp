#include "hydrochart/allpages.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/hydrochart/capturedreport.h"
#include "tests/support/files.h"
#include "tests/support/tempfolder.h"

namespace fs = std::filesystem;

namespace {

struct StreamSpec {
  std::uint32_t waterSystemCode;
  std::uint64_t riverCode;
  int sectionType;
  std::string riverName;
  int location = 0;  // 0: a curve of its own
};

std::string titleOf(const std::string& page) {
  const auto start = page.find("<title>");
  const auto end = page.find("</title>");
  if (start == std::string::npos || end == std::string::npos) return "(no title)";
  return page.substr(start + 7, end - start - 7);
}

// The colour of the first polyline of a page ("color:'#rrggbb'").
std::string firstColorOf(const std::string& page) {
  const auto at = page.find("color:'#");
  return at == std::string::npos ? "" : page.substr(at + 8, 6);
}

// W05 data text: one curve of two positions per stream (unless the stream names another).
std::string dataText(const std::vector<StreamSpec>& streams) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ksj:Dataset>\n";
  for (std::size_t id = 1; id <= streams.size(); ++id) {
    text += "<gml:Curve gml:id=\"cv" + std::to_string(id) +
            "\">\n<gml:segments>\n"
            "<gml:posList>\n35." +
            std::to_string(id) + " 139.0\n35.5 139." + std::to_string(id) +
            "\n</gml:posList>\n</gml:segments>\n</gml:Curve>\n";
  }
  int id = 0;
  for (const StreamSpec& s : streams) {
    ++id;
    const int location = s.location != 0 ? s.location : id;
    text += "<ksj:Stream gml:id=\"st" + std::to_string(id) +
            "\">\n"
            "<ksj:location xlink:href=\"#cv" +
            std::to_string(location) +
            "\"/>\n"
            "<ksj:waterSystemCode codeSpace=\"WaterSystemTypeCode.xml\">" +
            std::to_string(s.waterSystemCode) +
            "</ksj:waterSystemCode>\n"
            "<ksj:riverCode codeSpace=\"RiverTypeCode.xml\">" +
            std::to_string(s.riverCode) +
            "</ksj:riverCode>\n"
            "<ksj:sectionType>" +
            std::to_string(s.sectionType) +
            "</ksj:sectionType>\n"
            "<ksj:riverName>" +
            s.riverName +
            "</ksj:riverName>\n"
            "<ksj:originalDataType>1</ksj:originalDataType>\n"
            "</ksj:Stream>\n";
  }
  return text + "</ksj:Dataset>\n";
}

// Three water systems, their streams out of code order: 130020 with one river, 130010 with
// two, 140010 with one river that is not the system's main river.
const std::vector<StreamSpec> kThreeSystems = {
    {130020, 1300200001, 0, "鶴見川"},
    {130010, 1300100001, 1, "多摩川"},
    {130010, 1300100002, 1, "浅川"},
    {140010, 1400100002, 1, "支流"},
};

constexpr AllPagesResult::Kind kWritten = AllPagesResult::Kind::Written;

const WaterSystemCodeList kCodeList = {
    {130010, "多摩川"},
    {130020, "鶴見川"},
    {140099, "unused"},
};

class AllPagesTest : public ::testing::Test {
 protected:
  // Writes and loads a data file (its load report is not checked here).
  void load(const std::string& path, const std::vector<StreamSpec>& streams) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << dataText(streams);
    ASSERT_EQ(loadRiverData(path, data_), LoadStatus::Loaded);
    ASSERT_EQ(data_.streams.size(), streams.size());
  }

  // Writes the pages; `output` receives what the run shows while it goes on and, after a
  // failure, its error lines.
  AllPagesResult::Kind write(const std::string& path, const WaterSystemCodeList& list,
                             std::string& output) {
    CapturedReport captured;
    const AllPagesResult result = writeAllWaterSystemPages(path, data_, list, captured.report());
    captured.report().allPagesFailed(result);
    output = captured.takeOut();
    return result.kind;
  }

  TempFolder folder_{"w05allpages"};
  std::string root_ = folder_.path();
  RiverData data_;
};

TEST_F(AllPagesTest, PagesAreNamedAndTitledFromTheCodeList) {
  const std::string path = root_ + "/W05-09_13-g.xml";
  load(path, kThreeSystems);
  std::string out;
  ASSERT_EQ(write(path, kCodeList, out), kWritten);
  EXPECT_EQ(out, "130010(2) 130020(1) 140010(1) ");
  EXPECT_TRUE(data_.streams.empty());  // the data set is released
  EXPECT_TRUE(data_.pointList.empty());

  const std::string folder = root_ + "/W05-09_13-g_html";
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"130010_多摩川.htm", "130020_鶴見川.htm",
                                             "140010_その他.htm"}));
  const std::string tama = readFile(folder + "/130010_多摩川.htm");
  EXPECT_EQ(titleOf(tama), "130010 多摩川");
  EXPECT_EQ(titleOf(readFile(folder + "/130020_鶴見川.htm")), "130020 鶴見川");
  EXPECT_EQ(titleOf(readFile(folder + "/140010_その他.htm")), "140010");
  EXPECT_NE(tama.find("</body></html>\n"), std::string::npos);

  // Every page starts the automatic colours afresh.
  const std::string first = firstColorOf(tama);
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(firstColorOf(readFile(folder + "/130020_鶴見川.htm")), first);
  EXPECT_EQ(firstColorOf(readFile(folder + "/140010_その他.htm")), first);
  const auto second = tama.find("color:'#", tama.find("color:'#") + 1);
  ASSERT_NE(second, std::string::npos);
  EXPECT_NE(tama.substr(second + 8, 6), first);
}

TEST_F(AllPagesTest, WithoutCodeListTheMainRiverNamesTheSystem) {
  const std::string path = root_ + "/W05-09_13-g.xml";
  load(path, {{130010, 1300100001, 0, "無区間"},
              {130010, 1300100001, 2, "多摩川"},
              {130010, 1300100001, 1, "後の名"},
              {130020, 1300200001, 0, "鶴見川"},
              {140010, 1400100002, 1, "支流"},
              {150010, 150010, 1, "短い"}});
  std::string out;
  ASSERT_EQ(write(path, {}, out), kWritten);
  EXPECT_EQ(out, "130010(3) 130020(1) 140010(1) 150010(1) ");
  const std::string folder = root_ + "/W05-09_13-g_html/";
  EXPECT_EQ(titleOf(readFile(folder + "130010_多摩川.htm")), "130010 多摩川");
  EXPECT_EQ(titleOf(readFile(folder + "130020_その他.htm")), "130020");
  EXPECT_EQ(titleOf(readFile(folder + "140010_その他.htm")), "140010");
  EXPECT_EQ(titleOf(readFile(folder + "150010_その他.htm")), "150010");
}

// A label that is there but empty is a label: the page is "CODE_.htm" titled "CODE ", not
// the page of a system without a label.
TEST_F(AllPagesTest, EmptyLabelIsALabel) {
  const std::string path = root_ + "/W05-09_13-g.xml";
  load(path, kThreeSystems);
  std::string out;
  ASSERT_EQ(write(path, {{130010, ""}, {130020, "鶴見川"}}, out), kWritten);
  const std::string folder = root_ + "/W05-09_13-g_html/";
  EXPECT_EQ(titleOf(readFile(folder + "130010_.htm")), "130010 ");
  EXPECT_FALSE(fs::exists(folder + "130010_その他.htm"));
  EXPECT_EQ(titleOf(readFile(folder + "140010_その他.htm")), "140010");

  // Without a code list: a main river whose name is empty (or missing) names the system "".
  fs::remove_all(root_ + "/W05-09_13-g_html");
  load(path, {{130010, 1300100001, 1, ""}, {130020, 1300200001, 0, ""}});
  ASSERT_EQ(write(path, {}, out), kWritten);
  EXPECT_EQ(titleOf(readFile(folder + "130010_.htm")), "130010 ");
  EXPECT_EQ(titleOf(readFile(folder + "130020_その他.htm")), "130020");
}

TEST_F(AllPagesTest, FolderComesFromTheFirstDotXmlOfThePath) {
  // Upper case "XML" is no ".xml": no folder, no page, and still success.
  const std::string upper = root_ + "/W05-09_13-g.XML";
  load(upper, kThreeSystems);
  std::string out;
  EXPECT_EQ(write(upper, kCodeList, out), kWritten);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(data_.streams.empty());
  EXPECT_FALSE(fs::exists(root_ + "/W05-09_13-g_html"));
  EXPECT_FALSE(fs::exists(root_ + "/W05-09_13-g.XML_html"));

  // ".xml" in a folder name cuts the path there.
  const std::string nested = root_ + "/set.xml.d/W05-09_13-g.xml";
  load(nested, kThreeSystems);
  EXPECT_EQ(write(nested, kCodeList, out), kWritten);
  EXPECT_EQ(out, "130010(2) 130020(1) 140010(1) ");
  EXPECT_TRUE(fs::exists(root_ + "/set_html/130010_多摩川.htm"));
  EXPECT_FALSE(fs::exists(root_ + "/set.xml.d/W05-09_13-g_html"));

  // A data set without streams still gets its folder.
  const std::string empty = root_ + "/W05-01_01-g.xml";
  load(empty, {});
  EXPECT_EQ(write(empty, kCodeList, out), kWritten);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(fs::is_directory(root_ + "/W05-01_01-g_html"));
  EXPECT_TRUE(fs::is_empty(root_ + "/W05-01_01-g_html"));
}

TEST_F(AllPagesTest, PageThatCannotBeCreatedIsSkipped) {
  const std::string path = root_ + "/W05-09_13-g.xml";
  load(path, kThreeSystems);
  const WaterSystemCodeList slashed = {{130010, "多摩川"}, {130020, "鶴見/川"}};
  std::string out;
  ASSERT_EQ(write(path, slashed, out), kWritten);
  EXPECT_EQ(out, "130010(2) ** Error: html file could not created. 130020\n140010(1) ");
  EXPECT_TRUE(fs::exists(root_ + "/W05-09_13-g_html/130010_多摩川.htm"));
  EXPECT_FALSE(fs::exists(root_ + "/W05-09_13-g_html/130020_鶴見"));
  EXPECT_TRUE(fs::exists(root_ + "/W05-09_13-g_html/140010_その他.htm"));

  // A path beyond the platform's limit fails every page in the same way.
  const std::string longPath = root_ + "/" + std::string(4100, 'd') + ".xml";
  load(path, kThreeSystems);
  ASSERT_EQ(write(longPath, kCodeList, out), kWritten);
  EXPECT_EQ(out,
            "** Error: html file could not created. 130010\n"
            "** Error: html file could not created. 130020\n"
            "** Error: html file could not created. 140010\n");
  EXPECT_TRUE(data_.streams.empty());
}

TEST_F(AllPagesTest, ExistingPagesAreOverwrittenAndOthersStay) {
  const std::string folder = root_ + "/W05-09_13-g_html";
  fs::create_directories(folder);
  std::ofstream(folder + "/130010_多摩川.htm") << "old page";
  std::ofstream(folder + "/990000_古い.htm") << "stale page";
  const std::string path = root_ + "/W05-09_13-g.xml";
  load(path, kThreeSystems);
  std::string out;
  ASSERT_EQ(write(path, kCodeList, out), kWritten);
  EXPECT_EQ(readFile(folder + "/130010_多摩川.htm").rfind("<!DOCTYPE html>\n", 0), 0u);
  EXPECT_EQ(readFile(folder + "/990000_古い.htm"), "stale page");
}

TEST_F(AllPagesTest, PagesNeedTheirOwnCheckOnlyWhenTheFolderMayHoldAnInput) {
  const std::string data = root_ + "/W05-09_13-g.xml";
  const std::string list = root_ + "/WaterSystemCodeCd.xml";
  std::ofstream(data) << "data";
  std::ofstream(list) << "list";
  const std::string folder = root_ + "/W05-09_13-g_html";
  fs::create_directories(folder);
  const auto checksEachPage = [&](std::size_t pages) {
    RunInputs inputs = identifyRunInputs(data, list);
    checkFolderOfPages(folder, pages, inputs);
    return inputs.checkEachPage;
  };
  EXPECT_FALSE(checksEachPage(3));  // empty
  std::ofstream(folder + "/130010_多摩川.htm") << "old page";
  fs::create_directories(folder + "/sub");
  EXPECT_FALSE(checksEachPage(3));
  EXPECT_TRUE(checksEachPage(1));  // more entries than pages: each page is checked instead

  // Any entry that is an input, or that cannot be looked at, keeps the checks.
  const std::string entry = folder + "/100001_小川.htm";
  fs::create_symlink(data, entry);
  EXPECT_TRUE(checksEachPage(10)) << "symbolic link to the data file";
  fs::remove(entry);
  fs::create_hard_link(list, entry);
  EXPECT_TRUE(checksEachPage(10)) << "hard link to the code list";
  fs::remove(entry);
  fs::create_symlink("nowhere.xml", entry);
  EXPECT_TRUE(checksEachPage(10)) << "link to nothing";
  fs::remove(entry);
  EXPECT_FALSE(checksEachPage(10));
}

TEST_F(AllPagesTest, DrawingAndWritingFailuresEndTheRun) {
  // A stream whose curve does not exist makes drawing fail: result 2, data set kept.
  const std::string path = root_ + "/W05-09_13-g.xml";
  load(path, {{130010, 1300100001, 1, "多摩川"}, {130020, 1300200001, 1, "鶴見川", 99}});
  std::string out;
  EXPECT_EQ(write(path, kCodeList, out), AllPagesResult::Kind::DrawingFailed);
  EXPECT_EQ(out, "130010(1) 130020Not found Stream ID 99\n");
  EXPECT_EQ(data_.streams.size(), 2u);
  const std::string unfinished = readFile(root_ + "/W05-09_13-g_html/130020_鶴見川.htm");
  EXPECT_EQ(unfinished.rfind("<!DOCTYPE html>\n", 0), 0u);
  EXPECT_EQ(unfinished.find("</html>"), std::string::npos);
  releaseRiverData(data_);

  // A page whose bytes do not reach the disk is a failure with its own result.
  fs::remove(root_ + "/W05-09_13-g_html/130010_多摩川.htm");
  fs::create_symlink("/dev/full", root_ + "/W05-09_13-g_html/130010_多摩川.htm");
  load(path, kThreeSystems);
  EXPECT_EQ(write(path, kCodeList, out), AllPagesResult::Kind::PageNotWritten);
  EXPECT_EQ(out, "130010** Error: html file could not created. 130010\n");
  releaseRiverData(data_);

  // A page path that names the code list being read: the list is left alone, the run ends.
  fs::remove(root_ + "/W05-09_13-g_html/130010_多摩川.htm");
  const std::string codeListPath = root_ + "/W05-09_13-g_html/130020_鶴見川.htm";
  std::ofstream(codeListPath) << "code list";
  load(path, kThreeSystems);
  CapturedReport captured;
  const AllPagesResult result =
      writeAllWaterSystemPages(path, data_, kCodeList, captured.report(), codeListPath);
  EXPECT_EQ(result.kind, AllPagesResult::Kind::PageNotWritten);
  EXPECT_EQ(captured.takeOut(), "130010(2) ** Error: html file could not created. 130020\n");
  EXPECT_EQ(captured.takeErr(), "hydrochart: \"" + codeListPath +
                                    "\" is the code list being read; it is not overwritten\n");
  EXPECT_EQ(readFile(codeListPath), "code list");
  EXPECT_FALSE(data_.streams.empty());  // kept after a failure
}

}  // namespace
