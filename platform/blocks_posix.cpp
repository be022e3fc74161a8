#include <sys/mman.h>

#include "platform/blocks.h"

namespace platform {

void* takeBlock(std::size_t size) {
  // Populated at once: the block is about to be filled from its start.
  void* block = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

void releaseBlock(void* block, std::size_t size) { ::munmap(block, size); }

void adviseLargePages(void* start, std::size_t size) {
#if defined(MADV_HUGEPAGE)
  // Only the whole 2 MB pages inside the range.
  constexpr std::uintptr_t kLargePage = std::uintptr_t{1} << 21;
  const auto begin = (reinterpret_cast<std::uintptr_t>(start) + kLargePage - 1) & ~(kLargePage - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(start) + size) & ~(kLargePage - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)start;
  (void)size;
#endif
}

}  // namespace platform
