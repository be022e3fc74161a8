// UTF-8 text as Windows' wide (UTF-16) text, for the wide file and Internet functions that
// take names outside the ANSI code page. Windows build only.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Not strict: a byte that does not decode becomes U+FFFD.
std::wstring wideOfUtf8(std::string_view text);

}  // namespace platform
