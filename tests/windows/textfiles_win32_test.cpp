// Text files on Windows: hydrochart's writer forms the CR LF line ends itself and writes in
// binary mode, which must give the very bytes that the C runtime's text mode writes. The
// whole-file reader, whose shared tests stay out of the Windows build, is checked here too.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "hydrochart/output/outputfile.h"
#include "platform/files.h"
#include "tests/support/tempfolder.h"

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// What the C runtime stores for `text` written to a file opened in text mode.
std::string textModeBytes(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  EXPECT_NE(file, nullptr);
  if (file == nullptr) return {};
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  return readAll(path);
}

// Lines of every kind, with line ends at and around the writer's block boundaries.
std::string awkwardText() {
  std::string text = "first\nCR LF already\r\nlone CR\rthen\n\n\nend of a piece\n";
  text.append(OutputFile::kBlockSize - text.size() - 1, 'x');
  text += "\n\n";  // a line end on either side of the first block boundary
  for (int i = 0; i < 40000; ++i) text += "line " + std::to_string(i) + (i % 7 ? "\n" : "\r\n");
  text += "\x1a control-Z and no final line end";
  return text;
}

}  // namespace

TEST(WindowsTextFiles, WriterGivesTheBytesOfTextModeInEveryMode) {
  TempFolder folder;
  const std::string text = awkwardText();
  const std::string expected = textModeBytes(folder.file("reference.txt"), text);
  ASSERT_GT(expected.size(), text.size());

  for (const OutputFile::Mode mode : {OutputFile::Mode::InPlace, OutputFile::Mode::Replace}) {
    const std::string path = folder.file("written.txt");
    OutputFile file;
    ASSERT_TRUE(file.open(path, mode));
    // Pieces of several sizes, as the page writers append them.
    for (std::size_t at = 0, step = 1; at < text.size(); at += step, step = step * 3 % 4099 + 1) {
      file.append(std::string_view(text).substr(at, step));
    }
    ASSERT_TRUE(file.close());
    EXPECT_TRUE(readAll(path) == expected) << "mode " << static_cast<int>(mode);
  }

  // The code-label file keeps its LF line ends.
  OutputFile binary;
  ASSERT_TRUE(binary.open(folder.file("binary.txt"), OutputFile::Mode::InPlaceBinary));
  binary.append(text);
  ASSERT_TRUE(binary.close());
  EXPECT_TRUE(readAll(folder.file("binary.txt")) == text);
}

TEST(WindowsTextFiles, WholeFileReaderReadsLargeAndEmptyFilesAndKeepsItsLimit) {
  TempFolder folder;
  std::string large;
  for (int i = 0; large.size() < (std::size_t{17} << 20); ++i) large += std::to_string(i) + ",";
  const std::string path = folder.file("large.bin");
  std::ofstream(path, std::ios::binary) << large;
  std::ofstream(folder.file("empty.bin"), std::ios::binary);

  std::string content = "left over";
  ASSERT_EQ(platform::readWholeFile(path, content), platform::FileRead::Read);
  EXPECT_TRUE(content == large);
  EXPECT_EQ(platform::readWholeFile(folder.file("empty.bin"), content), platform::FileRead::Read);
  EXPECT_EQ(content, "");
  EXPECT_EQ(platform::readWholeFile(path, content, large.size() - 1), platform::FileRead::TooLarge);
  EXPECT_EQ(platform::readWholeFile(path, content, large.size()), platform::FileRead::Read);
  EXPECT_EQ(content.size(), large.size());
  EXPECT_EQ(platform::readWholeFile(folder.file("missing.bin"), content),
            platform::FileRead::NotFound);
}
