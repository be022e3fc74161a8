#include "platform/blocks.h"

// windows.h first: the other Windows headers build on it.
#include <windows.h>

namespace platform {

void* takeBlock(std::size_t size) {
  return ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void releaseBlock(void* block, std::size_t) { ::VirtualFree(block, 0, MEM_RELEASE); }

void adviseLargePages(void*, std::size_t) {}

}  // namespace platform
