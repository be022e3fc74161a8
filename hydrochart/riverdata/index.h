// The two halves of the lookup index of a data set, which read the records and write separate
// members of the index, so that two threads can build them at once (also while the parts of a
// load are joined).
#pragma once

#include "hydrochart/riverdata/riverdata.h"

namespace riverdata_detail {

// The Curve, Point and RiverNode indexes by id.
void buildIdIndexes(RiverData& data);
// The streams of each river and of each water system.
void buildStreamIndexes(RiverData& data);
// Both, by two threads when `twoThreads` and the data set is large enough to gain from it.
void buildIndexes(RiverData& data, bool twoThreads);

}  // namespace riverdata_detail
