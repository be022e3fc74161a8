#include "platform/console.h"

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/commandline_win32.h"

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

namespace {

// The arguments after the program name, as shell32's CommandLineToArgvW splits the line.
// Loading shell32 (and all it pulls in) takes longer than many a run of the programs, so the
// lines that split plainly are split here and only the others go to it.
std::vector<std::wstring> wideArguments() {
  const wchar_t* const line = GetCommandLineW();
  if (std::optional<std::vector<std::wstring>> plain = splitPlainCommandLine(line)) {
    return std::move(*plain);
  }
  std::vector<std::wstring> args;
  const HMODULE shell = LoadLibraryW(L"shell32.dll");
  if (shell == nullptr) return args;
  using Split = LPWSTR*(WINAPI*)(LPCWSTR, int*);
  const auto split =
      reinterpret_cast<Split>(reinterpret_cast<void*>(GetProcAddress(shell, "CommandLineToArgvW")));
  int count = 0;
  LPWSTR* wide = split != nullptr ? split(line, &count) : nullptr;
  if (wide != nullptr) {
    for (int i = 1; i < count; ++i) args.emplace_back(wide[i]);
    LocalFree(wide);
  }
  return args;
}

}  // namespace

std::vector<std::string> utf8Arguments(int, char**) {
  std::vector<std::string> args;
  for (const std::wstring& wide : wideArguments()) {
    const int units = static_cast<int>(wide.size());
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string arg(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, arg.data(), bytes, nullptr, nullptr);
    }
    args.push_back(std::move(arg));
  }
  return args;
}

}  // namespace platform
