#include "platform/files.h"

namespace platform {


std::string withLineFeeds(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    result += text[i];
  }
  return result;
}

bool readTextFile(const std::string& path, std::string& text) {
  std::string bytes;
  if (readWholeFile(path, bytes) != FileRead::Read) return false;
  text = withLineFeeds(bytes);
  return true;
}

}  // namespace platform
