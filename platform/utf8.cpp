#include "platform/utf8.h"

namespace platform {

namespace {

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Length a lead byte announces from its high bits; 1 for ASCII, continuation bytes and the
// bytes 0xF8 to 0xFF.
std::size_t announcedLength(unsigned char c) {
  if ((c >> 5) == 0x6) return 2;
  if ((c >> 4) == 0xE) return 3;
  if ((c >> 3) == 0x1E) return 4;
  return 1;
}

// Smallest value for which each length is the shortest form.
constexpr char32_t kShortestOf[5] = {0, 0, 0x80, 0x800, 0x10000};

// Counts UTF-16 units over `text` up to `units` of them; returns the bytes taken.
std::size_t takeUtf16Units(std::string_view text, std::size_t units, std::size_t& taken) {
  std::size_t i = 0;
  taken = 0;
  while (i < text.size()) {
    const std::size_t length = decodeUtf8(text, i).length;
    const std::size_t need = length == 4 ? 2 : 1;
    if (taken + need > units) break;
    taken += need;
    i += length;
  }
  return i;
}

}  // namespace

Utf8Sequence decodeUtf8(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  Utf8Sequence sequence;
  sequence.point = lead;
  if (lead < 0x80) {
    sequence.wellFormed = true;
    return sequence;
  }
  const std::size_t length = announcedLength(lead);
  if (length == 1 || length > text.size() - at) return sequence;
  char32_t point = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[at + k]);
    if (!isContinuation(next)) return sequence;
    point = (point << 6) | (next & 0x3F);
  }
  sequence.point = point;
  sequence.length = length;
  sequence.wellFormed =
      point >= kShortestOf[length] && point <= 0x10FFFF && !(point >= 0xD800 && point <= 0xDFFF);
  return sequence;
}

bool isWellFormedUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Sequence sequence = decodeUtf8(text, i);
    if (!sequence.wellFormed) return false;
    i += sequence.length;
  }
  return true;
}

std::string replaceIllFormedUtf8(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Sequence sequence = decodeUtf8(text, i);
    if (sequence.wellFormed) {
      result.append(text.substr(i, sequence.length));
      i += sequence.length;
      continue;
    }
    result += kReplacementCharacter;
    ++i;
    for (std::size_t k = 1; k < 6 && i < text.size() && isContinuation(text[i]); ++k) ++i;
  }
  return result;
}

std::size_t utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  takeUtf16Units(utf8, static_cast<std::size_t>(-1), units);
  return units;
}

std::string_view leadingUtf16Units(std::string_view text, std::size_t units) {
  std::size_t taken = 0;
  return text.substr(0, takeUtf16Units(text, units, taken));
}

std::string_view cutUtf8(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = maxBytes;
  // Step back over continuation bytes to the start of the character that would be split.
  while (end > 0 && isContinuation(text[end])) --end;
  return text.substr(0, end);
}

}  // namespace platform
