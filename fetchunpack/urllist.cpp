#include "fetchunpack/urllist.h"

#include <algorithm>
#include <limits>

#include "fetchunpack/codepage.h"
#include "platform/textconv.h"

namespace fetchunpack {

std::vector<std::string> splitListLines(std::string_view content) {
  std::string text;
  text.reserve(content.size());
  for (std::size_t i = 0; i < content.size(); ++i) {
    if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n') continue;
    text += content[i];
  }

  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = pos;
    while (end < text.size() && end - pos < kListLinePiece && text[end] != '\n') ++end;
    const bool hasLineFeed = end < text.size() && text[end] == '\n' && end - pos < kListLinePiece;
    std::string_view line(text.data() + pos, end - pos);
    pos = hasLineFeed ? end + 1 : end;
    line = line.substr(0, line.find('\0'));
    lines.emplace_back(line);
  }
  return lines;
}

ListLineKind classifyListLine(std::string_view line) {
  if (line.empty()) return ListLineKind::Blank;
  if (line[0] == '#' || line.starts_with("//")) return ListLineKind::Comment;
  if (line.back() == '/') return ListLineKind::BaseUrl;
  return ListLineKind::Url;
}

bool isAbsoluteUrlToken(std::string_view token) { return token.starts_with("http"); }

std::string_view savedFileNameOf(std::string_view url) {
  const auto slash = url.rfind('/');
  return slash == std::string_view::npos ? url : url.substr(slash + 1);
}

namespace {

// Length of the well-formed UTF-8 character at the start of `text`, or 0 when there is none.
std::size_t wellFormedLength(std::string_view text) {
  const auto c = static_cast<unsigned char>(text[0]);
  if (c < 0x80) return 1;
  std::size_t len = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    low = c == 0xE0 ? 0xA0 : 0x80;
    high = c == 0xED ? 0x9F : 0xBF;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    low = c == 0xF0 ? 0x90 : 0x80;
    high = c == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (len > text.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto next = static_cast<unsigned char>(text[k]);
    if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return 0;
  }
  return len;
}

// iconv's UTF-8 reader lets through forms beyond U+10FFFF (leads 0xF4 to 0xFD); each such
// sequence becomes one U+FFFD, like every other sequence that does not convert.
std::string replaceIllFormedUtf8(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t len = wellFormedLength(text.substr(i));
    if (len > 0) {
      result.append(text.substr(i, len));
      i += len;
      continue;
    }
    result += "\xEF\xBF\xBD";
    ++i;
    for (std::size_t k = 1;
         k < 6 && i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; ++k) {
      ++i;
    }
  }
  return result;
}

}  // namespace

std::string decodeListText(std::string_view bytes, int codePage) {
  const char* name = platform::iconvNameOfCodePage(codePage);
  if (!name) return {};
  return replaceIllFormedUtf8(platform::convertText(bytes, name, "UTF-8"));
}

std::string_view leadingUtf16Units(std::string_view text, std::size_t units) {
  std::size_t i = 0;
  std::size_t taken = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t len = c < 0x80           ? 1
                      : (c >> 5) == 0x6  ? 2
                      : (c >> 4) == 0xE  ? 3
                      : (c >> 3) == 0x1E ? 4
                                         : 1;
    if (i + len > text.size()) len = 1;
    const std::size_t need = len == 4 ? 2 : 1;
    if (taken + need > units) break;
    taken += need;
    i += len;
  }
  return text.substr(0, i);
}

std::string buildMemberName(std::string_view token, std::string_view savedFileName, int codePage,
                            bool dropCharacter) {
  const auto percent = token.find('%');
  if (percent == std::string_view::npos) return decodeListText(token, codePage);

  std::string name = decodeListText(token.substr(0, percent), codePage);
  std::size_t pos = percent + 1;
  std::size_t count = 0;
  for (; pos < token.size() && token[pos] >= '0' && token[pos] <= '9'; ++pos) {
    const std::size_t digit = static_cast<std::size_t>(token[pos] - '0');
    const std::size_t limit = std::numeric_limits<std::size_t>::max();
    count = count > (limit - digit) / 10 ? limit : count * 10 + digit;
  }
  if (platform::utf16Length(savedFileName) < count) {
    name += savedFileName;
    return name;
  }
  name += leadingUtf16Units(savedFileName, count);
  if (pos < token.size()) {
    const std::string_view rest = token.substr(pos);
    const std::size_t dropped =
        dropCharacter ? std::max<std::size_t>(wellFormedLength(rest), 1) : 1;
    name += decodeListText(rest.substr(dropped), codePage);
  }
  return name;
}

std::string prepareListText(std::string_view content, UrlListState& state) {
  state.urlListCodePage = detectCodePage(content);
  state.decodedList = false;
  constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
  if (content.starts_with(kUtf8Mark)) content.remove_prefix(kUtf8Mark.size());
  if (state.urlListCodePage != kCodePageIso2022Jp) return std::string(content);
  state.decodedList = true;
  return decodeListText(content, kCodePageIso2022Jp);
}

std::optional<UrlJob> readListLine(UrlListState& state, std::string_view line) {
  // A decoded list is UTF-8 text already.
  const int codePage = state.decodedList ? kCodePageUtf8 : state.urlListCodePage;
  switch (classifyListLine(line)) {
    case ListLineKind::Blank:
    case ListLineKind::Comment:
      return std::nullopt;
    case ListLineKind::BaseUrl:
      state.baseUrl = decodeListText(line, codePage);
      return std::nullopt;
    case ListLineKind::Url:
      break;
  }

  const auto space = line.find(' ');
  const std::string_view token = line.substr(0, space);
  UrlJob job;
  if (isAbsoluteUrlToken(token)) {
    state.baseUrl.clear();
    job.url = decodeListText(token, codePage);
  } else {
    job.url = state.baseUrl + decodeListText(token, codePage);
  }

  const std::string_view savedRaw = savedFileNameOf(token);
  job.hasSavedFileName = !savedRaw.empty();
  const std::string savedFileName = decodeListText(savedRaw, codePage);
  job.archivePath = state.outputPrefix + savedFileName;

  if (space != std::string_view::npos) {
    std::string_view members = line.substr(space + 1);
    for (;;) {
      const auto next = members.find(' ');
      job.memberNames.push_back(
          buildMemberName(members.substr(0, next), savedFileName, codePage, state.decodedList));
      if (next == std::string_view::npos) break;
      members.remove_prefix(next + 1);
    }
  }
  return job;
}

}  // namespace fetchunpack
