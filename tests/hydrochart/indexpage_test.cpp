#include "hydrochart/indexpage.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/tempfolder.h"

namespace fs = std::filesystem;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string expectedFile(const std::string& name) {
  const char* source = std::getenv("W05_SOURCE_DIR");
  return readFile(std::string(source != nullptr ? source : ".") + "/tests/hydrochart/data/" + name);
}

class IndexPageTest : public ::testing::Test {
 protected:
  void touch(const std::string& relative) {
    fs::create_directories(fs::path(base_ + "/" + relative).parent_path());
    std::ofstream(base_ + "/" + relative) << "<html></html>\n";
  }

  int run(const std::string& folder, std::string& output) {
    ::testing::internal::CaptureStdout();
    const int result = createIndexPage(folder);
    output = ::testing::internal::GetCapturedStdout();
    return result;
  }

  // Output folders of three prefectures, with the cases that must stay out of the index.
  void makeFolders() {
    touch("W05-08_01-g_html/010001_石狩川.htm");
    touch("W05-09_13-g_html/130010_多摩川.htm");
    touch("W05-09_13-g_html/130020_その他.htm");
    touch("W05-09_13-g_html/130030_a.b.htm");
    touch("W05-09_13-g_html/noseparator.htm");
    touch("W05-09_13-g_html/readme.txt");
    fs::create_directories(base_ + "/W05-09_13-g_html/folder.htm");
    touch("W05-09_14-g_html/140010_相模川.htm");
    touch("W05-07_14-g_html/149999_replaced.htm");  // same prefecture, earlier in name order
    touch("W05-09_00-g_html/000001_zero.htm");      // code 00
    touch("W05-09_48-g_html/480001_beyond.htm");    // code above 47
    touch("W05-09_02-g_html");                      // a plain file
    touch("W05-09_13-g_htmlx/130010_x.htm");        // does not match the pattern
  }

  TempFolder folder_{"w05index"};
  std::string base_ = folder_.path();
};

TEST_F(IndexPageTest, ListsTheLastFolderOfEachPrefectureInCodeOrder) {
  makeFolders();
  std::string out;
  ASSERT_EQ(run(base_, out), 0);
  const std::string indexPath = base_ + "/index.html";
  EXPECT_EQ(out, "\"" + indexPath + "\" was created and processed. Pref=3 WS=6\n");
  EXPECT_EQ(readFile(indexPath), expectedFile("index_expected.html"));

  // An existing index is overwritten by the next run.
  std::ofstream(indexPath) << "old content that is longer than nothing";
  ASSERT_EQ(run(base_, out), 0);
  EXPECT_EQ(readFile(indexPath), expectedFile("index_expected.html"));
}

TEST_F(IndexPageTest, EmptyBaseFolderMeansTheWorkingDirectory) {
  touch("W05-09_14-g_html/140010_相模川.htm");
  const fs::path previous = fs::current_path();
  fs::current_path(base_);
  std::string out;
  const int result = run("", out);
  fs::current_path(previous);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(out, "\"./index.html\" was created and processed. Pref=1 WS=1\n");
  EXPECT_NE(readFile(base_ + "/index.html")
                .find("<a href=\"W05-09_14-g_html/140010_相模川.htm\">"
                      "<small>140010 </small>相模川</a> <br><p>\n"),
            std::string::npos);
}

TEST_F(IndexPageTest, FailuresGiveTheirResultsAndMessages) {
  std::string out;
  EXPECT_EQ(run(base_ + "/missing", out), 1);
  EXPECT_EQ(out, "** Error: Folder \"" + base_ + "/missing\" not exists.\n");
  touch("plain");
  EXPECT_EQ(run(base_ + "/plain", out), 1);
  EXPECT_EQ(out, "** Error: Folder \"" + base_ + "/plain\" not exists.\n");

  // No matching folder: nothing printed and no index written.
  touch("W05-09_13-g/130010_多摩川.htm");
  EXPECT_EQ(run(base_, out), 2);
  EXPECT_EQ(out, "");
  EXPECT_FALSE(fs::exists(base_ + "/index.html"));

  // The index cannot be created where a folder takes its name.
  touch("W05-09_13-g_html/130010_多摩川.htm");
  fs::create_directory(base_ + "/index.html");
  EXPECT_EQ(run(base_, out), 3);
  EXPECT_EQ(out, "** Error: \"" + base_ + "/index.html\" could not be created.\n");
  fs::remove(base_ + "/index.html");

  // Writes that do not reach the disk are a failure, not a success line.
  fs::create_symlink("/dev/full", base_ + "/index.html");
  EXPECT_EQ(run(base_, out), 3);
  EXPECT_EQ(out, "\"" + base_ + "/index.html\" was created** Error: \"" + base_ +
                     "/index.html\" could not be created.\n");
  fs::remove(base_ + "/index.html");
}

TEST_F(IndexPageTest, FolderWithoutPagesStopsAfterItsHeading) {
  touch("W05-08_01-g_html/010001_石狩川.htm");
  fs::create_directories(base_ + "/W05-09_13-g_html");
  touch("W05-09_13-g_html/130010.html.txt");
  touch("W05-09_14-g_html/140010_相模川.htm");
  std::string out;
  EXPECT_EQ(run(base_, out), 4);
  EXPECT_EQ(out, "\"" + base_ + "/index.html\" was created");
  const std::string index = readFile(base_ + "/index.html");
  const std::string expected = expectedFile("index_expected.html");
  const std::string head = expected.substr(0, expected.find("<h3>"));
  EXPECT_EQ(index, head +
                       "<h3>北海道</h3>\n"
                       "<a href=\"W05-08_01-g_html/010001_石狩川.htm\"><small>010001 </small>"
                       "石狩川</a> <br><p>\n"
                       "<h3>東京都</h3>\n");

  // A folder whose only match is a folder still counts as holding pages: no links, no failure.
  fs::create_directories(base_ + "/W05-09_13-g_html/only.htm");
  EXPECT_EQ(run(base_, out), 0);
  EXPECT_EQ(out, "\"" + base_ + "/index.html\" was created and processed. Pref=3 WS=2\n");
  EXPECT_NE(readFile(base_ + "/index.html").find("<h3>東京都</h3>\n<br><p>\n<h3>神奈川県</h3>\n"),
            std::string::npos);
}

}  // namespace
