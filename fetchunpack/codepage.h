// Guessing the encoding of undeclared Japanese or ASCII text (URL lists, archive entry names).
#pragma once

#include <string_view>

namespace fetchunpack {

// Windows code page numbers that identify text encodings throughout the program.
constexpr int kCodePageAnsi = 0;  // also the answer for empty or plain ASCII text
constexpr int kCodePageShiftJis = 932;
constexpr int kCodePageUtf16Le = 1200;
constexpr int kCodePageUtf16Be = 1201;
constexpr int kCodePageEucJp = 20932;
constexpr int kCodePageIso2022Jp = 50222;
constexpr int kCodePageUtf8 = 65001;
constexpr int kCodePageNone = -1;

// Code page of `text`, read up to its first NUL byte: 0 for empty or plain ASCII text, 50222 at
// the first ISO-2022-JP escape, 1200/1201 for a UTF-16 byte-order mark, otherwise the survivor
// (or best scorer) of three byte automata for EUC-JP (20932), Shift_JIS (932) and UTF-8
// (65001), or -1 when all three reject the text. One pass, no allocation.
int detectCodePage(std::string_view text);

}  // namespace fetchunpack
