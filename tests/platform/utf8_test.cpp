#include "platform/utf8.h"

#include <gtest/gtest.h>

#include <string>

using namespace platform;

namespace {

TEST(DecodeUtf8, TellsCharactersFromOtherSequences) {
  const Utf8Sequence kanji = decodeUtf8("a川", 1);
  EXPECT_TRUE(kanji.wellFormed);
  EXPECT_EQ(kanji.length, 3u);
  EXPECT_EQ(kanji.point, U'川');
  const Utf8Sequence emoji = decodeUtf8("\xF0\x9F\x98\x80", 0);
  EXPECT_TRUE(emoji.wellFormed);
  EXPECT_EQ(emoji.length, 4u);
  EXPECT_EQ(emoji.point, 0x1F600u);

  // Complete sequences that are no character keep their length, so that a caller can skip
  // them whole: overlong forms, surrogates, values beyond U+10FFFF.
  for (const char* text : {"\xC0\x80", "\xC1\xBF", "\xE0\x81\x81", "\xED\xA0\x80",
                           "\xF0\x80\x80\x80", "\xF4\x90\x80\x80", "\xF7\xBF\xBF\xBF"}) {
    const Utf8Sequence sequence = decodeUtf8(text, 0);
    EXPECT_FALSE(sequence.wellFormed) << text;
    EXPECT_EQ(sequence.length, std::string(text).size()) << text;
  }
  // A lead byte without its continuation bytes, a stray continuation byte, 0xF8 to 0xFF:
  // one byte, standing for itself.
  for (const std::string text : {"\xE5\xB7", "\xE5(x", "\x80", "\xFF\x80\x80\x80"}) {
    const Utf8Sequence sequence = decodeUtf8(text, 0);
    EXPECT_FALSE(sequence.wellFormed) << text;
    EXPECT_EQ(sequence.length, 1u) << text;
    EXPECT_EQ(sequence.point, static_cast<unsigned char>(text[0])) << text;
  }
  EXPECT_TRUE(decodeUtf8(std::string_view("\0", 1), 0).wellFormed);
}

TEST(WellFormedUtf8, ChecksAndRepairsWholeTexts) {
  EXPECT_TRUE(isWellFormedUtf8(""));
  EXPECT_TRUE(isWellFormedUtf8("水系 ok \xF4\x8F\xBF\xBF"));
  EXPECT_FALSE(isWellFormedUtf8("ok\xC3"));
  EXPECT_FALSE(isWellFormedUtf8("\xED\xBF\xBF"));

  EXPECT_EQ(replaceIllFormedUtf8("a川b"), "a川b");
  // One U+FFFD per stray byte with the continuation bytes after it (up to five).
  EXPECT_EQ(replaceIllFormedUtf8("a\xF8\x88\x80\x80\x80z"), "a\xEF\xBF\xBDz");
  EXPECT_EQ(replaceIllFormedUtf8("\xF4\x90\x80\x80"), "\xEF\xBF\xBD");
  EXPECT_EQ(replaceIllFormedUtf8("\x80\x80\x80\x80\x80\x80\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(replaceIllFormedUtf8("\xC3(\xC3"), "\xEF\xBF\xBD(\xEF\xBF\xBD");
  EXPECT_TRUE(isWellFormedUtf8(replaceIllFormedUtf8("\xE0\x80\xAF\xED\xA0\x80\xC0")));
}

TEST(Utf16Units, CountAndCutWithoutSplittingCharacters) {
  EXPECT_EQ(utf16Length("abc"), 3u);
  EXPECT_EQ(utf16Length("川"), 1u);
  EXPECT_EQ(utf16Length("\xF0\x9F\x98\x80"), 2u);
  EXPECT_EQ(utf16Length("\xFF\xE5"), 2u);  // bytes that start no character count one each
  EXPECT_EQ(leadingUtf16Units("a\xF0\x9F\x98\x80"
                              "b",
                              3),
            "a\xF0\x9F\x98\x80");
  EXPECT_EQ(leadingUtf16Units("a\xF0\x9F\x98\x80"
                              "b",
                              2),
            "a");  // never half a pair
  EXPECT_EQ(leadingUtf16Units("川x", 0), "");
  EXPECT_EQ(leadingUtf16Units("川x", 99), "川x");
}

TEST(CutUtf8, CutsOnCharacterBoundaries) {
  EXPECT_EQ(cutUtf8("ab川", 4), "ab");
  EXPECT_EQ(cutUtf8("ab川", 5), "ab川");
  EXPECT_EQ(cutUtf8("ab川", 2), "ab");
  EXPECT_EQ(cutUtf8("abc", 0), "");
}

}  // namespace
