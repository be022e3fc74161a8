#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/tempfolder.h"

namespace fs = std::filesystem;
using namespace platform;

class FilesTest : public ::testing::Test {
 protected:
  void touch(const std::string& name) { std::ofstream(root_ + "/" + name) << "x"; }
  TempFolder folder_{"w05files"};
  std::string root_ = folder_.path();
};

TEST_F(FilesTest, FindFilesMatchesWildcardsInNameOrder) {
  touch("W05-09_13-g.xml");
  touch("W05-09_01-g.xml");
  touch("W05-09_01-g.txt");
  touch(".hidden.xml");
  fs::create_directory(root_ + "/dir.xml");
  const auto found = findFiles(root_ + "/*.xml");
  ASSERT_EQ(found.size(), 4u);
  EXPECT_EQ(found[0].name, ".hidden.xml");
  EXPECT_EQ(found[1].name, "W05-09_01-g.xml");
  EXPECT_EQ(found[2].name, "W05-09_13-g.xml");
  EXPECT_EQ(found[3].name, "dir.xml");
  EXPECT_TRUE(found[3].isDirectory);
  EXPECT_FALSE(found[1].isDirectory);
  EXPECT_EQ(findFiles(root_ + "/W05-?\?_?\?-g.xml").size(), 2u);
  EXPECT_TRUE(findFiles(root_ + "/nothing*").empty());
  EXPECT_TRUE(findFiles(root_ + "/missing/*").empty());
}

TEST_F(FilesTest, MakeDirectoryCreatesOneLevelAndAcceptsExisting) {
  EXPECT_TRUE(makeDirectory(root_ + "/a"));
  EXPECT_TRUE(makeDirectory(root_ + "/a"));
  EXPECT_TRUE(isDirectory(root_ + "/a"));
  EXPECT_FALSE(makeDirectory(root_ + "/x/y"));
  touch("file");
  EXPECT_FALSE(makeDirectory(root_ + "/file"));
  EXPECT_TRUE(pathExists(root_ + "/file"));
  EXPECT_FALSE(isDirectory(root_ + "/file"));
}

TEST_F(FilesTest, FileIdentityNamesAFileWhateverItsSpelling) {
  const std::string a = folder_.write("a.xml", "a");
  const std::string b = folder_.write("b.xml", "b");
  fs::create_directory(folder_.file("sub"));
  fs::create_symlink(a, folder_.file("link.xml"));
  fs::create_hard_link(a, folder_.file("hard.xml"));
  const FileIdentity identity = fileIdentity(a);
  ASSERT_TRUE(identity.exists);
  EXPECT_EQ(fileIdentity(folder_.file("sub/../a.xml")), identity);
  EXPECT_EQ(fileIdentity(folder_.file("link.xml")), identity);
  EXPECT_EQ(fileIdentity(folder_.file("hard.xml")), identity);
  EXPECT_NE(fileIdentity(b), identity);
  EXPECT_FALSE(fileIdentity(folder_.file("missing.xml")).exists);
}

TEST(PathParts, RemoveLastComponent) {
  EXPECT_EQ(removeLastComponent("a/b/c.xml"), "a/b");
  EXPECT_EQ(removeLastComponent("c.xml"), "");
  EXPECT_EQ(removeLastComponent("/c.xml"), "/");
  EXPECT_FALSE(programDirectory().empty());
}

// Only "*" and "?" are wildcards: a bracket in a name matches itself and never stands for a
// set of characters, and a backslash is an ordinary character of a name.
TEST(PathParts, ProgramDataDirectoryIsTheShareFolderBesideThePrograms) {
  EXPECT_EQ(programDataDirectory("/usr/bin", "hydrochart"), "/usr/share/hydrochart");
  EXPECT_EQ(programDataDirectory("/usr/local/bin", "hydrochart"), "/usr/local/share/hydrochart");
  EXPECT_EQ(programDataDirectory("/tmp/stage/usr/bin", "x"), "/tmp/stage/usr/share/x");
  EXPECT_EQ(programDataDirectory("/bin", "hydrochart"), "/share/hydrochart");
  EXPECT_EQ(programDataDirectory("/", "hydrochart"), "/share/hydrochart");
  EXPECT_EQ(programDataDirectory("", "hydrochart"), "");
}

