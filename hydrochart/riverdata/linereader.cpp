#include "hydrochart/riverdata/linereader.h"

#include <algorithm>
#include <cstring>

#include "hydrochart/riverdata/textscan.h"
#include "platform/bytesearch.h"

using platform::findText;

namespace {

// Raw bytes that decide where a piece ends: a full piece, a CR and the LF after it.
constexpr std::size_t kPieceWindow = DataLineReader::kMaxLine + 2;
// Bytes after the block that the line end search may read (never used as data).
constexpr std::size_t kPadding = platform::kLineFeedSearchPadding;

}  // namespace

DataLineReader::DataLineReader(platform::InputFile& file) : DataLineReader(file, kReadSize) {}

DataLineReader::DataLineReader(platform::InputFile& file, std::size_t readSize)
    : file_(file), readSize_(std::max<std::size_t>(readSize, 1)) {
  block_.resize(readSize_ + kPieceWindow + kPadding);
  joined_.reserve(kMaxLine);
}

DataLineReader::DataLineReader(platform::InputFile& file, std::uint64_t offset,
                               std::size_t readSize)
    : DataLineReader(file, readSize) {
  positioned_ = true;
  blockStart_ = offset;
  nextBang_ = offset;
}

bool DataLineReader::fill() {
  if (begin_ > 0) {
    std::memmove(block_.data(), block_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    blockStart_ += begin_;
    begin_ = 0;
  }
  const std::size_t room = std::min(readSize_, block_.size() - kPadding - end_);
  const long n = positioned_ ? file_.readAt(block_.data() + end_, room, blockStart_ + end_)
                             : file_.read(block_.data() + end_, room);
  if (n <= 0) {
    // A read error ends the file like its end does; what was read before it is still handed out.
    eof_ = true;
    return false;
  }
  const std::size_t count = static_cast<std::size_t>(n);
  if (!mayHoldNul_ && platform::findByte(block_.data() + end_, '\0', count) != nullptr) {
    mayHoldNul_ = true;
  }
  end_ += count;
  return true;
}

// The work of readRawLine, kept inline in readDataLine: a call per line is a noticeable part
// of reading a large file.
[[gnu::always_inline]] inline bool DataLineReader::nextPiece(std::string_view& line) {
  while (!eof_ && end_ - begin_ < kPieceWindow) fill();
  const std::size_t available = end_ - begin_;
  if (available == 0) return false;

  const char* const start = block_.data() + begin_;
  const std::size_t window = std::min(available, kPieceWindow);
  const char* const lf = platform::findLineFeed(start, window);
  std::size_t length;
  std::size_t consumed;
  if (lf != nullptr) {
    length = static_cast<std::size_t>(lf - start);
    consumed = length + 1;
    // Text mode: a CR directly before the LF is not part of the line.
    if (length > 0 && start[length - 1] == '\r') --length;
    if (length >= kMaxLine) {
      // The line with its line end does not fit into the line buffer: hand out a full piece,
      // the rest follows as the next line.
      length = kMaxLine;
      consumed = kMaxLine;
    }
  } else {
    length = std::min(available, kMaxLine);
    consumed = length;
  }
  begin_ += consumed;

  if (mayHoldNul_) {
    // The line is text up to its first NUL, as a C string would be.
    const char* nul = platform::findByte(start, '\0', length);
    if (nul != nullptr) length = static_cast<std::size_t>(nul - start);
  }
  line = std::string_view(start, length);
  return true;
}

bool DataLineReader::readRawLine(std::string_view& line) { return nextPiece(line); }

std::string_view DataLineReader::peek(std::size_t want) {
  while (!eof_ && end_ - begin_ < want) fill();
  return {block_.data() + begin_, end_ - begin_};
}

// A comment needs a '!', which river data hardly holds elsewhere: the next '!' is found once
// ahead of the lines, and only a line that holds it is searched for "<!--".
[[gnu::always_inline]] inline bool DataLineReader::mayHoldComment(std::string_view line) {
  const auto offset = static_cast<std::size_t>(line.data() - block_.data());
  const std::uint64_t lineEnd = blockStart_ + offset + line.size();
  if (nextBang_ < lineEnd) {
    const char* bang = platform::findByte(line.data(), '!', end_ - offset);
    nextBang_ =
        blockStart_ + (bang != nullptr ? static_cast<std::size_t>(bang - block_.data()) : end_);
  }
  return nextBang_ < lineEnd;
}

bool DataLineReader::readDataLine(std::string_view& line) {
  for (;;) {
    std::string_view raw;
    if (!nextPiece(raw)) return false;
    if (raw.empty()) continue;
    const std::size_t open = mayHoldComment(raw) ? findText(raw, "<!--") : std::string_view::npos;
    if (open == std::string_view::npos) {
      line = raw;
      return true;
    }
    // Only the first comment of a line is cut out; the search for its end includes "<!--"
    // itself, so "<!-->" is a whole comment.
    const std::size_t close = findText(raw, "-->", open);
    if (close != std::string_view::npos) {
      joined_.assign(raw.substr(0, open));
      joined_.append(raw.substr(close + 3));
    } else {
      joined_.assign(raw.substr(0, open));
      for (;;) {
        std::string_view next;
        // The file ends inside the comment: the text before it is lost with it.
        if (!readRawLine(next)) return false;
        const std::size_t end = findText(next, "-->");
        if (end != std::string_view::npos) {
          // The joined remainder keeps to the line buffer's 1023 bytes.
          const std::string_view rest = next.substr(end + 3);
          joined_.append(rest.substr(0, kMaxLine - joined_.size()));
          break;
        }
      }
    }
    if (!joined_.empty()) {
      line = joined_;
      return true;
    }
  }
}
