// The folder of the per-water-system pages on Windows, where names are looked up without regard
// to case: a page whose name differs from an entry only in case is that entry, so an entry that
// is the data file must keep every page checked, and the check must then find it.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "hydrochart/allpages.h"
#include "tests/support/tempfolder.h"

namespace {

TEST(WindowsPageFolder, AnEntryThatIsTheDataFileIsFoundUnderAnyCase) {
  TempFolder root("w05pagefolder");
  const std::string data = root.path() + "\\W05-09_13-g.xml";
  std::ofstream(data) << "data";
  const std::string folder = root.path() + "\\W05-09_13-g_html";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  std::ofstream(folder + "\\130010_old.htm") << "old page";

  RunInputs inputs = identifyRunInputs(data, "");
  checkFolderOfPages(folder, 10, inputs);
  EXPECT_FALSE(inputs.checkEachPage);

  ASSERT_TRUE(CreateHardLinkA((folder + "\\130020_TSURUMI.HTM").c_str(), data.c_str(), nullptr));
  inputs = identifyRunInputs(data, "");
  checkFolderOfPages(folder, 10, inputs);
  EXPECT_TRUE(inputs.checkEachPage);
  EXPECT_EQ(runInputNamedBy(folder + "\\130020_tsurumi.htm", inputs), RunInput::DataFile);
  EXPECT_EQ(runInputNamedBy(folder + "\\130010_OLD.htm", inputs), RunInput::None);
}

}  // namespace
