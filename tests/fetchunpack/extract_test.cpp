#include "fetchunpack/extract.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/textconv.h"
#include "tests/support/files.h"
#include "tests/support/tempfolder.h"

using namespace fetchunpack;
namespace fs = std::filesystem;

namespace {

struct Entry {
  std::string name;  // bytes as stored
  std::string data;
  std::time_t mtime = 946684800;  // 2000-01-01 00:00:00 UTC
  bool encrypted = false;
};

void writeArchive(const std::string& path, const std::vector<Entry>& entries) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr) << error;
  for (const Entry& entry : entries) {
    zip_source_t* source = zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
    const zip_int64_t index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_GUESS);
    ASSERT_GE(index, 0) << entry.name;
    zip_set_file_compression(archive, index, ZIP_CM_STORE, 0);
    zip_file_set_mtime(archive, index, entry.mtime, 0);
    if (entry.encrypted) zip_file_set_encryption(archive, index, ZIP_EM_AES_256, "secret");
  }
  ASSERT_EQ(zip_close(archive), 0);
}

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

bool hasTemporaryFiles(const fs::path& folder) {
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with(".fetchunpack-")) return true;
  }
  return false;
}

// Each test works in a fresh folder; archive times are read in UTC, and the time zone the
// test program started with comes back afterwards.
class ExtractMemberTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* zone = std::getenv("TZ");
    savedZone_ = zone ? std::optional<std::string>(zone) : std::nullopt;
    setenv("TZ", "UTC", 1);
    tzset();
    archive_ = (folder_ / "data.zip").string();
  }

  void TearDown() override {
    if (savedZone_) {
      setenv("TZ", savedZone_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

  int extract(const std::string& member) {
    std::string cause;
    return extractMember(archive_, member, cause);
  }

  TempFolder temp_{"fetchunpack_extract"};
  fs::path folder_ = temp_.path();
  std::string archive_;
  std::optional<std::string> savedZone_;
};

}  // namespace

TEST_F(ExtractMemberTest, MatchesWithoutRegardToCaseAndKeepsTheStoredName) {
  writeArchive(archive_, {{"Data.xml", "first"}, {"DATA.XML", "second"}, {"other.txt", "x"}});
  EXPECT_EQ(extract("data.XML"), 0);
  EXPECT_EQ(readFile(folder_ / "Data.xml"), "first");
  EXPECT_FALSE(fs::exists(folder_ / "DATA.XML"));  // only the first match is written
  EXPECT_FALSE(fs::exists(folder_ / "data.XML"));

  EXPECT_EQ(extract("missing.xml"), 0);  // no entry of that name: no file, no error
  EXPECT_EQ(extract(""), 0);
  int files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder_)) ++files;
  EXPECT_EQ(files, 2);  // the archive and Data.xml

  // An existing file of the entry's name is replaced.
  writeFile(folder_ / "other.txt", "older and longer");
  EXPECT_EQ(extract("OTHER.TXT"), 0);
  EXPECT_EQ(readFile(folder_ / "other.txt"), "x");
}

TEST_F(ExtractMemberTest, DecodesShiftJisAndUtf8EntryNames) {
  writeArchive(archive_, {{platform::utf8ToCp932("河川データ.xml"), "sjis"},
                          {"流域.xml", "utf8"},
                          {"\xC3\xBD\xC4.txt", "kana"}});
  EXPECT_EQ(extract("河川データ.xml"), 0);
  EXPECT_EQ(readFile(folder_ / "河川データ.xml"), "sjis");
  EXPECT_EQ(extract("流域.XML"), 0);
  EXPECT_EQ(readFile(folder_ / "流域.xml"), "utf8");
  EXPECT_EQ(extract("ﾃｽﾄ.TXT"), 0);  // UTF-8 dies at the ".": read as Shift_JIS
  EXPECT_EQ(readFile(folder_ / "ﾃｽﾄ.txt"), "kana");
  // Half-width katakana bytes that also read as UTF-8 are decoded as UTF-8.
  EXPECT_EQ(decodeEntryName("\xC3\xBD\xC4"), "\xC3\xBD\xEF\xBF\xBD");
  EXPECT_EQ(decodeEntryName("\x83\x65\x83\x58\x83\x67"), "テスト");
  EXPECT_EQ(decodeEntryName("a\\b~"), "a\\b~");
}

