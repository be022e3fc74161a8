// The plain command-line splitter against shell32's CommandLineToArgvW, which the programs used
// for every line before and still use for the lines the splitter leaves to it.
// clang-format off
// windows.h first: the other Windows headers build on it.
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include "platform/commandline_win32.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> byShell32(const std::wstring& line) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::wstring> args;
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) args.emplace_back(wide[i]);
  LocalFree(wide);
  return args;
}

TEST(CommandLine, PlainLinesSplitAsCommandLineToArgvWSplitsThem) {
  const std::vector<std::wstring> lines = {
      L"hydrochart.exe",
      L"hydrochart.exe W05-09_13-g.xml \"*\"",
      L"\"C:\\Program Files\\w05\\hydrochart.exe\" data.xml rivers.htm \"\" 130010",
      L"hydrochart.exe \"C:\\data\\W05 files\\W05-*.xml\"",
      L"hydrochart.exe a\tb   c ",
      L"  hydrochart.exe leading",
      L"hydrochart.exe ab\"c d\"e \"f\"g\"h\"",
      L"hydrochart.exe C:\\folder\\ \"unclosed part",
      L"hydrochart.exe \u591a\u6469\u5ddd \"\u30bd\u8868 \u80fd\"",
      L"fetchunpack.exe https://example.com/a?b=1&c=2 dl \"\"",
      L"\"quoted program\"directly args",
  };
  for (const std::wstring& line : lines) {
    SCOPED_TRACE(std::string(line.begin(), line.end()));
    const auto plain = platform::splitPlainCommandLine(line);
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(*plain, byShell32(line));
  }
}

TEST(CommandLine, LinesWithEscapesAreLeftToShell32) {
  for (const std::wstring line :
       {L"p.exe \"a\\\"b\"", L"p.exe a\\\"b", L"p.exe \"a\"\"b\"", L"p.exe \"\"\"\""}) {
    EXPECT_FALSE(platform::splitPlainCommandLine(line).has_value());
  }
}

TEST(CommandLine, RandomLinesSplitAsShell32SplitsThemWhereverThePlainRulesHold) {
  const wchar_t alphabet[] = {L'a', L'b', L' ', L'\t', L'"', L'\\', L'*', L'\u591a'};
  std::mt19937 random(7);
  int plainLines = 0;
  for (int n = 0; n < 20000; ++n) {
    std::wstring line = random() % 4 == 0 ? L"\"p q.exe\"" : L"p.exe";
    const std::size_t length = random() % 14;
    for (std::size_t i = 0; i < length; ++i) line.push_back(alphabet[random() % 8]);
    const auto plain = platform::splitPlainCommandLine(line);
    if (!plain) continue;
    ++plainLines;
    ASSERT_EQ(*plain, byShell32(line)) << std::string(line.begin(), line.end());
  }
  EXPECT_GT(plainLines, 10000);
}

}  // namespace
