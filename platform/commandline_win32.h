// The arguments of a Windows command line, split the way CommandLineToArgvW splits them.
// Windows build only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The arguments after the program name in `commandLine`, when it splits without the rules
// that only shell32's CommandLineToArgvW settles: no backslash before a double quote, and no
// two double quotes in a row inside a quoted part. In such a line a double quote starts or
// ends a quoted part and is dropped, spaces and tabs outside quoted parts separate the
// arguments, and every other character (a backslash too) stands for itself. The program name
// is everything up to the next double quote when the line starts with one (the first argument
// may follow that quote at once), else up to the first space or tab. Nothing otherwise: the caller asks CommandLineToArgvW.
std::optional<std::vector<std::wstring>> splitPlainCommandLine(std::wstring_view commandLine);

}  // namespace platform
