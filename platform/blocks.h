// What loading a large file in two parts at once needs of the system: reads at a given offset
// that leave the descriptor's own position alone, whole blocks of memory taken from and given
// back to the system one at a time, and the hint that an array be backed by large pages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Reads up to `size` bytes of `fd` from `offset` on. The count read (0 at the end of the
// file), or -1 on an error. Two threads may read one descriptor this way at once, as long as
// nothing reads it through its own position meanwhile.
long readAt(int fd, void* data, std::size_t size, std::uint64_t offset);

// A block of `size` bytes (a multiple of 64 KB), zero-filled and writable, or null when the
// system has no memory for it. Given back whole with releaseBlock.
void* takeBlock(std::size_t size);
void releaseBlock(void* block, std::size_t size);

// Asks for the memory of [start, start + size) to be backed by large pages where the system
// does so on request: an array that is filled in one pass then takes far fewer page faults.
// Only a hint; memory is still taken only where the array is written.
void adviseLargePages(void* start, std::size_t size);

}  // namespace platform
