// The byte searches of the text scanners: a byte anywhere, and the line feed that ends a short
// line. Each exists once, here, with what the platform's C library lacks.
#pragma once

#include <bit>
#include <cstddef>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

#if defined(__SSE2__)
// Bit i set where byte i of the 16 at `data` equals `byte`.
inline unsigned matchSixteen(const char* data, char byte) {
  const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, _mm_set1_epi8(byte))));
}
#endif

// The first `byte` in [data, data + size), or null, as memchr finds it. The Windows C
// runtime's memchr, as Wine has it, looks at one byte at a time, and the loader asks for
// several per line; that build looks at 16 bytes per step instead. glibc's is faster still.
inline const char* findByte(const char* data, char byte, std::size_t size) {
#if defined(_WIN32) && defined(__SSE2__)
  const char* const end = data + size;
  for (; end - data >= 16; data += 16) {
    const unsigned mask = matchSixteen(data, byte);
    if (mask != 0) return data + std::countr_zero(mask);
  }
  for (; data < end; ++data) {
    if (*data == byte) return data;
  }
  return nullptr;
#else
  return static_cast<const char*>(std::memchr(data, byte, size));
#endif
}

// Bytes past the window that findLineFeed may read: the caller's buffer must hold them (their
// values do not matter).
constexpr std::size_t kLineFeedSearchPadding = 16;

// The first line feed in [start, start + window), or null. Lines are short, so a 16-byte step
// without a library call is faster than memchr; it may read up to 15 bytes past the window.
inline const char* findLineFeed(const char* start, std::size_t window) {
#if defined(__SSE2__)
  for (std::size_t i = 0; i < window; i += 16) {
    const unsigned mask = matchSixteen(start + i, '\n');
    if (mask != 0) {
      const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(mask));
      return at < window ? start + at : nullptr;
    }
  }
  return nullptr;
#else
  return findByte(start, '\n', window);
#endif
}

}  // namespace platform
