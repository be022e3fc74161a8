// Writers kept in memory, text handed from one writer to another, and text written where it
// has nowhere to go.
#include <gtest/gtest.h>

#include <string>

#include "hydrochart/output/outputfile.h"
#include "tests/support/files.h"
#include "tests/support/tempfolder.h"

namespace {

TEST(OutputFileMemoryTest, TextOfWritersInMemoryFollowsTheTextBeforeIt) {
  TempFolder folder;
  const std::string path = folder.file("page.txt");
  OutputFile file;
  ASSERT_TRUE(file.open(path, OutputFile::Mode::InPlaceBinary));
  file.append("head\n");

  OutputFile part;
  part.openInMemory(64);
  EXPECT_TRUE(part.inMemory());
  EXPECT_FALSE(part.isOpen());
  part.append("first part\n");
  const std::string large(OutputFile::kBlockSize + 3, 'x');
  part.append(large);  // however large, it stays in memory
  EXPECT_TRUE(part.flush());
  EXPECT_EQ(part.pending(), "first part\n" + large);
  file.append(std::move(part));
  EXPECT_TRUE(part.pending().empty());

  // A second writer in memory, appended to a writer in memory before it goes to the file.
  OutputFile second;
  second.openInMemory();
  second.append("second ");
  OutputFile third;
  third.openInMemory();
  third.append("part\n");
  second.append(std::move(third));
  EXPECT_EQ(second.pending(), "second part\n");
  file.append(std::move(second));
  file.append("tail\n");
  ASSERT_TRUE(file.close());
  EXPECT_EQ(readFile(path), "head\nfirst part\n" + large + "second part\ntail\n");

  // The writer that was taken from is in memory still, and collects anew.
  part.append("again");
  EXPECT_EQ(part.pending(), "again");
}

TEST(OutputFileMemoryTest, TextAfterTheCloseIsAFailureNotLost) {
  TempFolder folder;
  const std::string path = folder.file("closed.txt");
  OutputFile file;
  ASSERT_TRUE(file.open(path, OutputFile::Mode::InPlaceBinary));
  file.append("written\n");
  ASSERT_TRUE(file.close());

  file.append("late text\n");
  EXPECT_FALSE(file.flush());
  EXPECT_EQ(file.pending(), "late text\n");  // kept, not dropped
  const std::string large(OutputFile::kBlockSize, 'y');
  file.append(large);  // past the block size: nothing is written anywhere, nothing dropped
  EXPECT_EQ(file.pending().size(), 10 + large.size());
  EXPECT_FALSE(file.close());
  EXPECT_EQ(readFile(path), "written\n");

  // A writer never opened fails the same way; the next open starts clean.
  OutputFile never;
  never.append("x");
  EXPECT_FALSE(never.flush());
  EXPECT_EQ(never.pending(), "x");
  ASSERT_TRUE(file.open(path, OutputFile::Mode::InPlaceBinary));
  EXPECT_TRUE(file.pending().empty());
  file.append("new\n");
  EXPECT_TRUE(file.flush());
  EXPECT_TRUE(file.close());
  EXPECT_EQ(readFile(path), "new\n");
}

}  // namespace
