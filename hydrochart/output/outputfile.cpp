#include "hydrochart/output/outputfile.h"

#include <cstddef>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/textscan.h"

namespace {

// Text blocks of writers that went away, kept for the writers that follow. A run writes hundreds
// of pages one after another, each through a writer of its own with blocks of about kBlockSize;
// Windows' heap gives blocks that large straight back to the system and maps fresh zeroed
// memory for the next, which costs more there than writing the page. Reusing a few blocks
// keeps that to the first pages.
class BlockPool {
 public:
  // A block of at least `capacity` bytes, empty: a kept one when there is one.
  std::string take(std::size_t capacity) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (std::size_t i = kept_.size(); i-- > 0;) {
        if (kept_[i].capacity() >= capacity) {
          std::string block = std::move(kept_[i]);
          kept_.erase(kept_.begin() + static_cast<std::ptrdiff_t>(i));
          return block;
        }
      }
    }
    std::string block;
    block.reserve(capacity);
    return block;
  }
  // Keeps `block` for a later take() when it is of a writer's size and there is room.
  void give(std::string& block) {
    if (block.capacity() < OutputFile::kBlockSize || block.capacity() > kLargestKept) return;
    block.clear();
    std::lock_guard<std::mutex> lock(mutex_);
    if (kept_.size() < kMaxKept) kept_.push_back(std::move(block));
  }

 private:
  // A file's writer takes two blocks (its text, and its text with CR LF line ends), a part
  // drawn ahead one; more are rarely waiting at once. At most 16 MB stay kept.
  static constexpr std::size_t kMaxKept = 4;
  static constexpr std::size_t kLargestKept = 4 * OutputFile::kBlockSize;
  std::mutex mutex_;
  std::vector<std::string> kept_;
};

BlockPool& blockPool() {
  static BlockPool pool;
  return pool;
}

// Makes `block` an empty block of at least `capacity` bytes, from the pool when it is smaller.
void makeRoom(std::string& block, std::size_t capacity) {
  block.clear();
  if (block.capacity() >= capacity) return;
  blockPool().give(block);
  block = blockPool().take(capacity);
}

// The first "\n" in [at, end), or end.
const char* findLineFeed(const char* at, const char* end) {
  const char* lineFeed = platform::findByte(at, '\n', static_cast<std::size_t>(end - at));
  return lineFeed != nullptr ? lineFeed : end;
}

// `text` with every "\n" written as "\r\n", as a text-mode write would store it, into `out`.
void withCrLf(std::string_view text, std::string& out) {
  out.clear();
  const char* at = text.data();
  const char* const end = at + text.size();
  while (at < end) {
    const char* lineEnd = findLineFeed(at, end);
    out.append(at, lineEnd);
    if (lineEnd == end) break;
    out.append("\r\n", 2);
    at = lineEnd + 1;
  }
}

}  // namespace

OutputFile::~OutputFile() {
  finish();
  blockPool().give(pending_);
  blockPool().give(crLfText_);
}

bool OutputFile::open(const std::string& path, Mode mode) {
  platform::ReplacementFile replacement;
  // Files are opened in binary mode; CR LF line ends, where text files have them, are formed
  // here (see flush()).
  if (mode == Mode::InPlace || mode == Mode::InPlaceBinary) {
    replacement.file = std::fopen(path.c_str(), "wb");
  } else {
    replacement = platform::openReplacementFile(path);
  }
  std::FILE* file = replacement.file;
  if (file == nullptr) return false;
  // The text arrives in large blocks already, so the stream needs no buffer of its own.
  std::setvbuf(file, nullptr, _IONBF, 0);
  finish();
  file_ = file;
  temporary_ = std::move(replacement.temporaryPath);
  target_ = std::move(replacement.target);
  failed_ = false;
  inMemory_ = false;
  crLf_ = platform::kCrLfLineEnds && mode != Mode::InPlaceBinary && mode != Mode::ReplaceBinary;
  makeRoom(pending_, kBlockSize + kBlockSize / 4);
  if (crLf_) makeRoom(crLfText_, kBlockSize + kBlockSize / 2);
  return true;
}

void OutputFile::openInMemory(std::size_t expectedBytes) {
  finish();
  failed_ = false;
  inMemory_ = true;
  if (expectedBytes >= kBlockSize / 2) {
    makeRoom(pending_, expectedBytes);
  } else {
    pending_.clear();
    pending_.reserve(expectedBytes);
  }
}

void OutputFile::append(OutputFile&& other) {
  if (!inMemory_) static_cast<void>(flush());
  if (pending_.empty()) {
    pending_.swap(other.pending_);
  } else {
    pending_.append(other.pending_);
  }
  other.pending_.clear();
  flushIfLarge();
}

bool OutputFile::flush() {
  if (inMemory_) return true;
  if (file_ == nullptr) return pending_.empty();
  if (!pending_.empty() && !failed_) writeBlock(pending_);
  pending_.clear();
  return !failed_;
}

void OutputFile::writeBlock(std::string_view text) {
  if (crLf_) {
    withCrLf(text, crLfText_);
    text = crLfText_;
  }
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
}

bool OutputFile::close() {
  if (file_ == nullptr) return false;
  const bool written = flush();
  const bool complete = std::fclose(file_) == 0 && written;
  file_ = nullptr;
  failed_ = false;
  if (temporary_.empty()) return complete;
  const bool placed = complete && platform::replaceFile(temporary_, target_);
  if (!placed) platform::removeFile(temporary_);
  temporary_.clear();
  return placed;
}

void OutputFile::finish() {
  if (file_ == nullptr) return;
  if (temporary_.empty()) {
    static_cast<void>(close());
    return;
  }
  // A replacement that was not finished must not take the old file's place.
  std::fclose(file_);
  file_ = nullptr;
  platform::removeFile(temporary_);
  temporary_.clear();
  pending_.clear();
}
