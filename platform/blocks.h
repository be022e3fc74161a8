// What loading a large file in parts at once needs of the system's memory: whole blocks taken
// from and given back to the system one at a time, and the hint that an array be backed by large
// pages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// A block of `size` bytes (a multiple of 64 KB), zero-filled and writable, or null when the
// system has no memory for it. Given back whole with releaseBlock.
void* takeBlock(std::size_t size);
void releaseBlock(void* block, std::size_t size);

// Asks for the memory of [start, start + size) to be backed by large pages where the system
// does so on request: an array that is filled in one pass then takes far fewer page faults.
// Only a hint; memory is still taken only where the array is written.
void adviseLargePages(void* start, std::size_t size);

}  // namespace platform
