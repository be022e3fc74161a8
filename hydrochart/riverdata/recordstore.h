// Where the records of a load go: straight into the arrays of the data set, or, for a later
// part of a file that is read in parts at once, into blocks taken from the system, which are
// moved into the data set's arrays when the parts are joined.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "hydrochart/riverdata/records.h"
#include "platform/blocks.h"

namespace riverdata_detail {

// Counts are reported and used as signed 32-bit numbers.
constexpr std::size_t kMaxRecords =
    static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

// Appends a record; an array that would outgrow the 32-bit counts fails like an allocation.
template <typename T>
inline T& appendRecord(std::vector<T>& records, const T& record) {
  if (records.size() == records.capacity() && records.size() >= kMaxRecords) [[unlikely]] {
    throw std::bad_alloc();
  }
  records.push_back(record);
  return records.back();
}

// The records of one kind. Blocks are copied into the data set's array and given back one by
// one, so that the moving never holds a second full copy of the records.
template <typename Record>
class RecordStore {
 public:
  explicit RecordStore(std::vector<Record>& list) : list_(&list) {}
  RecordStore() = default;
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;
  ~RecordStore() {
    for (Record* block : blocks_) platform::releaseBlock(block, kBlockBytes);
  }

  // Index that the next record gets.
  std::size_t size() const {
    if (list_ != nullptr) return list_->size();
    return blocks_.empty() ? 0 : (blocks_.size() - 1) * kBlockRecords + (next_ - blocks_.back());
  }

  // The record appended; it stays in place until the next push.
  Record& push(const Record& record) {
    if (list_ != nullptr) return appendRecord(*list_, record);
    if (next_ == end_) [[unlikely]]
      nextBlock();
    *next_ = record;
    return *next_++;
  }

  // Record `i` of a store of blocks.
  Record& operator[](std::size_t i) { return blocks_[i / kBlockRecords][i % kBlockRecords]; }

  // Appends the records to `target` in order, giving back each block's memory once copied.
  void moveInto(std::vector<Record>& target) {
    target.reserve(target.size() + size());
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
      const std::size_t n =
          i + 1 < blocks_.size() ? kBlockRecords : static_cast<std::size_t>(next_ - blocks_[i]);
      target.insert(target.end(), blocks_[i], blocks_[i] + n);
      platform::releaseBlock(blocks_[i], kBlockBytes);
      blocks_[i] = nullptr;
    }
    blocks_.clear();
    next_ = end_ = nullptr;
  }

 private:
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;
  static constexpr std::size_t kBlockRecords = kBlockBytes / sizeof(Record);

  void nextBlock() {
    if (size() + kBlockRecords > kMaxRecords) throw std::bad_alloc();
    blocks_.reserve(blocks_.size() + 1);
    void* block = platform::takeBlock(kBlockBytes);
    if (block == nullptr) throw std::bad_alloc();
    blocks_.push_back(static_cast<Record*>(block));
    next_ = blocks_.back();
    end_ = next_ + kBlockRecords;
  }

  std::vector<Record>* list_ = nullptr;
  std::vector<Record*> blocks_;
  Record* next_ = nullptr;
  Record* end_ = nullptr;
};

// The five stores of a load: the arrays of a data set, or blocks for a later part.
struct LoadStores {
  explicit LoadStores(RiverData& data)
      : positions(data.pointList),
        curves(data.curves),
        points(data.points),
        streams(data.streams),
        riverNodes(data.riverNodes) {}
  LoadStores() = default;

  RecordStore<LatLon> positions;
  RecordStore<Curve> curves;
  RecordStore<Point> points;
  RecordStore<Stream> streams;
  RecordStore<RiverNode> riverNodes;
};

}  // namespace riverdata_detail
