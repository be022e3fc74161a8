#include "platform/filenames.h"

#include <algorithm>
#include <array>

namespace platform {

namespace {

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool equalsIgnoringAsciiCase(std::string_view text, std::string_view upper) {
  return text.size() == upper.size() &&
         std::equal(text.begin(), text.end(), upper.begin(),
                    [](char a, char b) { return asciiUpper(a) == b; });
}

// The digit of COMn and LPTn: 1 to 9, or one of the superscripts ¹ ² ³ that Windows takes for 1
// to 3.
bool isDevicePortNumber(std::string_view digit) {
  if (digit.size() == 1) return digit[0] >= '1' && digit[0] <= '9';
  return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

}  // namespace

bool isForbiddenWindowsNameCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
}

bool isWindowsDeviceName(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (base.ends_with(' ')) base.remove_suffix(1);
  constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
  if (std::any_of(kDevices.begin(), kDevices.end(), [base](std::string_view device) {
        return equalsIgnoringAsciiCase(base, device);
      }))
    return true;
  if (base.size() < 4) return false;
  const std::string_view port = base.substr(0, 3);
  return (equalsIgnoringAsciiCase(port, "COM") || equalsIgnoringAsciiCase(port, "LPT")) &&
         isDevicePortNumber(base.substr(3));
}

bool isWindowsFileName(std::string_view name) {
  return std::none_of(name.begin(), name.end(), isForbiddenWindowsNameCharacter) &&
         !isWindowsDeviceName(name);
}

}  // namespace platform
