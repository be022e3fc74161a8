#include "hydrochart/output/outputfile.h"

#include <utility>

#include "platform/files.h"

OutputFile::~OutputFile() { finish(); }

bool OutputFile::open(const std::string& path, Mode mode) {
  platform::ReplacementFile replacement;
  if (mode == Mode::InPlace || mode == Mode::InPlaceBinary) {
    replacement.file = std::fopen(path.c_str(), mode == Mode::InPlace ? "w" : "wb");
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
  pending_.clear();
  pending_.reserve(kBlockSize + kBlockSize / 4);
  return true;
}

void OutputFile::flush() {
  if (pending_.empty()) return;
  if (file_ != nullptr && !failed_ &&
      std::fwrite(pending_.data(), 1, pending_.size(), file_) != pending_.size()) {
    failed_ = true;
  }
  pending_.clear();
}

bool OutputFile::close() {
  if (file_ == nullptr) return false;
  flush();
  const bool complete = std::fclose(file_) == 0 && !failed_;
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