TEST_F(FilesTest, BracketsAndBackslashesMatchThemselves) {
  touch("W05-01_01-g[1].xml");
  touch("W05-01_01-g1.xml");
  touch("a\\b.xml");
  touch("ab.xml");
  auto names = [](const std::vector<DirectoryEntry>& found) {
    std::vector<std::string> result;
    for (const auto& entry : found) result.push_back(entry.name);
    return result;
  };
  using Names = std::vector<std::string>;
  EXPECT_EQ(names(findFiles(root_ + "/W05-01_01-g[1].xml")), Names{"W05-01_01-g[1].xml"});
  EXPECT_EQ(names(findFiles(root_ + "/W05-01_01-g[?].xml")), Names{"W05-01_01-g[1].xml"});
  EXPECT_EQ(names(findFiles(root_ + "/*[1]*")), Names{"W05-01_01-g[1].xml"});
  EXPECT_TRUE(findFiles(root_ + "/W05-01_01-g[0-9].xml").empty());
  EXPECT_TRUE(findFiles(root_ + "/W05-01_01-g[!x].xml").empty());
  EXPECT_EQ(names(findFiles(root_ + "/a\\b.xml")), Names{"a\\b.xml"});
  EXPECT_EQ(names(findFiles(root_ + "/a\\*")), Names{"a\\b.xml"});
  EXPECT_EQ(names(findFiles(root_ + "/W05-01_01-g?.xml")), Names{"W05-01_01-g1.xml"});
}

// The temporary folder of the tests fails the test when it cannot be made; it never falls back
// to a shared folder that its removal would empty.
TEST_F(FilesTest, ReadWholeFileReadsRegularFilesWithinTheLimit) {
  const std::string bytes("a\r\nb\0c", 7);
  const std::string path = folder_.write("list.txt", bytes);
  std::string content = "left over";
  EXPECT_EQ(readWholeFile(path, content), FileRead::Read);
  EXPECT_EQ(content, bytes);
  EXPECT_EQ(readWholeFile(path, content, 7), FileRead::Read);
  EXPECT_EQ(readWholeFile(path, content, 6), FileRead::TooLarge);
  EXPECT_EQ(readWholeFile(folder_.file("missing"), content), FileRead::NotFound);
  EXPECT_EQ(readWholeFile(root_, content), FileRead::NotFound);  // a folder
  // A pipe that nobody writes to is refused at once instead of waiting for a writer.
  const std::string fifo = folder_.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(readWholeFile(fifo, content), FileRead::NotRegularFile);
  EXPECT_EQ(readWholeFile("/dev/null", content), FileRead::NotRegularFile);
}

TEST_F(FilesTest, ReadFileStartReadsOnlyTheFirstBytesOfRegularFiles) {
  const std::string bytes("PK\3\4\0rest", 9);
  const std::string path = folder_.write("data.zip", bytes);
  std::string content = "left over";
  ASSERT_TRUE(readFileStart(path, content, 4));
  EXPECT_EQ(content, bytes.substr(0, 4));
  ASSERT_TRUE(readFileStart(path, content, 100));  // a shorter file is read whole
  EXPECT_EQ(content, bytes);
  ASSERT_TRUE(readFileStart(folder_.write("empty.xml", ""), content, 100));
  EXPECT_EQ(content, "");
  content = "left over";
  EXPECT_FALSE(readFileStart(folder_.file("missing"), content, 100));
  EXPECT_EQ(content, "");
  EXPECT_FALSE(readFileStart(root_, content, 100));  // a folder
  // A pipe nobody writes to must not make the run wait.
  const std::string fifo = folder_.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(readFileStart(fifo, content, 100));
  EXPECT_FALSE(readFileStart("/dev/zero", content, 100));
}

TEST_F(FilesTest, TextFilesReadCrLfAsLf) {
  EXPECT_EQ(withLineFeeds("a\r\nb\r\r\nc\rd\n\r"), "a\nb\r\nc\rd\n\r");
  std::string text;
  ASSERT_TRUE(readTextFile(folder_.write("t.txt", "x\r\ny\r\n"), text));
  EXPECT_EQ(text, "x\ny\n");
  EXPECT_FALSE(readTextFile(folder_.file("missing"), text));
}

TEST(TempFolderHelper, FailsInsteadOfFallingBack) {
  TempFolder outer("w05tempfolder");
  const std::string marker = outer.write("keep.txt", "x");
  const char* previous = std::getenv("TMPDIR");
  const std::string saved = previous != nullptr ? previous : "";
  for (const std::string& base : {marker, outer.file("missing")}) {
    ::setenv("TMPDIR", base.c_str(), 1);
    EXPECT_THROW(TempFolder("w05tempfolder"), std::runtime_error) << base;
  }
  ::setenv("TMPDIR", outer.path().c_str(), 1);
  std::string made;
  {
    TempFolder inner("w05inner");
    made = inner.path();
    EXPECT_EQ(made.rfind(outer.path() + "/w05inner.", 0), 0u) << made;
    EXPECT_TRUE(fs::is_directory(made));
  }
  EXPECT_FALSE(fs::exists(made));
  EXPECT_TRUE(fs::exists(marker));
  if (previous != nullptr) {
    ::setenv("TMPDIR", saved.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
}
