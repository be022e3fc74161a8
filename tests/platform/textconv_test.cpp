#include "platform/textconv.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(ConvertText, RoundTripsJapaneseBetweenUtf8AndCp932) {
  const std::string utf8 = "多摩川水系";
  const std::string sjis = utf8ToCp932(utf8);
  EXPECT_EQ(sjis.size(), 10u);
  EXPECT_EQ(static_cast<unsigned char>(sjis[0]), 0x91);  // 多 is 91 BD in CP932
  EXPECT_EQ(cp932ToUtf8(sjis), utf8);
  EXPECT_EQ(utf8ToCp932("その他"), "\x82\xbb\x82\xcc\x91\xbc");
}

TEST(ConvertText, ReplacesBytesThatDoNotConvertAndGoesOn) {
  EXPECT_EQ(convertText("a\xff"
                        "b",
                        "UTF-8", "UTF-16LE")
                .size(),
            6u);
  EXPECT_EQ(cp932ToUtf8("a\x81"), "a\xEF\xBF\xBD");  // incomplete lead byte at the end
  EXPECT_EQ(convertText("a\xc3(b", "UTF-8", "UTF-8"), "a\xEF\xBF\xBD(b");
  EXPECT_EQ(utf8ToCp932("x\xF0\x9F\x98\x80y"), "x?y");  // no CP932 form: one substitute
  EXPECT_EQ(convertText("", "CP932", "UTF-8"), "");
  EXPECT_EQ(convertText("abc", "NO-SUCH-CODESET", "UTF-8"), "");
}

TEST(ConvertText, HandlesStatefulEncodingsAndLongText) {
  const std::string jis = convertText("河川", "UTF-8", "ISO-2022-JP");
  EXPECT_EQ(jis.substr(0, 3), "\x1b$B");
  EXPECT_EQ(jis.substr(jis.size() - 3), "\x1b(B");  // shift state closed at the end
  EXPECT_EQ(convertText(jis, "ISO-2022-JP", "UTF-8"), "河川");
  const std::string big(100000, '\xa4');  // many replacements force the output to grow
  EXPECT_EQ(convertText(big, "UTF-8", "UTF-8").size(), 300000u);
}

TEST(CodePageNames, MapWindowsNumbersToIconvNames) {
  EXPECT_STREQ(iconvNameOfCodePage(0), "CP932");
  EXPECT_STREQ(iconvNameOfCodePage(932), "CP932");
  EXPECT_STREQ(iconvNameOfCodePage(20932), "EUC-JP");
  EXPECT_STREQ(iconvNameOfCodePage(50222), "ISO-2022-JP");
  EXPECT_STREQ(iconvNameOfCodePage(65001), "UTF-8");
  EXPECT_EQ(iconvNameOfCodePage(1200), nullptr);
  EXPECT_EQ(iconvNameOfCodePage(-1), nullptr);
}

TEST(DecodeToUtf8, ConvertsEveryCodePageTheDetectorReports) {
  EXPECT_EQ(decodeToUtf8("abc", kCodePageAnsi), "abc");
  EXPECT_EQ(decodeToUtf8(utf8ToCp932("河川"), kCodePageShiftJis), "河川");
  EXPECT_EQ(decodeToUtf8("\xB2\xCF\xC0\xEE", kCodePageEucJp), "河川");
  EXPECT_EQ(decodeToUtf8("\x1b$B2O@n\x1b(B", kCodePageIso2022Jp), "河川");
  EXPECT_EQ(decodeToUtf8("河川", kCodePageUtf8), "河川");
  EXPECT_EQ(decodeToUtf8("abc", kCodePageUtf16Be), "");
  EXPECT_EQ(decodeToUtf8("abc", kCodePageNone), "");
}

TEST(DecodeToUtf8, GivesWellFormedTextWhateverTheBytes) {
  // iconv passes forms beyond U+10FFFF through; they are replaced like every other sequence
  // that does not convert. A complete overlong form is one replacement, not two.
  EXPECT_EQ(decodeToUtf8("a\xF5\x80\x80\x80"
                         "b",
                         kCodePageUtf8),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(decodeToUtf8("\xC0\x80", kCodePageUtf8), "\xEF\xBF\xBD");
  EXPECT_EQ(decodeToUtf8("\x81", kCodePageShiftJis), "\xEF\xBF\xBD");
}

TEST(CutCp932, CutsOnCharacterBoundaries) {
  EXPECT_EQ(cutCp932("a\x90\xec\x90\xec", 4), "a\x90\xec");
  EXPECT_EQ(cutCp932("\xb1\xb2\xb3", 2), "\xb1\xb2");  // half-width kana are single bytes
}
