#include "fetchunpack/urllist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/textconv.h"

using namespace fetchunpack;

TEST(SplitListLines, ReadsLinesAsATextModeReaderDoes) {
  EXPECT_EQ(splitListLines(""), std::vector<std::string>{});
  EXPECT_EQ(splitListLines("a\r\nb\n\nc"), (std::vector<std::string>{"a", "b", "", "c"}));
  // Only a CR directly before a LF is dropped.
  EXPECT_EQ(splitListLines("a\rb\r\r\n"), (std::vector<std::string>{"a\rb\r"}));
  EXPECT_EQ(splitListLines(std::string("ab\0cd\nef", 8)), (std::vector<std::string>{"ab", "ef"}));
}

TEST(SplitListLines, CutsLongLinesIntoPiecesOf1023Bytes) {
  const std::string longLine(1500, 'x');
  EXPECT_EQ(splitListLines(longLine + "\ny"),
            (std::vector<std::string>{std::string(1023, 'x'), std::string(477, 'x'), "y"}));
  // A line of exactly 1023 bytes leaves its line feed to be read as an empty line.
  EXPECT_EQ(splitListLines(std::string(1023, 'z') + "\nq"),
            (std::vector<std::string>{std::string(1023, 'z'), "", "q"}));
  EXPECT_EQ(splitListLines(std::string(1022, 'z') + "\nq"),
            (std::vector<std::string>{std::string(1022, 'z'), "q"}));
}

TEST(ClassifyListLine, LooksAtTheFirstAndLastBytesOnly) {
  EXPECT_EQ(classifyListLine(""), ListLineKind::Blank);
  EXPECT_EQ(classifyListLine("#http://example.org/a.zip"), ListLineKind::Comment);
  EXPECT_EQ(classifyListLine("// note"), ListLineKind::Comment);
  EXPECT_EQ(classifyListLine("/"), ListLineKind::BaseUrl);
  EXPECT_EQ(classifyListLine(" #not a comment"), ListLineKind::Url);
  EXPECT_EQ(classifyListLine("/x.zip"), ListLineKind::Url);
  EXPECT_EQ(classifyListLine("http://example.org/data/"), ListLineKind::BaseUrl);
  EXPECT_EQ(classifyListLine("sub dir/"), ListLineKind::BaseUrl);
  // The last member name decides: the whole line becomes a base.
  EXPECT_EQ(classifyListLine("http://example.org/a.zip x.xml dir/"), ListLineKind::BaseUrl);
  // A byte-order mark keeps the comment mark from the first column.
  EXPECT_EQ(classifyListLine("\xEF\xBB\xBF# comment"), ListLineKind::Url);
}

TEST(SavedFileName, IsTheTextAfterTheLastSlash) {
  EXPECT_EQ(savedFileNameOf("http://example.org/d/W05-09_13.zip"), "W05-09_13.zip");
  EXPECT_EQ(savedFileNameOf("a.zip"), "a.zip");
  EXPECT_EQ(savedFileNameOf("http://example.org/d/"), "");
  EXPECT_TRUE(isAbsoluteUrlToken("https://example.org/a.zip"));
  EXPECT_TRUE(isAbsoluteUrlToken("httpfoo"));
  EXPECT_FALSE(isAbsoluteUrlToken("HTTP://example.org/a.zip"));
  EXPECT_FALSE(isAbsoluteUrlToken("htt"));
}

