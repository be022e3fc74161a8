#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/inputfile.h"

namespace platform {

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool InputFile::open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
    // A folder is no file that could be opened for reading.
    ::close(fd);
    return false;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  return true;
}

std::uint64_t InputFile::regularSize() const {
  struct stat status {};
  if (::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)) return 0;
  return static_cast<std::uint64_t>(status.st_size);
}

long InputFile::read(void* data, std::size_t size) {
  ssize_t n;
  do {
    n = ::read(fd_, data, size);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

long InputFile::readAt(void* data, std::size_t size, std::uint64_t offset) const {
  ssize_t n;
  do {
    n = ::pread(fd_, data, size, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

}  // namespace platform
