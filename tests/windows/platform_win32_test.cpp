// Behaviour of the Windows build that the shared tests cannot see: double-byte file names in
// the ANSI code page, names outside it through the wide file functions, file times.
#include <windows.h>
#include <zip.h>

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/atomicfile.h"
#include "fetchunpack/extract.h"
#include "platform/files.h"
#include "platform/textconv.h"
#include "tests/support/tempfolder.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {

// "ソ" in code page 932: its second byte is the byte of "\\".
const std::string kSo = "\x83\x5C";

fs::path utf8Path(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

TEST(AnsiPaths, SecondByteOfADoubleByteCharacterIsNoSeparator) {
  ASSERT_EQ(GetACP(), 932u) << "the tests run with the Japanese ANSI code page";
  EXPECT_FALSE(hasPathSeparator(kSo + ".xml"));
  EXPECT_TRUE(hasPathSeparator(kSo + "\\W05-*.xml"));
  EXPECT_FALSE(hasPathSeparator("data/W05-*.xml"));  // only "\\" separates, as the search does
  EXPECT_EQ(removeLastComponent(kSo + "\\x.xml"), kSo);
  EXPECT_EQ(removeLastComponent(kSo + ".xml"), "");
  EXPECT_EQ(removeLastComponent("C:\\x.xml"), "C:\\");
  EXPECT_EQ(removeLastComponent("\\x.xml"), "\\");
  EXPECT_EQ(removeLastComponentUtf8("a\\b/c.xml"), "a\\b");
}

TEST(AnsiPaths, RootedNames) {
  EXPECT_TRUE(isRootedPath("C:x.xml"));
  EXPECT_TRUE(isRootedPath("\\x.xml"));
  EXPECT_TRUE(isRootedPath("a.xml:stream"));
  EXPECT_FALSE(isRootedPath("a\\b.xml"));
  EXPECT_TRUE(fetchunpack::isUnsafeEntryName("..\\evil.txt"));
  EXPECT_TRUE(fetchunpack::isUnsafeEntryName("a\\..\\..\\evil.txt"));
  EXPECT_TRUE(fetchunpack::isUnsafeEntryName("C:\\evil.txt"));
  EXPECT_FALSE(fetchunpack::isUnsafeEntryName("a\\b.txt"));
}

// Each folder and file of an entry must be a name Windows holds as a plain file, looked at in
// characters: "ソ" and "表" hold the byte of a backslash only in code page 932.
TEST(AnsiPaths, EntryNamesThatNoPlainFileCanHold) {
  for (const char* name : {"CON.xml", "dir/nul", "dir\\Com1.txt", "aux/x.xml", "a|b.xml",
                           "d/x?.xml", "x*.xml", "a\"b.xml", "a<b>.xml", "tab\t.xml"})
    EXPECT_FALSE(fetchunpack::isPlainEntryName(name)) << name;
  for (const char* name : {"x.xml", "folder/", "a\\b/c.xml", "\xE3\x82\xBD/\xE8\xA1\xA8.xml",
                           "console/con1.xml"})
    EXPECT_TRUE(fetchunpack::isPlainEntryName(name)) << name;
}

TEST(AnsiText, ConversionsKeepJapaneseAndRefuseLookAlikes) {
  EXPECT_EQ(utf8ToNative("河川"), "\x89\xCD\x90\xEC");
  EXPECT_EQ(nativeToUtf8("\x89\xCD\x90\xEC"), "河川");
  EXPECT_EQ(ansiToUtf8(kSo), "ソ");
  // U+2216 SET MINUS has no form in code page 932: "?", never a "\\".
  EXPECT_EQ(utf8ToNative("a\xE2\x88\x96" "b"), "a?b");
  EXPECT_EQ(convertText(convertText("河川ｶﾅ", "UTF-8", "ISO-2022-JP"), "ISO-2022-JP", "UTF-8"),
            "河川ｶﾅ");
  EXPECT_EQ(convertText("\x1B$B2O@n\x1B(B.zip", "ISO-2022-JP", "UTF-8"), "河川.zip");
  EXPECT_EQ(convertText("\xB2\xCF\xC0\xEE", "EUC-JP", "UTF-8"), "河川");
}

class WindowsFiles : public ::testing::Test {
 protected:
  TempFolder folder_{"w05win"};
  const std::string root_ = folder_.path();
};

TEST_F(WindowsFiles, FindFilesInNameOrderWithDoubleByteNames) {
  for (const char* name : {"b.xml", "a.xml", "c.txt"}) std::ofstream(fs::path(root_) / name) << "x";
  ASSERT_TRUE(makeDirectory(root_ + "\\" + kSo));
  EXPECT_TRUE(makeDirectory(root_ + "\\" + kSo));
  EXPECT_TRUE(isDirectory(root_ + "\\" + kSo));
  const auto found = findFiles(root_ + "\\*.xml");
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].name, "a.xml");
  EXPECT_EQ(found[1].name, "b.xml");
  const auto folders = findFiles(root_ + "\\" + kSo);
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_TRUE(folders[0].isDirectory);
  EXPECT_FALSE(programDirectory().empty());
}

