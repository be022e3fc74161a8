// The two file-descriptor calls that the shared parts of AtomicFile need, implemented once per
// platform beside the rest of AtomicFile.
#pragma once

#include <cstddef>

namespace platform {

// Writes up to `size` bytes to `fd`; the count written, or -1 with errno set. An interrupted
// call is tried again.
long writeToDescriptor(int fd, const void* data, std::size_t size);

// Closes `fd`; 0, or -1 with errno set.
int closeDescriptor(int fd);

}  // namespace platform
