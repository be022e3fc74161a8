// Guesses the code page of arbitrary bytes, read as a NUL-terminated text, and checks what the
// answer must be whatever the bytes: one of the known code pages, the same every time, and the
// answers that follow from the bytes alone (plain ASCII, byte-order marks, valid UTF-8).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fetchunpack/codepage.h"
#include "platform/utf8.h"

namespace {

bool isPlainAsciiText(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c <= 0x7E);
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string_view text(bytes.c_str());  // ends at the first NUL, as the list's text does
  const int codePage = fetchunpack::detectCodePage(text);
  switch (codePage) {
    case fetchunpack::kCodePageAnsi:
    case fetchunpack::kCodePageIso2022Jp:
    case fetchunpack::kCodePageUtf16Le:
    case fetchunpack::kCodePageUtf16Be:
    case fetchunpack::kCodePageEucJp:
    case fetchunpack::kCodePageShiftJis:
    case fetchunpack::kCodePageUtf8:
    case fetchunpack::kCodePageNone:
      break;
    default:
      std::abort();
  }
  // No state survives a call, and nothing after the first NUL is looked at.
  if (fetchunpack::detectCodePage(text) != codePage) std::abort();
  if (fetchunpack::detectCodePage(bytes) != codePage) std::abort();

  const bool ascii = isPlainAsciiText(text);
  if ((codePage == fetchunpack::kCodePageAnsi) != ascii) std::abort();
  if (ascii) return 0;

  const auto first = static_cast<unsigned char>(text[0]);
  const bool mark = text.size() >= 2 && (first == 0xFF || first == 0xFE) &&
                    static_cast<unsigned char>(text[1]) == (first ^ 0x01);
  if (mark !=
      (codePage == fetchunpack::kCodePageUtf16Le || codePage == fetchunpack::kCodePageUtf16Be)) {
    std::abort();
  }
  if (codePage == fetchunpack::kCodePageUtf16Le && first != 0xFF) std::abort();

  const bool hasEscape = text.find('\x1b') != std::string_view::npos;
  if (codePage == fetchunpack::kCodePageIso2022Jp && !hasEscape) std::abort();
  // The UTF-8 automaton accepts every valid UTF-8 text and its score never falls, so it wins
  // unless an escape sequence decides first.
  if (!hasEscape && platform::isWellFormedUtf8(text) && codePage != fetchunpack::kCodePageUtf8)
    std::abort();
  return 0;
}
