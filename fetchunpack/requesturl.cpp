#include "fetchunpack/requesturl.h"

namespace fetchunpack {

std::string requestUrlOf(std::string_view url) {
  static constexpr char kHex[] = "0123456789abcdef";
  url = url.substr(0, url.find('#'));
  std::string escaped;
  escaped.reserve(url.size());
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7F) {
      escaped += c;
    } else {
      escaped += '%';
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0xF];
    }
  }
  return escaped;
}

}  // namespace fetchunpack
