// Console services: the console code page shown in the banners, and the wait for a key press
// that ends a failed run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The console's input code page. On POSIX systems: 65001 under a UTF-8 locale, 932 under a
// Shift_JIS locale, 0 otherwise, from the environment (LC_ALL, LC_CTYPE, LANG).
std::uint32_t consoleCodePage();

// The failure path's pause: when standard input is a terminal (a console on Windows, where the
// command interpreter's PAUSE does it), prints a prompt and waits for a key; otherwise returns
// at once so that scripts never hang.
void pauseForKey();

// Sets up standard output before anything is printed. On Windows, output to the NUL device is
// buffered as output to a file is (the C runtime leaves every character device unbuffered, and
// the formatted printing writes a character at a time); a console stays unbuffered so that each
// line shows as it is printed. Nothing to do on POSIX systems.
void prepareStandardOutput();

// Whether standard error is a terminal (on Windows, a console that shows escape sequences).
bool standardErrorIsTerminal();

// The arguments after the program name as UTF-8 (on Windows read as wide text from the command
// line, so that names outside the ANSI code page survive).
std::vector<std::string> utf8Arguments(int argc, char** argv);

// How both programs end a failed run: standard output flushed, the pause above, then the exit
// status 1 to return.
[[nodiscard]] int failurePath();

}  // namespace platform