TEST(BuildMemberName, SubstitutesTheLeadingCharactersOfTheSavedFileName) {
  EXPECT_EQ(buildMemberName("%3x.xml", "abcdef.zip", 0), "abc.xml");
  EXPECT_EQ(buildMemberName("%0_a.xml", "abcdef.zip", 0), "a.xml");
  EXPECT_EQ(buildMemberName("%20%.xml", "abcdef.zip", 0), "abcdef.zip");
  EXPECT_EQ(buildMemberName("%9%_a.xml", "data_2020.zip", 0), "data_2020_a.xml");
  EXPECT_EQ(buildMemberName("pre_%3", "abcdef.zip", 0), "pre_abc");  // digits end the token
  EXPECT_EQ(buildMemberName("%x.xml", "abcdef.zip", 0), ".xml");     // no digits: N = 0
  EXPECT_EQ(buildMemberName("%10%%.xml", "abcdef.zip", 0), "abcdef.zip%.xml");  // N = length
  EXPECT_EQ(buildMemberName("%2%%1%.x", "abcdef.zip", 0), "ab%1%.x");  // later "%" as they stand
  EXPECT_EQ(buildMemberName("plain.xml", "abcdef.zip", 0), "plain.xml");
  EXPECT_EQ(buildMemberName("", "abcdef.zip", 0), "");
  EXPECT_EQ(buildMemberName("%99999999999999999999999x", "ab.zip", 0), "ab.zip");  // no overflow
}

TEST(BuildMemberName, CountsCharactersInUtf16UnitsAndDecodesTheToken) {
  // Two kanji of the saved file name, then the token's own Shift_JIS text.
  const std::string token = "%2_" + platform::utf8ToCp932("河川.xml");
  EXPECT_EQ(buildMemberName(token, "水系データ.zip", 932), "水系河川.xml");
  // A character outside the basic plane takes two units and is never split.
  EXPECT_EQ(buildMemberName("%1_", "\xF0\x9F\x98\x80z.zip", 65001), "");
  EXPECT_EQ(buildMemberName("%2_", "\xF0\x9F\x98\x80z.zip", 65001), "\xF0\x9F\x98\x80");
  // A code page without a conversion yields no text.
  EXPECT_EQ(buildMemberName("%3x.xml", "abcdef.zip", 1200), "abc");
}

namespace {

std::vector<UrlJob> readAll(UrlListState& state, const std::vector<std::string>& lines) {
  std::vector<UrlJob> jobs;
  for (const std::string& line : lines) {
    if (auto job = readListLine(state, line)) jobs.push_back(*job);
  }
  return jobs;
}

}  // namespace

TEST(ReadListLine, BuildsUrlsFromBaseLinesAndAbsoluteLines) {
  UrlListState state;
  state.outputPrefix = "out/";
  const auto jobs = readAll(state, {"# list", "", "http://example.org/ksj/", "a.zip", "b.zip x.xml",
                                    "http://other.org/c/d.zip", "e.zip"});
  ASSERT_EQ(jobs.size(), 4u);
  EXPECT_EQ(jobs[0].url, "http://example.org/ksj/a.zip");
  EXPECT_EQ(jobs[0].archivePath, "out/a.zip");
  EXPECT_TRUE(jobs[0].memberNames.empty());
  EXPECT_EQ(jobs[1].url, "http://example.org/ksj/b.zip");
  EXPECT_EQ(jobs[1].memberNames, std::vector<std::string>{"x.xml"});
  EXPECT_EQ(jobs[2].url, "http://other.org/c/d.zip");
  EXPECT_EQ(jobs[2].archivePath, "out/d.zip");
  // The absolute line cancelled the base.
  EXPECT_EQ(jobs[3].url, "e.zip");
  EXPECT_EQ(state.baseUrl, "");
}

TEST(ReadListLine, TakesRelativePathsAndMemberListsAsWritten) {
  UrlListState state;
  auto jobs = readAll(state, {"https://example.org/base/", "sub/W05-09.zip %6.xml  b.xml ",
                              "https://example.org/x/ q.xml", " a.xml"});
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_EQ(jobs[0].url, "https://example.org/base/sub/W05-09.zip");
  EXPECT_EQ(jobs[0].archivePath, "W05-09.zip");
  // Two spaces make an empty name, and so does a trailing space.
  EXPECT_EQ(jobs[0].memberNames, (std::vector<std::string>{"W05-09xml", "", "b.xml", ""}));
  EXPECT_TRUE(jobs[0].hasSavedFileName);
  // URL tokens that end in "/" or are empty have no file name to save to.
  EXPECT_FALSE(jobs[1].hasSavedFileName);
  EXPECT_FALSE(jobs[2].hasSavedFileName);
  EXPECT_EQ(jobs[2].url, "");

  // A base line is taken whole, spaces included, whatever it begins with.
  state = UrlListState{};
  jobs = readAll(state, {"http://example.org/a b/", "c.zip"});
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].url, "http://example.org/a b/c.zip");
}

