// A small open-addressing hash table from a key to the index of the first record that carries
// it: the lookup structure behind the river data indexes.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

#include "platform/textscan.h"

namespace riverdata_detail {

inline std::uint64_t mixKey(std::uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  x ^= x >> 33;
  return x;
}

inline std::uint64_t hashKey(std::int32_t key) { return mixKey(static_cast<std::uint32_t>(key)); }
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

// Number of a key for a direct table: the id itself, or the first digit run of an id text;
// -1 when there is none.
inline std::int64_t keyNumber(std::int32_t key) { return key; }
inline std::int64_t keyNumber(const std::array<char, 13>& key) {
  const auto length =
      static_cast<std::size_t>(std::find(key.begin(), key.end(), '\0') - key.begin());
  const std::string_view text(key.data(), length);
  const auto number = platform::firstDigitRun(text, std::numeric_limits<std::int64_t>::max());
  return number ? static_cast<std::int64_t>(*number) : -1;
}

// Index from a key to the first record that carries it. The ids of W05 files are numbered
// densely ("cv_1", "cv_2" ...), so a direct table indexed by the key's number is used when
// the numbers are small and tell the keys apart: lookups in file order then walk memory in
// order. Any other set of keys goes into the hash table.
template <typename Key>
class FirstIndex {
 public:
  // `keyAt(i)` gives the key of record i, for i in [0, count).
  template <typename KeyAt>
  void build(std::size_t count, KeyAt keyAt) {
    clear();
    if (buildDirect(count, keyAt)) return;
    direct_.clear();
    hashed_.reset(count);
    for (std::size_t i = 0; i < count; ++i)
      hashed_.insertFirst(keyAt(i), static_cast<std::int32_t>(i));
  }

  std::int32_t find(const Key& key) const {
    if (!useDirect_) return hashed_.find(key);
    const std::int64_t number = keyNumber(key);
    if (number < 0 || static_cast<std::uint64_t>(number) >= direct_.size()) return -1;
    const Slot& slot = direct_[static_cast<std::size_t>(number)];
    return slot.value >= 0 && slot.key == key ? slot.value : -1;
  }

  void clear() {
    std::vector<Slot>().swap(direct_);
    hashed_.clear();
    useDirect_ = false;
  }

 private:
  struct Slot {
    Key key{};
    std::int32_t value = -1;
  };

  template <typename KeyAt>
  bool buildDirect(std::size_t count, KeyAt keyAt) {
    const std::int64_t limit = 4 * static_cast<std::int64_t>(count) + 1024;
    std::int64_t largest = -1;
    for (std::size_t i = 0; i < count; ++i) {
      const std::int64_t number = keyNumber(keyAt(i));
      if (number < 0 || number >= limit) return false;
      if (number > largest) largest = number;
    }
    direct_.assign(static_cast<std::size_t>(largest + 1), Slot{});
    for (std::size_t i = 0; i < count; ++i) {
      const Key key = keyAt(i);
      Slot& slot = direct_[static_cast<std::size_t>(keyNumber(key))];
      if (slot.value < 0) {
        slot.key = key;
        slot.value = static_cast<std::int32_t>(i);
      } else if (!(slot.key == key)) {
        return false;  // two keys share a number ("rn_7" and "rn_007")
      }
    }
    useDirect_ = true;
    return true;
  }

  bool useDirect_ = false;
  std::vector<Slot> direct_;
  KeyTable<Key> hashed_;
};

}  // namespace riverdata_detail
