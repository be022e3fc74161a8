// Text pieces of a map page: numbers formatted exactly as the page's printf directives would
// format them, and river names made safe for script strings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pagetext {

void appendDecimal(std::string& out, std::int64_t value);         // "%d", "%lld"
void appendPadded4(std::string& out, std::int32_t value);         // "%04d"
void appendHex6(std::string& out, std::uint64_t value);           // "%06lx"
void appendFixed(std::string& out, double value, int precision);  // "%.<precision>f"
void appendFixed8(std::string& out, double value);                // "%.8f", fast for coordinates

// Room that writeFixed8 may need: the largest double has 309 digits before the point.
constexpr std::size_t kMaxFixed8Length = 320;
// Writes "%.8f" of `value` at `out`, which has room for kMaxFixed8Length characters; returns the
// end of what was written.
char* writeFixed8(char* out, double value);

// Appends `text` for use inside a double-quoted script string (or a script comment): backslash,
// double quote, control characters, U+2028, U+2029 and "</" are escaped; all other bytes,
// including bytes that are not valid UTF-8, are copied unchanged.
void appendScriptText(std::string& out, std::string_view text);

// `text` with every "<" written as "&lt;", for text that a page shows as HTML.
std::string htmlLessThanEscaped(std::string_view text);

}  // namespace pagetext
