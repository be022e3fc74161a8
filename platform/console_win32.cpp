#include "platform/console.h"

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

bool isConsole(DWORD standardHandle) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(standardHandle), &mode) != 0;
}

}  // namespace

std::uint32_t consoleCodePage() { return GetConsoleCP(); }

void pauseForKey() {
  std::fflush(stdout);
  // Without a console (output piped, a scheduled task) nobody could press the key.
  if (!isConsole(STD_INPUT_HANDLE)) return;
  std::system("PAUSE");
}

void prepareStandardOutput() {
  HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  if (GetFileType(handle) == FILE_TYPE_CHAR && !isConsole(STD_OUTPUT_HANDLE))
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
}

bool standardErrorIsTerminal() {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(handle, &mode)) return false;
  // The progress line rewrites itself with escape sequences, which older consoles print raw.
  return SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::vector<std::string> utf8Arguments(int, char**) {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return args;
  for (int i = 1; i < count; ++i) {
    const int units = static_cast<int>(wcslen(wide[i]));
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], units, nullptr, 0, nullptr, nullptr);
    std::string arg(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], units, arg.data(), bytes, nullptr, nullptr);
    args.push_back(std::move(arg));
  }
  LocalFree(wide);
  return args;
}

}  // namespace platform
