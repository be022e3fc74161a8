// Console services: the console code page shown in the banners, and the wait for a key press
// that ends a failed run.
#pragma once

#include <cstdint>

namespace platform {

// 65001 under a UTF-8 locale, 932 under a Shift_JIS locale, 0 otherwise. Reads the locale
// from the environment (LC_ALL, LC_CTYPE, LANG).
std::uint32_t consoleCodePage();

// The failure path's pause: when standard input is a terminal, prints a prompt and waits for
// Enter; otherwise returns at once so that scripts never hang.
void pauseForKey();

// How both programs end a failed run: standard output flushed, the pause above, then the exit
// status 1 to return.
[[nodiscard]] int failurePath();

}  // namespace platform
