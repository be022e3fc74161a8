#include "hydrochart/riverdata/linereader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/riverdata/openfile.h"
#include "tests/support/tempfolder.h"

namespace {

using Lines = std::vector<std::string>;

// Every line readDataLine hands out for `bytes`, read `readSize` bytes at a time.
Lines readAll(std::string_view bytes, std::size_t readSize = DataLineReader::kReadSize) {
  TempFolder folder;
  OpenFile file(folder.write("data.xml", bytes));
  DataLineReader reader(file.file(), readSize);
  Lines lines;
  std::string_view line;
  while (reader.readDataLine(line)) lines.emplace_back(line);
  return lines;
}

Lines readAllRaw(std::string_view bytes, std::size_t readSize = DataLineReader::kReadSize) {
  TempFolder folder;
  OpenFile file(folder.write("data.xml", bytes));
  DataLineReader reader(file.file(), readSize);
  Lines lines;
  std::string_view line;
  while (reader.readRawLine(line)) lines.emplace_back(line);
  return lines;
}

// The line reading of a C program with a 1024-byte buffer, step by step: a text-mode stream
// (CR LF read as LF) read with fgets, lines as C strings, the first comment cut out.
class ReferenceReader {
 public:
  explicit ReferenceReader(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
      text_ += bytes[i];
    }
  }

  bool readDataLine(std::string& buffer) {
    for (;;) {
      if (!readLine(buffer)) return false;
      if (buffer.empty()) continue;
      const std::size_t open = buffer.find("<!--");
      if (open == std::string::npos) return true;
      std::size_t close = buffer.find("-->", open);
      if (close != std::string::npos) {
        buffer = buffer.substr(0, open) + buffer.substr(close + 3);
      } else {
        std::string next;
        for (;;) {
          if (!readLine(next)) return false;
          close = next.find("-->");
          if (close != std::string::npos) break;
        }
        buffer = (buffer.substr(0, open) + next.substr(close + 3)).substr(0, 1023);
      }
      if (!buffer.empty()) return true;
    }
  }

 private:
  // fgets(buffer, 1024, file), the first line feed replaced by NUL, read as a C string.
  bool readLine(std::string& buffer) {
    if (pos_ >= text_.size()) return false;
    buffer.clear();
    while (pos_ < text_.size() && buffer.size() < 1023) {
      const char c = text_[pos_++];
      buffer += c;
      if (c == '\n') break;
    }
    buffer = buffer.substr(0, buffer.find('\n'));
    buffer = buffer.substr(0, buffer.find('\0'));
    return true;
  }

  std::string text_;
  std::size_t pos_ = 0;
};

Lines referenceLines(std::string_view bytes) {
  ReferenceReader reader(bytes);
  Lines lines;
  std::string line;
  while (reader.readDataLine(line)) lines.push_back(line);
  return lines;
}

TEST(DataLineReader, FilesWithoutContentGiveNoLine) {
  EXPECT_TRUE(readAll("").empty());
  EXPECT_TRUE(readAll("\n\n\n").empty());
  EXPECT_TRUE(readAll("\r\n\r\n").empty());
  EXPECT_TRUE(readAll("<!-- one -->\n<!-- two -->\n").empty());
  EXPECT_TRUE(readAll("<!-- over\nthree\nlines -->\n\n").empty());
}

TEST(DataLineReader, CutsOutTheFirstCommentOfALine) {
  EXPECT_EQ(readAll("<!-- note -->\nabc\n"), (Lines{"abc"}));
  EXPECT_EQ(readAll("ab<!-- c -->de\n"), (Lines{"abde"}));
  // Only the first comment goes; a second one stays, and one it opens is not followed.
  EXPECT_EQ(readAll("a<!--1-->b<!--2-->c\n"), (Lines{"ab<!--2-->c"}));
  EXPECT_EQ(readAll("a<!--1-->b<!--2\nc\n"), (Lines{"ab<!--2", "c"}));
  // The end is searched from the opening "<!--" on, so "<!-->" is a whole comment.
  EXPECT_EQ(readAll("x<!-->y\n"), (Lines{"xy"}));
  EXPECT_EQ(readAll("x-->y<!--z\n-->w\n"), (Lines{"x-->yw"}));
}

