// Reading a large file in parts at once: where the parts start, the threads that read them, and
// the join that puts their records together as a single pass would have read them.
#pragma once

#include <cstdint>
#include <vector>

#include "hydrochart/riverdata/loadoptions.h"
#include "hydrochart/riverdata/records.h"
#include "platform/inputfile.h"

namespace riverdata_detail {

// Starts of the later parts when `file` (of `size` bytes) is cut into `parts`: for each share,
// the first line at or after its offset (within 1 MiB) that opens an element after a line
// that the reader hands out on its own. Shares without such a line are left to the part before.
std::vector<std::uint64_t> findPartStarts(const platform::InputFile& file, std::uint64_t size,
                                          unsigned parts);

struct PartsRead {
  unsigned parts = 1;  // parts whose records were joined
  LoadFallback fallback = LoadFallback::None;
};

// Reads the records of `file` into `data` (emptied by the caller) in parts from offset 0 and
// from each of `starts` (increasing), on up to `threads` threads, with river names in
// `nameEncoding` (null for UTF-8), and builds the index. A part's records are used only when
// the part before arrives at its start between elements, so that it would have read on exactly
// as this part did; otherwise the part before reads on itself. The records are those of a single
// pass in every case, and so are the faults: it throws what a single pass throws.
PartsRead loadInParts(platform::InputFile& file, RiverData& data,
                      const std::vector<std::uint64_t>& starts, unsigned threads,
                      const char* nameEncoding);

}  // namespace riverdata_detail
