// How the loader reads a file, and what it tells of how it read it.
#pragma once

#include <cstdint>
#include <vector>

// How a large file is read: in parts at once, each read by its own thread from a line near an
// even share of the file, and joined in file order into exactly the records of a single pass.
struct LoadOptions {
  // Files of at least this many bytes are read in parts.
  std::uint64_t splitSize = std::uint64_t{8} << 20;
  // Parts of such a file.
  unsigned parts = 2;
  // Threads that read the parts and build the index; with 1 every file is read in one pass.
  unsigned threads = 2;
  // When not empty: the offsets at which the later parts start, exactly (whatever the file's
  // size and whether an element starts there), instead of lines found near even shares of the
  // file. For tests that try every start.
  std::vector<std::uint64_t> partStarts;
};

// Why a file that was to be read in parts was read in fewer.
enum class LoadFallback {
  None,
  NoPartStart,      // no line near a share's offset looked like the start of an element
  PartPassedBy,     // a part's reader did not arrive at the next part's start between elements
                    // and read that part's lines itself
  PartOutOfMemory,  // a part ran short of memory; the part before read its lines
  NoThread,         // no second thread could be had: one pass
};
