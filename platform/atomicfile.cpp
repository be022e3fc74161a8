#include "platform/atomicfile.h"

#include <cerrno>
#include <cstring>

#include "platform/descriptor.h"

namespace platform {

std::string describeFileError(const char* what, const std::string& path, int error) {
  return std::string(what) + " " + path + ": " + std::strerror(error);
}

bool AtomicFile::write(const void* data, std::size_t size, std::string& cause) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const long n = writeToDescriptor(fd_, bytes, size);
    if (n < 0) {
      cause = describeFileError("cannot write", target_, errno);
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
    cause = describeFileError("cannot write", target_, EBADF);
    return false;
  }
  const int fd = fd_;
  fd_ = -1;
  if (closeDescriptor(fd) != 0) {
    cause = describeFileError("cannot write", target_, errno);
    discard();
    return false;
  }
  return true;
}

}  // namespace platform
