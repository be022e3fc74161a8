// The line reader of river data files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/inputfile.h"
#include "platform/textscan.h"

// Reads a data file in large blocks and hands out its lines one by one: line ends removed
// (a CR directly before the LF dropped as well), empty lines skipped, the first XML comment of
// a line cut out (also across lines), and lines longer than 1023 bytes handed out in pieces of
// 1023 bytes.
class DataLineReader {
 public:
  // Bytes asked of the file at a time.
  static constexpr std::size_t kReadSize = std::size_t{1} << 20;
  // Longest line or piece handed out, as a 1024-byte line buffer holds it.
  static constexpr std::size_t kMaxLine = 1023;

  // Reads `file` from its own position on; the file stays open and outlives the reader.
  explicit DataLineReader(platform::InputFile& file);
  // Reads `readSize` bytes at a time (small sizes let tests split lines across reads).
  DataLineReader(platform::InputFile& file, std::size_t readSize);
  // Reads a regular file from `offset` on at given offsets (InputFile::readAt), leaving the
  // file's own position alone, so that several readers can share one file.
  DataLineReader(platform::InputFile& file, std::uint64_t offset, std::size_t readSize);
  DataLineReader(const DataLineReader&) = delete;
  DataLineReader& operator=(const DataLineReader&) = delete;

  // Next line with content, or false at the end of the file (or on a read error). `line`
  // stays valid until the next call.
  bool readDataLine(std::string_view& line);

  // Raw line reading (line end handling and pieces as above, but no comment removal and empty
  // lines included); false at the end. Used by readDataLine, exposed for tests.
  bool readRawLine(std::string_view& line);

  // The buffered bytes not yet handed out: at least `want` of them unless the file ends first.
  // Valid until the next call of any reading function. For callers that read runs of simple
  // lines straight from the block; they hand back what they used with skip().
  std::string_view peek(std::size_t want);
  // Marks the first `count` bytes of the last peek() as read; they must end with a line feed.
  void skip(std::size_t count) { begin_ += count; }

  // File offset of the first byte not yet handed out.
  std::uint64_t offset() const { return blockStart_ + begin_; }

 private:
  bool fill();
  bool nextPiece(std::string_view& line);
  bool mayHoldComment(std::string_view line);

  platform::InputFile& file_;
  std::size_t readSize_;
  bool positioned_ = false;  // reads at blockStart_ + end_ rather than at the descriptor's position
  std::vector<char> block_;
  std::size_t begin_ = 0;         // first unread byte of block_
  std::size_t end_ = 0;           // one past the last valid byte of block_
  std::uint64_t blockStart_ = 0;  // file offset of block_[0]
  std::uint64_t nextBang_ = 0;    // file offset of the next '!' ahead of the lines read
  bool eof_ = false;
  bool mayHoldNul_ = false;  // a NUL byte was read: lines end at their first NUL
  std::string joined_;       // line rebuilt after a comment was cut out
};

// Ids and tags are read with the shared text scanners.
using platform::findAfter;
using platform::parseIdNumber;
