#include "platform/inputfile.h"

// windows.h first: the other Windows headers build on it.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>

namespace platform {

namespace {

// Largest count asked of one call: the C runtime and ReadFile count in 32 bits.
constexpr std::size_t kLargestRead = std::size_t{1} << 30;

}  // namespace

InputFile::~InputFile() {
  if (fd_ >= 0) ::_close(fd_);
}

bool InputFile::open(const std::string& path) {
  // Raw bytes, as on POSIX systems: no CR LF translation by the C runtime's text mode.
  const int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) return false;
  struct _stat64 status {};
  if (::_fstat64(fd, &status) != 0 || (status.st_mode & _S_IFMT) == _S_IFDIR) {
    ::_close(fd);
    return false;
  }
  if (fd_ >= 0) ::_close(fd_);
  fd_ = fd;
  return true;
}

std::uint64_t InputFile::regularSize() const {
  struct _stat64 status {};
  if (::_fstat64(fd_, &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) return 0;
  return static_cast<std::uint64_t>(status.st_size);
}

long InputFile::read(void* data, std::size_t size) {
  return ::_read(fd_, data, static_cast<unsigned>(std::min(size, kLargestRead)));
}

long InputFile::readAt(void* data, std::size_t size, std::uint64_t offset) const {
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_));
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  // The offset goes with the request; the handle's own position moves too, which is why
  // every reader of a file shared this way reads at offsets.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!::ReadFile(handle, data, static_cast<DWORD>(std::min(size, kLargestRead)), &got, &at)) {
    if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
    errno = EIO;
    return -1;
  }
  return static_cast<long>(got);
}

}  // namespace platform