TEST_F(WindowsFiles, NamesOutsideTheAnsiCodePageThroughWideFunctions) {
  // Hangul has no form in code page 932; fetchunpack's UTF-8 paths must still reach the disk.
  const std::string folder = root_ + "\\한국";
  ASSERT_TRUE(makeDirectoryUtf8(folder));
  EXPECT_TRUE(makeDirectoryUtf8(folder));
  std::FILE* file = openFileUtf8(folder + "\\강.txt", "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("data\n", file);
  std::fclose(file);
  EXPECT_EQ(readAll(utf8Path(folder + "\\강.txt")), "data\n");

  platform::AtomicFile replacement;
  std::string cause;
  ASSERT_TRUE(replacement.create(folder + "\\강.txt", cause)) << cause;
  ASSERT_TRUE(replacement.write("newer", 5, cause));
  ASSERT_TRUE(replacement.commit(cause)) << cause;
  EXPECT_EQ(readAll(utf8Path(folder + "\\강.txt")), "newer");
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(utf8Path(folder))) ++entries;
  EXPECT_EQ(entries, 1) << "no temporary file is left";
}

TEST_F(WindowsFiles, ExtractsFromAnArchiveWithAUnicodePathAndSetsAllThreeTimes) {
  const std::string ascii = root_ + "\\made.zip";
  int error = 0;
  zip_t* archive = zip_open(ascii.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr);
  static const char kBody[] = "<xml/>";
  zip_source_t* source = zip_source_buffer(archive, kBody, sizeof kBody - 1, 0);
  const zip_int64_t index = zip_file_add(archive, "River.XML", source, ZIP_FL_ENC_UTF_8);
  ASSERT_GE(index, 0);
  zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index), 946684800, 0);  // 2000-01-01
  ASSERT_EQ(zip_close(archive), 0);
  const std::string folder = root_ + "\\한국";
  ASSERT_TRUE(makeDirectoryUtf8(folder));
  fs::rename(fs::path(ascii), utf8Path(folder + "\\강.zip"));

  std::string cause;
  ASSERT_EQ(fetchunpack::extractMember(folder + "\\강.zip", "river.xml", cause), 0) << cause;
  const std::wstring output = utf8Path(folder + "\\River.XML").wstring();
  HANDLE file = CreateFileW(output.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME created, accessed, written;
  ASSERT_TRUE(GetFileTime(file, &created, &accessed, &written));
  CloseHandle(file);
  const std::uint64_t expected = 946684800ull * 10000000 + 116444736000000000ull;
  for (const FILETIME& time : {created, accessed, written}) {
    EXPECT_EQ((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime, expected);
  }
  EXPECT_EQ(readAll(utf8Path(folder + "\\River.XML")), "<xml/>");
}

TEST(MemberNames, AstralCharactersAreNotFoldedThroughSixteenBits) {
  // U+1F600 and U+2F600 share their low 16 bits; they must stay different names.
  EXPECT_FALSE(fetchunpack::memberNamesMatch("\xF0\x9F\x98\x80", "\xF0\xAF\x98\x80", true));
  // Under the user's locale, as fetchunpack runs, the wide case mapping folds full-width letters.
  std::setlocale(LC_ALL, "");
  EXPECT_TRUE(fetchunpack::memberNamesMatch("ＡＢＣ.xml", "ａｂｃ.XML", true));
  std::setlocale(LC_ALL, "C");
}
