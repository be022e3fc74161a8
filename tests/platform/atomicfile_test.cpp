#include "platform/atomicfile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/files.h"
#include "tests/support/tempfolder.h"

using platform::AtomicFile;
namespace fs = std::filesystem;

namespace {

int countEntries(const fs::path& folder) {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++n;
  return n;
}

}  // namespace

TEST(AtomicFile, ReplacesTheTargetOnlyOnCommit) {
  const TempFolder temp("fetchunpack_atomic");
  const fs::path folder = temp.path();
  const std::string target = (folder / "body.zip").string();
  std::ofstream(target) << "older";
  std::string cause;

  {
    AtomicFile file;
    ASSERT_TRUE(file.create(target, cause)) << cause;
    ASSERT_TRUE(file.write("partial", 7, cause));
    EXPECT_EQ(countEntries(folder), 2);
  }  // dropped without commit
  EXPECT_EQ(readFile(target), "older");
  EXPECT_EQ(countEntries(folder), 1);

  AtomicFile file;
  ASSERT_TRUE(file.create(target, cause));
  ASSERT_TRUE(file.write("new body", 8, cause));
  ASSERT_TRUE(file.commit(cause)) << cause;
  EXPECT_EQ(readFile(target), "new body");
  EXPECT_EQ(countEntries(folder), 1);

  // A target that is a folder cannot be replaced; the temporary file goes away.
  fs::create_directories(folder / "taken");
  AtomicFile blocked;
  ASSERT_TRUE(blocked.create((folder / "taken").string(), cause));
  EXPECT_FALSE(blocked.commit(cause));
  EXPECT_NE(cause.find("taken"), std::string::npos);
  EXPECT_EQ(countEntries(folder), 2);

  AtomicFile missing;
  EXPECT_FALSE(missing.create((folder / "no/such/folder/x.zip").string(), cause));
  EXPECT_FALSE(missing.commit(cause));
}
