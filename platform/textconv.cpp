#include "platform/textconv.h"

namespace platform {

const char* iconvNameOfCodePage(int codePage) {
  switch (codePage) {
    case kCodePageAnsi:
      return kAnsiEncodingName;
    case kCodePageShiftJis:
      return "CP932";
    case kCodePageEucJp:
      return "EUC-JP";
    case kCodePageIso2022Jp:
      return "ISO-2022-JP";
    case kCodePageUtf8:
      return "UTF-8";
    default:
      return nullptr;
  }
}

std::string decodeToUtf8(std::string_view bytes, int codePage) {
  const char* name = iconvNameOfCodePage(codePage);
  if (!name) return {};
  return replaceIllFormedUtf8(convertText(bytes, name, "UTF-8"));
}

std::string_view cutCp932(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t i = 0;
  while (i < maxBytes) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    const std::size_t len = lead ? 2 : 1;
    if (i + len > maxBytes) break;
    i += len;
  }
  return text.substr(0, i);
}

}  // namespace platform
