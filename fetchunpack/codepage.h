// Guessing the encoding of undeclared Japanese or ASCII text (URL lists, archive entry names).
#pragma once

#include <string_view>

#include "platform/textconv.h"

namespace fetchunpack {

// The code page numbers of the platform library, by their names.
using platform::kCodePageAnsi;  // also the answer for empty or plain ASCII text
using platform::kCodePageEucJp;
using platform::kCodePageIso2022Jp;
using platform::kCodePageNone;
using platform::kCodePageShiftJis;
using platform::kCodePageUtf16Be;
using platform::kCodePageUtf16Le;
using platform::kCodePageUtf8;

// Code page of `text`, read up to its first NUL byte: 0 for empty or plain ASCII text, 50222 at
// the first ISO-2022-JP escape, 1200/1201 for a UTF-16 byte-order mark, otherwise the survivor
// (or best scorer) of three byte automata for EUC-JP (20932), Shift_JIS (932) and UTF-8
// (65001), or -1 when all three reject the text. One pass, no allocation.
int detectCodePage(std::string_view text);

}  // namespace fetchunpack
