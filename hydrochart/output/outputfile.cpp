#include "hydrochart/output/outputfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "platform/files.h"

namespace {

// A temporary file beside `path` (or beside the file a symbolic link `path` names) with the
// permissions the file would get when created in place, or that the old file had.
// Sets `temporary` and `target`; nullptr when it cannot be made.
std::FILE* openTemporary(const std::string& path, const struct stat* old, std::string& temporary,
                         std::string& target) {
  target = path;
  if (old != nullptr) {
    // Through a symbolic link the file it names is replaced, and the link stays.
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  const std::string folder = platform::removeLastComponent(target);
  const std::string name = target.substr(target.rfind('/') + 1);  // npos + 1 is 0
  temporary = (folder.empty() ? "." : folder) + "/." + name + "-XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return nullptr;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, old != nullptr ? (old->st_mode & 07777) : (0666 & ~mask));
  std::FILE* file = ::fdopen(fd, "w");
  if (file == nullptr) {
    ::close(fd);
    ::unlink(temporary.c_str());
  }
  return file;
}

}  // namespace

OutputFile::~OutputFile() { finish(); }

bool OutputFile::open(const std::string& path, Mode mode) {
  std::FILE* file = nullptr;
  std::string temporary;
  std::string target;
  struct stat status {};
  const bool exists = ::stat(path.c_str(), &status) == 0;
  if (mode == Mode::InPlace || (exists && !S_ISREG(status.st_mode))) {
    file = std::fopen(path.c_str(), "w");
  } else {
    file = openTemporary(path, exists ? &status : nullptr, temporary, target);
  }
  if (file == nullptr) return false;
  // The text arrives in large blocks already, so the stream needs no buffer of its own.
  std::setvbuf(file, nullptr, _IONBF, 0);
  finish();
  file_ = file;
  temporary_ = std::move(temporary);
  target_ = std::move(target);
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
  const bool placed = complete && ::rename(temporary_.c_str(), target_.c_str()) == 0;
  if (!placed) ::unlink(temporary_.c_str());
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
  ::unlink(temporary_.c_str());
  temporary_.clear();
  pending_.clear();
}
