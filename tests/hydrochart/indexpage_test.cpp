#include "hydrochart/indexpage.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/hydrochart/capturedreport.h"
#include "tests/support/files.h"
#include "tests/support/tempfolder.h"

namespace fs = std::filesystem;

namespace {

std::string expectedFile(const std::string& name) {
  return readFile(sourcePath("tests/hydrochart/data/" + name));
}

constexpr IndexResult::Kind kWritten = IndexResult::Kind::Written;

class IndexPageTest : public ::testing::Test {
 protected:
  void touch(const std::string& relative) {
    fs::create_directories(fs::path(base_ + "/" + relative).parent_path());
    std::ofstream(base_ + "/" + relative) << "<html></html>\n";
  }

  // Writes the index; `output` receives the lines a run shows, `errors_` its warnings.
  IndexResult::Kind run(const std::string& folder, std::string& output) {
    CapturedReport captured;
    const IndexResult result = createIndexPage(folder, captured.report());
    captured.report().indexPage(result);
    output = captured.takeOut();
    errors_ = captured.takeErr();
    return result.kind;
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
  std::string errors_;
  std::string base_ = folder_.path();
};

TEST_F(IndexPageTest, ListsTheLastFolderOfEachPrefectureInCodeOrder) {
  makeFolders();
  std::string out;
  ASSERT_EQ(run(base_, out), kWritten);
  const std::string indexPath = base_ + "/index.html";
  EXPECT_EQ(out, "\"" + indexPath + "\" was created and processed. Pref=3 WS=6\n");
  EXPECT_EQ(readFile(indexPath), expectedFile("index_expected.html"));

  // An existing index is overwritten by the next run.
  std::ofstream(indexPath) << "old content that is longer than nothing";
  ASSERT_EQ(run(base_, out), kWritten);
  EXPECT_EQ(readFile(indexPath), expectedFile("index_expected.html"));
}

TEST_F(IndexPageTest, EmptyBaseFolderMeansTheWorkingDirectory) {
  touch("W05-09_14-g_html/140010_相模川.htm");
  const fs::path previous = fs::current_path();
  fs::current_path(base_);
  std::string out;
  const IndexResult::Kind result = run("", out);
  fs::current_path(previous);
  EXPECT_EQ(result, kWritten);
  EXPECT_EQ(out, "\"./index.html\" was created and processed. Pref=1 WS=1\n");
  EXPECT_NE(readFile(base_ + "/index.html")
                .find("<a href=\"W05-09_14-g_html/140010_相模川.htm\">"
                      "<small>140010 </small>相模川</a> <br><p>\n"),
            std::string::npos);
}

TEST_F(IndexPageTest, FailuresGiveTheirResultsAndMessages) {
  std::string out;
  EXPECT_EQ(run(base_ + "/missing", out), IndexResult::Kind::FolderMissing);
  EXPECT_EQ(out, "** Error: Folder \"" + base_ + "/missing\" not exists.\n");
  touch("plain");
  EXPECT_EQ(run(base_ + "/plain", out), IndexResult::Kind::FolderMissing);
  EXPECT_EQ(out, "** Error: Folder \"" + base_ + "/plain\" not exists.\n");

  // No matching folder: nothing printed and no index written.
  touch("W05-09_13-g/130010_多摩川.htm");
  EXPECT_EQ(run(base_, out), IndexResult::Kind::NoOutputFolder);
  EXPECT_EQ(out, "");
  EXPECT_FALSE(fs::exists(base_ + "/index.html"));

  // The index cannot be created where a folder takes its name.
  touch("W05-09_13-g_html/130010_多摩川.htm");
  fs::create_directory(base_ + "/index.html");
  EXPECT_EQ(run(base_, out), IndexResult::Kind::NotCreated);
  EXPECT_EQ(out, "** Error: \"" + base_ + "/index.html\" could not be created.\n");
  fs::remove(base_ + "/index.html");

  // Writes that do not reach the disk are a failure, not a success line.
  fs::create_symlink("/dev/full", base_ + "/index.html");
  EXPECT_EQ(run(base_, out), IndexResult::Kind::NotCreated);
  EXPECT_EQ(out, "\"" + base_ + "/index.html\" was created** Error: \"" + base_ +
                     "/index.html\" could not be created.\n");
  fs::remove(base_ + "/index.html");
}

// An output folder without any page (hydrochart leaves one for a data file without water
// systems) is named on standard error and left out; the index is finished all the same.
TEST_F(IndexPageTest, FolderWithoutPagesIsLeftOut) {
  touch("W05-08_01-g_html/010001_石狩川.htm");
  fs::create_directories(base_ + "/W05-09_13-g_html");
  touch("W05-09_13-g_html/130010.html.txt");
  touch("W05-09_14-g_html/140010_相模川.htm");
  std::string out;
  EXPECT_EQ(run(base_, out), kWritten);
  EXPECT_EQ(errors_, "hydrochart: \"" + base_ +
                         "/W05-09_13-g_html\" holds no page; left out of the index\n");
  EXPECT_EQ(out, "\"" + base_ + "/index.html\" was created and processed. Pref=2 WS=2\n");
  const std::string expected = expectedFile("index_expected.html");
  const std::size_t tokyo = expected.find("<h3>東京都</h3>");
  const std::size_t kanagawa = expected.find("<h3>神奈川県</h3>");
  EXPECT_EQ(readFile(base_ + "/index.html"), expected.substr(0, tokyo) + expected.substr(kanagawa));

  // An earlier folder of the same prefecture that holds pages is listed in its place.
  touch("W05-07_13-g_html/130099_前川.htm");
  EXPECT_EQ(run(base_, out), kWritten);
  EXPECT_NE(errors_.find("W05-09_13-g_html"), std::string::npos);
  EXPECT_EQ(out, "\"" + base_ + "/index.html\" was created and processed. Pref=3 WS=3\n");
  EXPECT_NE(readFile(base_ + "/index.html")
                .find("<h3>東京都</h3>\n<a href=\"W05-07_13-g_html/130099_前川.htm\">"),
            std::string::npos);

  // A folder whose only match is a folder still counts as holding pages: no links, no failure.
  fs::remove_all(base_ + "/W05-07_13-g_html");
  fs::create_directories(base_ + "/W05-09_13-g_html/only.htm");
  EXPECT_EQ(run(base_, out), kWritten);
  EXPECT_EQ(out, "\"" + base_ + "/index.html\" was created and processed. Pref=3 WS=2\n");
  EXPECT_NE(readFile(base_ + "/index.html").find("<h3>東京都</h3>\n<br><p>\n<h3>神奈川県</h3>\n"),
            std::string::npos);

  // No folder with pages at all: an index without prefectures.
  fs::remove_all(base_ + "/W05-08_01-g_html");
  fs::remove_all(base_ + "/W05-09_13-g_html");
  fs::remove_all(base_ + "/W05-09_14-g_html/140010_相模川.htm");
  EXPECT_EQ(run(base_, out), kWritten);
  EXPECT_EQ(readFile(base_ + "/index.html"), expected.substr(0, expected.find("<h3>")) +
                                                 expected.substr(expected.find("<small><hr>")));
}

// The index is put in place whole or not at all: the previous index survives a failed run, no
// temporary file stays behind, and an index reached through a link is replaced behind the link.
TEST_F(IndexPageTest, PreviousIndexSurvivesAFailedRun) {
  touch("W05-09_14-g_html/140010_相模川.htm");
  const std::string indexPath = base_ + "/index.html";
  std::ofstream(indexPath) << "previous index\n";
  ::chmod(indexPath.c_str(), 0640);
  std::string out;
  ASSERT_EQ(run(base_, out), kWritten);
  EXPECT_NE(readFile(indexPath).find("140010_相模川.htm"), std::string::npos);
  struct stat status {};
  ASSERT_EQ(::stat(indexPath.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);  // the old index's permissions are kept

  // A file-size limit below the index's size: the write fails and the old index stays.
  std::ofstream(indexPath) << "previous index\n";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit = {200, 200};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    CapturedReport captured;
    const IndexResult result = createIndexPage(base_, captured.report());
    ::_exit(result.kind == IndexResult::Kind::NotCreated ? 3 : 0);
  }
  int waited = 0;
  ASSERT_EQ(::waitpid(child, &waited, 0), child);
  ASSERT_TRUE(WIFEXITED(waited));
  EXPECT_EQ(WEXITSTATUS(waited), 3);
  EXPECT_EQ(readFile(indexPath), "previous index\n");
  for (const auto& entry : fs::directory_iterator(base_)) {
    EXPECT_EQ(entry.path().filename().string().find(".index.html-"), std::string::npos)
        << "temporary file left: " << entry.path();
  }

  // Through a symbolic link: the link stays, the file it names gets the new index.
  fs::create_directories(base_ + "/real");
  fs::remove(indexPath);
  std::ofstream(base_ + "/real/index.html") << "previous index\n";
  fs::create_symlink("real/index.html", indexPath);
  ASSERT_EQ(run(base_, out), kWritten);
  EXPECT_TRUE(fs::is_symlink(indexPath));
  EXPECT_NE(readFile(base_ + "/real/index.html").find("140010_相模川.htm"), std::string::npos);
}

}  // namespace
