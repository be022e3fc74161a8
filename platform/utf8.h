// UTF-8 reading shared by both programs: one decoder that tells well-formed characters from
// byte sequences that are not, so that each caller chooses what such bytes mean to it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// One byte sequence of UTF-8 text.
struct Utf8Sequence {
  // The value its bits spell; for a sequence of one byte, the byte itself.
  char32_t point = 0;
  // Bytes it takes: as many as its lead byte announces (2, 3 or 4) when that many
  // continuation bytes follow, else 1.
  std::size_t length = 1;
  // A character by the rules of UTF-8: shortest form, no surrogate, at most U+10FFFF.
  bool wellFormed = false;
};

// The sequence that starts at `at` (which must lie inside `text`).
Utf8Sequence decodeUtf8(std::string_view text, std::size_t at);

// Whether all of `text` is well-formed UTF-8.
bool isWellFormedUtf8(std::string_view text);

// `text` with each byte sequence that is not a well-formed character replaced by one U+FFFD:
// a stray byte and the continuation bytes after it (up to five) count as one sequence.
std::string replaceIllFormedUtf8(std::string_view text);

// Number of UTF-16 code units that the text takes: two for a four-byte sequence, else one
// per sequence (a byte that starts no complete sequence counts one unit).
std::size_t utf16Length(std::string_view utf8);

// Longest prefix of `text` that takes at most `units` UTF-16 code units, never splitting a
// sequence.
std::string_view leadingUtf16Units(std::string_view text, std::size_t units);

// Longest prefix of `text` of at most `maxBytes` bytes that does not split a UTF-8 character.
std::string_view cutUtf8(std::string_view text, std::size_t maxBytes);

// U+FFFD, the replacement character, in UTF-8.
inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

}  // namespace platform
