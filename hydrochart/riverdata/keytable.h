// A small open-addressing hash table from a key to the index of the first record that carries
// it: the lookup structure behind the river data indexes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace riverdata_detail {

inline std::uint64_t mixKey(std::uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  x ^= x >> 33;
  return x;
}

inline std::uint64_t hashKey(std::int32_t key) {
  return mixKey(static_cast<std::uint32_t>(key));
}
inline std::uint64_t hashKey(std::uint64_t key) { return mixKey(key); }
inline std::uint64_t hashKey(const std::array<char, 13>& key) {
  std::uint64_t head = 0;
  std::uint64_t tail = 0;
  std::memcpy(&head, key.data(), 8);
  std::memcpy(&tail, key.data() + 8, 5);
  return mixKey(head ^ mixKey(tail + 0x9e3779b97f4a7c15ULL));
}

// Maps each key to the value stored with its first insertion; later insertions of the same
// key keep that value, which gives "first match wins" for records inserted in file order.
template <typename Key>
class KeyTable {
 public:
  // Empties the table and sizes it for `expected` keys.
  void reset(std::size_t expected) {
    std::size_t capacity = 16;
    while (capacity < expected * 2) capacity *= 2;
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
    size_ = 0;
  }

  void clear() {
    std::vector<Slot>().swap(slots_);
    mask_ = 0;
    size_ = 0;
  }

  // Value of `key`: the existing one, or `value` after inserting it.
  std::int32_t insertFirst(const Key& key, std::int32_t value) {
    if ((size_ + 1) * 2 > slots_.size()) grow();
    std::size_t i = hashKey(key) & mask_;
    while (slots_[i].value >= 0) {
      if (slots_[i].key == key) return slots_[i].value;
      i = (i + 1) & mask_;
    }
    slots_[i].key = key;
    slots_[i].value = value;
    ++size_;
    return value;
  }

  // Value stored for `key`, or -1.
  std::int32_t find(const Key& key) const {
    if (slots_.empty()) return -1;
    std::size_t i = hashKey(key) & mask_;
    while (slots_[i].value >= 0) {
      if (slots_[i].key == key) return slots_[i].value;
      i = (i + 1) & mask_;
    }
    return -1;
  }

  std::size_t size() const { return size_; }

 private:
  struct Slot {
    Key key{};
    std::int32_t value = -1;
  };

  void grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    reset(old.empty() ? 8 : old.size());
    for (const Slot& slot : old) {
      if (slot.value >= 0) insertFirst(slot.key, slot.value);
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t size_ = 0;
};

}  // namespace riverdata_detail
