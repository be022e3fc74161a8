// The names Windows cannot hold as a plain file in a folder. Both programs check their own
// names against these rules before they create a file, so that a page or a download never lands
// in an alternate data stream or on a device, whatever the file system happens to refuse.
#pragma once

#include <string_view>

namespace platform {

// Whether byte `c` of a UTF-8 name is a character Windows forbids in file names:
// < > : " / \ | ? * and the control characters 0 to 31. Bytes of multi-byte characters never are.
bool isForbiddenWindowsNameCharacter(char c);

// Whether `name` (UTF-8) is a device name: CON, PRN, AUX, NUL, COM1 to COM9 or LPT1 to LPT9 (also
// with the superscript digits 1 to 3), in any letter case, alone or followed by any extension
// ("nul", "CON.zip", "aux.tar.gz"); spaces before the extension count for nothing ("CON .zip").
bool isWindowsDeviceName(std::string_view name);

// Whether Windows holds the single name `name` (no folder part) as a plain file: no forbidden
// character, no device name.
bool isWindowsFileName(std::string_view name);

// Whether this platform's file names follow the rules above: on Windows only.
extern const bool kWindowsFileNameRules;

// Whether this platform holds `name` as a plain file: isWindowsFileName on Windows, every name
// elsewhere (where only "/" separates, and the callers deal with it).
inline bool isPlainFileName(std::string_view name) {
  return !kWindowsFileNameRules || isWindowsFileName(name);
}

}  // namespace platform