TEST(ReadListLine, DecodesWithTheListCodePage) {
  UrlListState state;
  state.urlListCodePage = 932;
  const auto jobs =
      readAll(state, {platform::utf8ToCp932("http://example.org/河川.zip 河川/%2.xml")});
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].url, "http://example.org/河川.zip");
  EXPECT_EQ(jobs[0].archivePath, "河川.zip");
  EXPECT_EQ(jobs[0].memberNames, std::vector<std::string>{"河川/河川xml"});

  // A code page without a conversion leaves the URL empty but keeps the line a URL line.
  state = UrlListState{};
  state.urlListCodePage = -1;
  const auto unreadable = readAll(state, {"http://example.org/a.zip"});
  ASSERT_EQ(unreadable.size(), 1u);
  EXPECT_EQ(unreadable[0].url, "");
  EXPECT_TRUE(unreadable[0].hasSavedFileName);
}

namespace {

std::vector<UrlJob> readList(const std::string& content, UrlListState& state) {
  return readAll(state, splitListLines(prepareListText(content, state)));
}

}  // namespace

TEST(PrepareListText, ReadsIso2022JpListsAsCharacters) {
  // The escaped bytes of ケース are "%1!<%9" and those of データ "%G!<%?": read byte by byte,
  // "%1" would be a substitution, and "#" or "/" can be such bytes too.
  const std::string list = platform::convertText(
      "# 一覧\n"
      "http://example.org/河川/データ.zip ケース.xml %2ー_x.xml ケース/%3%.xml\n"
      "http://example.org/#/\n"
      "ク.zip\n",  // the escaped bytes of ク are "%/"
      "UTF-8", "ISO-2022-JP");
  ASSERT_NE(list.find("\x1b$B"), std::string::npos);
  UrlListState state;
  const auto jobs = readList(list, state);
  EXPECT_EQ(state.urlListCodePage, 50222);
  EXPECT_TRUE(state.decodedList);
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].url, "http://example.org/河川/データ.zip");
  EXPECT_EQ(jobs[0].archivePath, "データ.zip");
  // The one character after the digits is dropped whole, a kana as well as "%".
  EXPECT_EQ(jobs[0].memberNames,
            (std::vector<std::string>{"ケース.xml", "デー_x.xml", "ケース/データ.xml"}));
  EXPECT_EQ(jobs[1].url, "http://example.org/#/ク.zip");
  EXPECT_EQ(jobs[1].archivePath, "ク.zip");
}

TEST(PrepareListText, DropsAUtf8ByteOrderMarkAndKeepsOtherListsAsBytes) {
  UrlListState state;
  auto jobs = readList("\xEF\xBB\xBF# comment\nhttp://example.org/a.zip x.xml\n", state);
  EXPECT_EQ(state.urlListCodePage, 65001);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].url, "http://example.org/a.zip");
  EXPECT_EQ(readList("\xEF\xBB\xBF", state).size(), 0u);
  // Only a mark at the very start is dropped.
  EXPECT_EQ(prepareListText("a\xEF\xBB\xBF", state), "a\xEF\xBB\xBF");

  // Shift_JIS text stays as it is, and its lines are decoded one by one.
  const std::string sjis = platform::utf8ToCp932("http://example.org/河川.zip %2ー.xml\n");
  EXPECT_EQ(prepareListText(sjis, state), sjis);
  EXPECT_EQ(state.urlListCodePage, 932);
  EXPECT_FALSE(state.decodedList);
}