TEST_F(ExtractMemberTest, CreatesFoldersAndSetsTheEntryTime) {
  writeArchive(archive_, {{"dir/sub/a.txt", "nested", 946684800},
                          {"dir/", "", 978307200},
                          {"late.txt", "y", 1234567890}});
  EXPECT_EQ(extract("DIR/Sub/A.TXT"), 0);
  struct stat info {};
  ASSERT_EQ(::stat((folder_ / "dir/sub/a.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtime, 946684800);
  EXPECT_EQ(info.st_atime, 946684800);
  EXPECT_EQ(readFile(folder_ / "dir/sub/a.txt"), "nested");
  EXPECT_EQ((info.st_mode & 0777), 0666 & ~[] {
    const mode_t m = ::umask(0);
    ::umask(m);
    return m;
  }());

  // A folder entry makes the folder.
  EXPECT_EQ(extract("dir/"), 0);
  EXPECT_TRUE(fs::is_directory(folder_ / "dir"));
  EXPECT_EQ(extract("late.txt"), 0);
  ASSERT_EQ(::stat((folder_ / "late.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtime, 1234567890);
  // Entry names inside a folder match only with their folder part.
  EXPECT_EQ(extract("a.txt"), 0);
  EXPECT_FALSE(fs::exists(folder_ / "a.txt"));
}

TEST_F(ExtractMemberTest, RefusesEntriesThatLeaveTheArchiveFolder) {
  fs::create_directories(folder_ / "inner");
  archive_ = (folder_ / "inner/data.zip").string();
  writeArchive(archive_, {{"../evil.txt", "x"}, {"/abs.txt", "x"}, {"a/../../b.txt", "x"}});
  std::string cause;
  EXPECT_EQ(extractMember(archive_, "../evil.txt", cause), ZIP_ER_INVAL);
  EXPECT_NE(cause.find("outside"), std::string::npos);
  EXPECT_EQ(extract("/abs.txt"), ZIP_ER_INVAL);
  EXPECT_EQ(extract("a/../../B.TXT"), ZIP_ER_INVAL);
  EXPECT_FALSE(fs::exists(folder_ / "evil.txt"));
  EXPECT_FALSE(fs::exists(folder_ / "b.txt"));
  EXPECT_FALSE(fs::exists(folder_ / "inner/a"));

  EXPECT_TRUE(isUnsafeEntryName(".."));
  EXPECT_TRUE(isUnsafeEntryName("a/.."));
  EXPECT_FALSE(isUnsafeEntryName("a..b/..c/d.."));
  EXPECT_FALSE(isUnsafeEntryName("./a.txt"));
}

TEST_F(ExtractMemberTest, ReportsLibzipErrorsAndKeepsTheOlderFile) {
  EXPECT_EQ(extract("a.txt"), ZIP_ER_NOENT);  // no archive at all
  writeFile(archive_, "<html>not found</html>");
  EXPECT_EQ(extract("a.txt"), ZIP_ER_NOZIP);

  // Damaged data: the CRC check fails at the end of the entry.
  const std::string data(300000, 'd');
  writeArchive(archive_, {{"a.txt", data}});
  std::string bytes = readFile(archive_);
  bytes[bytes.find(data) + 123456] = 'X';
  writeFile(archive_, bytes);
  writeFile(folder_ / "a.txt", "older");
  EXPECT_EQ(extract("a.txt"), ZIP_ER_CRC);
  EXPECT_EQ(readFile(folder_ / "a.txt"), "older");

  // An entry that cannot be decrypted without a password.
  if (zip_encryption_method_supported(ZIP_EM_AES_256, 1)) {
    writeArchive(archive_, {{"a.txt", "secret data", 946684800, true}});
    EXPECT_EQ(extract("a.txt"), ZIP_ER_NOPASSWD);
    EXPECT_EQ(readFile(folder_ / "a.txt"), "older");
  }

  // An output file that cannot be created: its folder is taken by a file.
  writeArchive(archive_, {{"blocked/b.txt", "b"}});
  writeFile(folder_ / "blocked", "a file");
  std::string cause;
  EXPECT_EQ(extractMember(archive_, "blocked/b.txt", cause), ZIP_ER_OPEN);
  EXPECT_FALSE(cause.empty());
  EXPECT_EQ(readFile(folder_ / "blocked"), "a file");
  EXPECT_FALSE(hasTemporaryFiles(folder_));
}

TEST(MemberNamesMatch, FoldsAsciiAlwaysAndOtherLettersUnderAUtf8Locale) {
  EXPECT_TRUE(memberNamesMatch("W05-09_13.XML", "w05-09_13.xml", false));
  EXPECT_FALSE(memberNamesMatch("a.xml", "a.xm", false));
  EXPECT_FALSE(memberNamesMatch("a_b", "a-b", false));
  EXPECT_TRUE(memberNamesMatch("河川.xml", "河川.XML", false));
  EXPECT_FALSE(memberNamesMatch("ÄRA.xml", "ära.xml", false));
  EXPECT_FALSE(memberNamesMatch("\xC3", "\xE3", false));  // stray bytes match only themselves
  EXPECT_TRUE(memberNamesMatch("\xC3", "\xC3", false));
  // An overlong form is no character: it never stands for the letter its bits spell.
  EXPECT_FALSE(memberNamesMatch("A.xml", "\xE0\x81\x81.xml", false));
  EXPECT_FALSE(memberNamesMatch("A.xml", "\xC1\x81.xml", false));
  EXPECT_TRUE(memberNamesMatch("\xE0\x81\x81.xml", "\xE0\x81\x81.XML", false));

  const std::string previous = std::setlocale(LC_CTYPE, nullptr);
  if (std::setlocale(LC_CTYPE, "C.UTF-8")) {
    EXPECT_TRUE(localeIsUtf8());
    EXPECT_TRUE(memberNamesMatch("ÄRA.xml", "ära.xml", true));
    EXPECT_TRUE(memberNamesMatch("ＡＢ.xml", "ａｂ.xml", true));  // full-width letters
    EXPECT_FALSE(memberNamesMatch("\xC3", "\xE3", true));
  }
  std::setlocale(LC_CTYPE, previous.c_str());
}

TEST_F(ExtractMemberTest, KeepsEntryTimesAcrossTheWholeArchiveDateRange) {
  // 2038-01-19 03:14:08 is the first second beyond a signed 32-bit count; archives reach 2107.
  const std::vector<std::pair<std::string, std::time_t>> times = {
      {"first.txt", 315532800},    // 1980-01-01 00:00:00
      {"beyond.txt", 2147483648},  // 2038-01-19 03:14:08
      {"june.txt", 2158963200},    // 2038-06-01 00:00:00
      {"last.txt", 4354819198}};   // 2107-12-31 23:59:58
  std::vector<Entry> entries;
  for (const auto& [name, time] : times) entries.push_back({name, "t", time});
  writeArchive(archive_, entries);
  for (const auto& [name, time] : times) {
    EXPECT_EQ(extract(name), 0);
    struct stat info {};
    ASSERT_EQ(::stat((folder_ / name).c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, time) << name;
  }
}
