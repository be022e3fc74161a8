#include "platform/commandline_win32.h"

namespace platform {

namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::optional<std::vector<std::wstring>> splitPlainCommandLine(std::wstring_view commandLine) {
  const std::size_t size = commandLine.size();
  std::size_t i = 0;
  // The program name: no backslash or doubled quote has a meaning there.
  if (i < size && commandLine[i] == L'"') {
    const std::size_t close = commandLine.find(L'"', 1);
    i = close == std::wstring_view::npos ? size : close + 1;
  } else {
    while (i < size && !isBlank(commandLine[i])) ++i;
  }

  std::vector<std::wstring> args;
  std::wstring arg;
  bool inArgument = false;
  bool quoted = false;
  for (; i < size; ++i) {
    const wchar_t c = commandLine[i];
    if (c == L'"') {
      if (i > 0 && commandLine[i - 1] == L'\\') return std::nullopt;
      if (quoted && i + 1 < size && commandLine[i + 1] == L'"') return std::nullopt;
      quoted = !quoted;
      inArgument = true;
    } else if (isBlank(c) && !quoted) {
      if (inArgument) args.push_back(std::move(arg));
      arg.clear();
      inArgument = false;
    } else {
      arg.push_back(c);
      inArgument = true;
    }
  }
  if (inArgument) args.push_back(std::move(arg));
  return args;
}

}  // namespace platform
