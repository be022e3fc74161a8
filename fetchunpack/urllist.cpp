#include "fetchunpack/urllist.h"

#include <algorithm>
#include <limits>

#include "fetchunpack/codepage.h"
#include "platform/files.h"
#include "platform/textconv.h"
#include "platform/utf8.h"

namespace fetchunpack {

std::vector<std::string> splitListLines(std::string_view content) {
  const std::string text = platform::withLineFeeds(content);

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

std::string buildMemberName(std::string_view token, std::string_view savedFileName, int codePage,
                            bool dropCharacter) {
  const auto percent = token.find('%');
  if (percent == std::string_view::npos) return platform::decodeToUtf8(token, codePage);

  std::string name = platform::decodeToUtf8(token.substr(0, percent), codePage);
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
  name += platform::leadingUtf16Units(savedFileName, count);
  if (pos < token.size()) {
    const std::string_view rest = token.substr(pos);
    const platform::Utf8Sequence next = platform::decodeUtf8(rest, 0);
    const std::size_t dropped = dropCharacter && next.wellFormed ? next.length : 1;
    name += platform::decodeToUtf8(rest.substr(dropped), codePage);
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
  return platform::decodeToUtf8(content, kCodePageIso2022Jp);
}

std::optional<UrlJob> readListLine(UrlListState& state, std::string_view line) {
  // A decoded list is UTF-8 text already.
  const int codePage = state.decodedList ? kCodePageUtf8 : state.urlListCodePage;
  switch (classifyListLine(line)) {
    case ListLineKind::Blank:
    case ListLineKind::Comment:
      return std::nullopt;
    case ListLineKind::BaseUrl:
      state.baseUrl = platform::decodeToUtf8(line, codePage);
      return std::nullopt;
    case ListLineKind::Url:
      break;
  }

  const auto space = line.find(' ');
  const std::string_view token = line.substr(0, space);
  UrlJob job;
  if (isAbsoluteUrlToken(token)) {
    state.baseUrl.clear();
    job.url = platform::decodeToUtf8(token, codePage);
  } else {
    job.url = state.baseUrl + platform::decodeToUtf8(token, codePage);
  }

  const std::string_view savedRaw = savedFileNameOf(token);
  job.hasSavedFileName = !savedRaw.empty();
  job.savedFileName = platform::decodeToUtf8(savedRaw, codePage);
  const std::string& savedFileName = job.savedFileName;
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
