#include "platform/blocks.h"

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <io.h>

#include <algorithm>
#include <cerrno>

namespace platform {

long readAt(int fd, void* data, std::size_t size, std::uint64_t offset) {
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  // The offset goes with the request; the handle's own position moves too, which is why
  // every reader of a descriptor shared this way reads at offsets.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  const auto want = static_cast<DWORD>(std::min<std::size_t>(size, std::size_t{1} << 30));
  DWORD got = 0;
  if (!::ReadFile(handle, data, want, &got, &at)) {
    if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
    errno = EIO;
    return -1;
  }
  return static_cast<long>(got);
}

void* takeBlock(std::size_t size) {
  return ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void releaseBlock(void* block, std::size_t) { ::VirtualFree(block, 0, MEM_RELEASE); }

void adviseLargePages(void*, std::size_t) {}

}  // namespace platform
