// Loading a river data file in two parts at once, exposed for tests.
#pragma once

#include <cstdint>

#include "hydrochart/riverdata/riverdata.h"

namespace riverdata_detail {

// Reads the records of the open file `fd` into `data` (which the caller has emptied) and
// builds its index. With `partStart` 0 the file is read in one pass. Otherwise a second thread
// reads from the line at that offset on while the first reads up to it; the second part's
// records are used only when the first thread arrives at that line between elements, so that
// it would have read the rest exactly as the second did; otherwise the first thread reads the
// rest itself. The records are those of a single pass in every case, and so are the faults: it
// throws what a single pass throws.
void loadRecordsInParts(int fd, RiverData& data, std::uint64_t partStart);

}  // namespace riverdata_detail
