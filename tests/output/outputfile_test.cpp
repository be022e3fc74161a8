#include "hydrochart/output/outputfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/tempfolder.h"

namespace fs = std::filesystem;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(OutputFileTest, InPlaceFilesKeepWhatWasWrittenWhenLeftUnfinished) {
  TempFolder folder;
  const std::string path = folder.file("page.htm");
  std::ofstream(path) << "a longer previous content";
  {
    OutputFile file;
    ASSERT_TRUE(file.open(path));
    file.append("first part\n");
  }
  EXPECT_EQ(readFile(path), "first part\n");

  // Opening the next file finishes the one still open; a failed open changes nothing.
  OutputFile file;
  ASSERT_TRUE(file.open(path));
  file.append("one");
  EXPECT_FALSE(file.open(folder.file("missing/x.htm")));
  EXPECT_TRUE(file.isOpen());
  EXPECT_EQ(file.pending(), "one");
  ASSERT_TRUE(file.open(folder.file("second.htm")));
  EXPECT_EQ(readFile(path), "one");
  EXPECT_TRUE(file.close());
  EXPECT_FALSE(file.isOpen());
  EXPECT_FALSE(file.close());  // nothing open
}

TEST(OutputFileTest, ReplacedFilesAppearWholeOrNotAtAll) {
  TempFolder folder;
  const std::string path = folder.file("index.html");
  std::ofstream(path) << "previous\n";
  ::chmod(path.c_str(), 0604);
  {
    OutputFile file;
    ASSERT_TRUE(file.open(path, OutputFile::Mode::Replace));
    file.append("new text that never arrives\n");
    EXPECT_TRUE(file.flush());
    EXPECT_EQ(readFile(path), "previous\n");
  }  // left unfinished: the old file stays, and no temporary file is left behind
  EXPECT_EQ(readFile(path), "previous\n");
  EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"index.html"});

  OutputFile file;
  ASSERT_TRUE(file.open(path, OutputFile::Mode::Replace));
  file.append("new\n");
  ASSERT_TRUE(file.close());
  EXPECT_EQ(readFile(path), "new\n");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"index.html"});

  // A file in a folder that does not exist cannot be created.
  EXPECT_FALSE(file.open(folder.file("missing/index.html"), OutputFile::Mode::Replace));
}

TEST(OutputFileTest, WriteFailuresAreKeptUntilTheClose) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  for (const OutputFile::Mode mode : {OutputFile::Mode::InPlace, OutputFile::Mode::Replace}) {
    // A device is written in place in both modes.
    OutputFile file;
    ASSERT_TRUE(file.open("/dev/full", mode));
    file.append(std::string(OutputFile::kBlockSize, ' '));
    EXPECT_TRUE(file.pending().empty());
    file.append("more text after the failure\n");
    EXPECT_FALSE(file.close());

    // The next file starts clean.
    TempFolder folder;
    ASSERT_TRUE(file.open(folder.file("ok.txt"), mode));
    file.append("ok\n");
    EXPECT_TRUE(file.close());
    EXPECT_EQ(readFile(folder.file("ok.txt")), "ok\n");
  }
}

TEST(OutputFileTest, LargeTextArrivesWholeInBlocks) {
  TempFolder folder;
  const std::string path = folder.file("large.txt");
  std::string body;
  for (int i = 0; i < 300000; ++i) body += "//line " + std::to_string(i) + "\n";
  OutputFile file;
  ASSERT_TRUE(file.open(path, OutputFile::Mode::Replace));
  for (std::size_t at = 0; at < body.size(); at += 1000) {
    file.append(std::string_view(body).substr(at, 1000));
    EXPECT_LT(file.pending().size(), OutputFile::kBlockSize);
  }
  ASSERT_TRUE(file.close());
  EXPECT_EQ(readFile(path), body);
}

}  // namespace

TEST(OutputFileTest, TextKeptInMemoryStaysUntilTheNextOpen) {
  TempFolder folder;
  const std::string path = folder.file("page.htm");
  OutputFile file;
  ASSERT_TRUE(file.open(path));
  file.append("written\n");
  // The open file is finished first; then no flush gives the text away, however large.
  file.openInMemory();
  EXPECT_EQ(readFile(path), "written\n");
  const std::string large(OutputFile::kBlockSize + 10, 'x');
  file.append(large);
  EXPECT_TRUE(file.flush());
  EXPECT_EQ(file.pending(), large);
  EXPECT_FALSE(file.close());  // there is no file to close
  ASSERT_TRUE(file.open(path));
  file.append("again\n");
  EXPECT_TRUE(file.close());
  EXPECT_EQ(readFile(path), "again\n");
}
