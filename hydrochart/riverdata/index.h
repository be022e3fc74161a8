// The lookup index of a data set and the lookups over it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "hydrochart/riverdata/records.h"

// Builds `data.index` from the records (loadRiverData calls it; tests that fill a data set by
// hand call it themselves).
void buildRiverDataIndex(RiverData& data);

// Lookups over the index; -1 when nothing matches.
std::int32_t findCurveIndex(const RiverData& data, std::int32_t id);
std::int32_t findPointIndex(const RiverData& data, std::int32_t id);
// The id text is compared over at most 13 bytes, up to its first NUL.
std::int32_t findRiverNodeIndex(const RiverData& data, std::string_view idText);

// Indexes into `streams` of the streams of one river or one water system, in file order
// (empty when none).
const std::vector<std::int32_t>& streamsOfRiver(const RiverData& data, std::uint64_t riverCode);
const std::vector<std::int32_t>& streamsOfWaterSystem(const RiverData& data, std::uint32_t code);

// The two halves of the index read the records and write separate members of the index, so
// that two threads can build them at once (also while the parts of a load are joined).
namespace riverdata_detail {

// The Curve, Point and RiverNode indexes by id.
void buildIdIndexes(RiverData& data);
// The streams of each river and of each water system.
void buildStreamIndexes(RiverData& data);
// Both, by two threads when `twoThreads` and the data set is large enough to gain from it.
void buildIndexes(RiverData& data, bool twoThreads);

}  // namespace riverdata_detail