TEST(DataLineReader, JoinsACommentOverSeveralLines) {
  EXPECT_EQ(readAll("ab<!-- c\nd\n\ne\nf -->gh\nnext\n"), (Lines{"abgh", "next"}));
  // Nothing before it and nothing after it: the lines vanish with the comment.
  EXPECT_EQ(readAll("<!-- c\nd -->\nxyz\n"), (Lines{"xyz"}));
  // A second comment on the closing line stays.
  EXPECT_EQ(readAll("a<!--\n--><!--b-->\n"), (Lines{"a<!--b-->"}));
  // The file ends inside the comment: the text before it is lost and the file is at its end.
  EXPECT_TRUE(readAll("first<!-- open\nmore\n").empty());
  EXPECT_EQ(readAll("line\nfirst<!-- open\nmore"), (Lines{"line"}));
}

TEST(DataLineReader, JoinedCommentRemainderKeepsTo1023Bytes) {
  const std::string before(1000, 'a');
  const std::string after(100, 'b');
  const Lines lines = readAll(before + "<!--\n-->" + after + "\nz\n");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], before + std::string(23, 'b'));
  EXPECT_EQ(lines[1], "z");
}

TEST(DataLineReader, HandsOutLongLinesInPiecesOf1023Bytes) {
  const std::string long1500(1500, 'x');
  EXPECT_EQ(readAll(long1500 + "\nend\n"),
            (Lines{std::string(1023, 'x'), std::string(477, 'x'), "end"}));
  // A line of exactly 1023 bytes leaves its line end as an empty line, which is skipped.
  const std::string exact(1023, 'y');
  EXPECT_EQ(readAllRaw(exact + "\nend\n"), (Lines{exact, "", "end"}));
  EXPECT_EQ(readAll(exact + "\nend\n"), (Lines{exact, "end"}));
  // The CR of a CR LF does not count: 1022 bytes and CR LF still fit one piece.
  const std::string fits(1022, 'z');
  EXPECT_EQ(readAllRaw(fits + "\r\nend\r\n"), (Lines{fits, "end"}));
  EXPECT_EQ(readAllRaw(exact + "\r\nend"), (Lines{exact, "", "end"}));
  // A comment opened in a piece is looked for in the following pieces the same way.
  const std::string opening = std::string(1019, 'p') + "<!--" + std::string(20, 'q') + "-->r\n";
  EXPECT_EQ(readAll(opening), (Lines{std::string(1019, 'p') + "r"}));
}

TEST(DataLineReader, ReadsLineEndsAsTextModeDoes) {
  EXPECT_EQ(readAll("ab\r\ncd\r\n"), (Lines{"ab", "cd"}));
  EXPECT_EQ(readAll("a\rb\n\r\r\nlast"), (Lines{"a\rb", "\r", "last"}));
  EXPECT_EQ(readAll("tail\r"), (Lines{"tail\r"}));
  // A line is text up to its first NUL byte.
  EXPECT_EQ(readAll(std::string("ab\0cd\n\0xyz\nq\n", 13)), (Lines{"ab", "q"}));
}

TEST(DataLineReader, LinesSplitAcrossReadsComeOutWhole) {
  std::string text;
  text += "<?xml version=\"1.0\"?>\r\n";
  text += std::string(1500, 'L') + "\r\n";
  text += "a<!-- spans\r\nthe\r\nread -->b\r\n";
  text += std::string(1022, 'm') + "\r\n";
  text += std::string(1023, 'n') + "\r\n";
  for (int i = 0; i < 200; ++i) text += std::to_string(35.0 + i * 0.001) + " 139.5\n";
  text += "end";
  const Lines expected = referenceLines(text);
  ASSERT_EQ(readAll(text), expected);
  for (std::size_t readSize : {1u, 2u, 3u, 7u, 64u, 1000u, 1023u, 1024u, 1025u, 4096u}) {
    EXPECT_EQ(readAll(text, readSize), expected) << "read size " << readSize;
  }
}

TEST(DataLineReader, MatchesTheBufferedReaderOnRandomText) {
  // Text made of the characters that matter, with long runs now and then.
  const std::string alphabet = "ab <!-->\n\r\n\n";
  std::uint64_t state = 12345;
  auto next = [&state]() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<std::uint32_t>(state >> 33);
  };
  for (int round = 0; round < 200; ++round) {
    std::string text;
    const std::uint32_t length = next() % 4000;
    while (text.size() < length) {
      const std::uint32_t pick = next() % 100;
      if (pick < 2) {
        text.append(1000 + next() % 100, 'w');
      } else if (pick < 3) {
        text += '\0';
      } else if (pick < 8) {
        text += "<!--";
      } else if (pick < 13) {
        text += "-->";
      } else {
        text += alphabet[next() % alphabet.size()];
      }
    }
    const Lines expected = referenceLines(text);
    ASSERT_EQ(readAll(text), expected) << "round " << round;
    ASSERT_EQ(readAll(text, 1 + next() % 50), expected) << "round " << round;
  }
}

}  // namespace
