// Text conversions between the encodings the W05 tools meet: UTF-8, CP932 (Windows Shift_JIS),
// EUC-JP and ISO-2022-JP, and the platform's own narrow encoding of arguments, file names and
// console text (UTF-8 on POSIX systems, the ANSI code page on Windows). Conversions are never
// strict: bytes that do not fit are replaced, so valid text never comes back empty.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/utf8.h"

namespace platform {

// Windows code page numbers that identify text encodings in both programs.
constexpr int kCodePageAnsi = 0;  // the system's ANSI code page: CP932 on a Japanese system
constexpr int kCodePageShiftJis = 932;
constexpr int kCodePageUtf16Le = 1200;
constexpr int kCodePageUtf16Be = 1201;
constexpr int kCodePageEucJp = 20932;
constexpr int kCodePageIso2022Jp = 50222;
constexpr int kCodePageUtf8 = 65001;
constexpr int kCodePageNone = -1;

// Encoding name that convertText takes for a Windows code page number (932, 20932, 50222,
// 65001; 0 stands for the ANSI code page: CP932 on POSIX systems, the system's own on Windows).
// Returns nullptr for code pages that yield no text (1200, 1201, -1 ...).
const char* iconvNameOfCodePage(int codePage);

// The name convertText takes for the ANSI code page: "CP932" on POSIX systems, "ANSI" (the
// system's own) on Windows.
extern const char* const kAnsiEncodingName;

// Converts `text` from encoding `from` to encoding `to` (names as iconv spells them). A byte
// sequence that does not convert is replaced by U+FFFD when the target is UTF-8, else by "?", and
// conversion goes on after it. An unknown encoding name yields an empty string.
std::string convertText(std::string_view text, const char* from, const char* to);

inline std::string cp932ToUtf8(std::string_view text) {
  return convertText(text, "CP932", "UTF-8");
}
inline std::string utf8ToCp932(std::string_view text) {
  return convertText(text, "UTF-8", "CP932");
}

// Text in the ANSI code page (labels of a code list declared Shift_JIS) as UTF-8: CP932 on
// POSIX systems, the system's ANSI code page on Windows.
std::string ansiToUtf8(std::string_view text);

// Arguments, file names and console text between the platform's narrow encoding and UTF-8.
// The identity on POSIX systems; the ANSI code page on Windows.
std::string nativeToUtf8(std::string_view text);
std::string utf8ToNative(std::string_view text);

// Text in code page `codePage` as well-formed UTF-8: bytes that do not convert, and UTF-8
// forms beyond U+10FFFF that iconv lets through, become U+FFFD. Code pages without a
// conversion (UTF-16, none) yield "".
std::string decodeToUtf8(std::string_view bytes, int codePage);

// Longest prefix of `text` of at most `maxBytes` bytes that does not split a CP932 character.
std::string_view cutCp932(std::string_view text, std::size_t maxBytes);

}  // namespace platform
