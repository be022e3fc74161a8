#include "fetchunpack/atomicfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"

namespace fetchunpack {

namespace {

std::string describe(const char* what, const std::string& path, int error) {
  return std::string(what) + " " + path + ": " + std::strerror(error);
}

}  // namespace

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::create(const std::string& target, std::string& cause) {
  discard();
  const std::string folder = platform::removeLastComponent(target);
  std::string pattern = (folder.empty() ? std::string() : folder + "/") + ".fetchunpack-XXXXXX";
  if (pattern.size() > platform::kMaxPathLength) {
    cause = describe("cannot create", target, ENAMETOOLONG);
    return false;
  }
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    cause = describe("cannot create a file next to", target, errno);
    return false;
  }
  // mkstemp makes the file private; give it the mode an ordinary new file gets.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(fd, 0666 & ~mask) != 0) {
    cause = describe("cannot set the mode of", pattern, errno);
    ::close(fd);
    ::unlink(pattern.c_str());
    return false;
  }
  fd_ = fd;
  target_ = target;
  temporaryPath_ = pattern;
  return true;
}

bool AtomicFile::write(const void* data, std::size_t size, std::string& cause) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      cause = describe("cannot write", target_, errno);
      return false;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool AtomicFile::close(std::string& cause) {
  if (fd_ < 0) {
    if (!temporaryPath_.empty()) return true;
    cause = describe("cannot write", target_, EBADF);
    return false;
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    cause = describe("cannot write", target_, errno);
    discard();
    return false;
  }
  return true;
}

bool AtomicFile::commit(std::string& cause) {
  if (!close(cause)) return false;
  if (std::rename(temporaryPath_.c_str(), target_.c_str()) != 0) {
    cause = describe("cannot replace", target_, errno);
    discard();
    return false;
  }
  temporaryPath_.clear();
  return true;
}

void AtomicFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
  temporaryPath_.clear();
}

}  // namespace fetchunpack
