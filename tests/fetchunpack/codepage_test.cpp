#include "fetchunpack/codepage.h"

#include <gtest/gtest.h>

#include <string>

using fetchunpack::detectCodePage;

namespace {

int detect(std::initializer_list<unsigned char> bytes) {
  return detectCodePage(std::string(bytes.begin(), bytes.end()));
}

}  // namespace

TEST(DetectCodePage, PlainAsciiAndEmptyTextGiveZero) {
  EXPECT_EQ(detectCodePage(""), 0);
  EXPECT_EQ(detectCodePage("http://example.org/a.zip a.xml\r\n\tb.xml ~\n"), 0);
  // The text ends at its first NUL, so what follows is never looked at.
  EXPECT_EQ(detectCodePage(std::string("abc\0\x88\x9f", 6)), 0);
  EXPECT_EQ(detect({0x00, 0x88}), 0);
}

TEST(DetectCodePage, OtherSevenBitControlBytesGiveUtf8) {
  EXPECT_EQ(detectCodePage("a\x01"
                           "b"),
            65001);
  EXPECT_EQ(detectCodePage("abc\x7f"), 65001);
  EXPECT_EQ(detectCodePage("\x1b"
                           "A"),
            65001);                            // ESC not followed by "$" or "("
  EXPECT_EQ(detectCodePage("ab\x1b"), 65001);  // ESC in the last position is an ordinary byte
}

TEST(DetectCodePage, EscapeSequencesGiveIso2022Jp) {
  EXPECT_EQ(detectCodePage("\x1b$B$3$s\x1b(B"), 50222);
  EXPECT_EQ(detectCodePage("abc\x1b(J"), 50222);
  // The escape counts only while the automata have not decided.
  EXPECT_EQ(detect({0x88, 0x9F, 0x1B, '$'}), 932);
}

TEST(DetectCodePage, ByteOrderMarksGiveUtf16) {
  EXPECT_EQ(detect({0xFF, 0xFE, 0x41}), 1200);
  EXPECT_EQ(detect({0xFE, 0xFF, 0x00, 0x41}), 1201);  // cut at the NUL: two bytes
  EXPECT_EQ(detect({0x41, 0xFF, 0xFE}), 932);         // a mark counts only at the start
}

TEST(DetectCodePage, SingleSurvivorDecidesAtOnce) {
  EXPECT_EQ(detect({0xFF, 0x41}), 932);
  EXPECT_EQ(detect({0xFF}), 932);
  EXPECT_EQ(detect({0x88, 0x9F}), 932);              // a Shift_JIS kanji
  EXPECT_EQ(detect({0xE0, 0x40, 0x41}), 65001);      // UTF-8 chosen though 0x40 is no continuation
  EXPECT_EQ(detect({0x88, 0x9F, 0x80, 0x80}), 932);  // later bytes are not looked at
}

TEST(DetectCodePage, ScoresAndOrderChooseAmongSurvivors) {
  EXPECT_EQ(detectCodePage("河川データ.xml"), 65001);
  EXPECT_EQ(detect({0xB0, 0xA1}), 20932);  // EUC-JP 1.0 beats Shift_JIS half-width kana 0.64
  EXPECT_EQ(detect({0xE1, 0xA1, 0xE1, 0xA1}), 932);  // tie between Shift_JIS and EUC-JP
  EXPECT_EQ(detect({0xE1, 0xA1}), 65001);  // UTF-8 still waits for a byte, alive and first
  EXPECT_EQ(detect({0xE3, 0x1B, 0x81, 0x82}), 65001);  // the ESC is passed over
  EXPECT_EQ(detect({0xC3, 0xBD, 0xC4}), 65001);        // half-width kana that also read as UTF-8
  // EUC-JP's 0x8F prefix takes only one byte after it.
  EXPECT_EQ(detect({0x8F, 0xA1, 0xB0, 0xA1}), 20932);
  // "河川" in EUC-JP: Shift_JIS and UTF-8 fall away.
  EXPECT_EQ(detect({0xB2, 0xCF, 0xC0, 0xEE}), 20932);
}

TEST(DetectCodePage, Utf8DecidesBeforeTakingTheByteThatKillsTheOthers) {
  // When a byte kills EUC-JP and Shift_JIS, UTF-8 is the only one left and answers before it
  // takes that byte itself, so a byte that all three reject still gives 65001.
  EXPECT_EQ(detect({0x80}), 65001);
  EXPECT_EQ(detect({0xA0}), 65001);
  EXPECT_EQ(detect({0x41, 0x80, 0x41}), 65001);
}
