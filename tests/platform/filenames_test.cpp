#include "platform/filenames.h"

#include <gtest/gtest.h>

#include <string>

using namespace platform;

namespace {

TEST(WindowsFileNames, ForbiddenCharactersAreTheSeparatorsStreamMarksWildcardsAndControls) {
  for (const char c : std::string("<>:\"/\\|?*")) {
    EXPECT_TRUE(isForbiddenWindowsNameCharacter(c)) << c;
    EXPECT_FALSE(isWindowsFileName(std::string("a") + c + "b.zip")) << c;
  }
  for (int c = 0; c < 0x20; ++c) EXPECT_TRUE(isForbiddenWindowsNameCharacter(static_cast<char>(c)));
  for (int c = 0x20; c < 0x100; ++c) {
    if (std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos)
      continue;
    EXPECT_FALSE(isForbiddenWindowsNameCharacter(static_cast<char>(c))) << c;
  }
  // Names are looked at in UTF-8, where no byte of a kanji is an ASCII byte: "ソ表" and "ポ|"
  // hold the bytes of "\\" and "|" only in Shift_JIS.
  EXPECT_TRUE(isWindowsFileName("820003_ソ表.htm"));
  EXPECT_TRUE(isWindowsFileName("データ 2020 #1 %41.zip"));
  EXPECT_FALSE(isWindowsFileName("820003_a:b.htm"));
  EXPECT_FALSE(isWindowsFileName(std::string("a\0b", 3)));
}

TEST(WindowsFileNames, DeviceNamesInAnyCaseWithAnyExtension) {
  for (const char* name :
       {"CON", "con", "Prn.zip", "AUX.tar.gz", "nul", "NUL.", "COM1", "com9.xml", "LPT1",
        "lpt5.zip", "CON .zip", "nul  ", "COM\xC2\xB9.txt", "lpt\xC2\xB3"}) {
    EXPECT_TRUE(isWindowsDeviceName(name)) << name;
    EXPECT_FALSE(isWindowsFileName(name)) << name;
  }
  for (const char* name :
       {"", ".zip", "CONSOLE.zip", "xcon", "con1.zip", "COM", "COM0", "COM10", "LPT.zip", "lpt1x",
        "a.con", "NULL", " CON", "COM\xC2\xB4", "COM\xC2\xB9x", "ＣＯＮ.zip"}) {
    EXPECT_FALSE(isWindowsDeviceName(name)) << name;
  }
  EXPECT_TRUE(isWindowsFileName("CONSOLE.zip"));
}

}  // namespace

namespace {

// The Windows rules hold on Windows only: elsewhere these are names like any other.
TEST(PlainFileNames, FollowThePlatformsRules) {
  for (const char* name : {"a:b.zip", "CON.zip", "nul", "x|y?.htm"})
    EXPECT_EQ(isPlainFileName(name), !kWindowsFileNameRules) << name;
  EXPECT_TRUE(isPlainFileName("データ.zip"));
}

}  // namespace
