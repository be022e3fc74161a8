// Reads arbitrary bytes as a URL list, the way list mode does but without the network: the
// lines as a text-mode reader sees them, the list's code page, and every line through the
// list state (base lines, absolute and relative URLs, member names with "%N"). The first byte
// chooses the code page: the detected one, with the list text prepared as the program does, or
// one of the others, so that every conversion is reached.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fetchunpack/codepage.h"
#include "fetchunpack/urllist.h"
#include "platform/textconv.h"
#include "platform/utf8.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

constexpr int kChosenCodePages[] = {0, 932, 20932, 50222, 65001, 1200, -1};

// A member-name token's name: checked against what the token and the saved file name allow.
void checkMemberName(std::string_view token, const std::string& name,
                     const std::string& savedFileName, int codePage, bool converts) {
  const auto percent = token.find('%');
  if (percent == std::string_view::npos) {
    require(name == platform::decodeToUtf8(token, codePage));
    return;
  }
  // The text before "%" comes first, then at most the whole saved file name, then what the
  // token holds behind the number. A byte of the token gives at most three bytes of UTF-8 (a
  // character of the Japanese code pages, or U+FFFD for a byte that does not convert, such
  // as what is left of a character whose first byte was dropped after the number).
  const std::string head = platform::decodeToUtf8(token.substr(0, percent), codePage);
  require(name.compare(0, head.size(), head) == 0);
  require(name.size() <= 3 * token.size() + savedFileName.size());
  require(converts ? platform::isWellFormedUtf8(name) : name.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string content(reinterpret_cast<const char*>(data) + 1, size - 1);
  const int choice = data[0] % 8;
  fetchunpack::UrlListState state;
  std::string text = content;
  int codePage = kChosenCodePages[choice % 7];
  if (choice == 7) {
    // As the program reads a list: a decoded ISO-2022-JP list is UTF-8 text.
    text = fetchunpack::prepareListText(content, state);
    require(state.urlListCodePage == fetchunpack::detectCodePage(content));
    codePage = state.decodedList ? fetchunpack::kCodePageUtf8 : state.urlListCodePage;
    if (state.decodedList) require(platform::isWellFormedUtf8(text));
  } else {
    state.urlListCodePage = codePage;
  }
  const bool converts = platform::iconvNameOfCodePage(codePage) != nullptr;

  const auto lines = fetchunpack::splitListLines(text);
  std::size_t lineBytes = 0;
  for (const std::string& line : lines) {
    require(line.size() <= fetchunpack::kListLinePiece);
    require(line.find('\n') == std::string::npos && line.find('\0') == std::string::npos);
    lineBytes += line.size();
  }
  require(lineBytes <= text.size());

  state.outputPrefix = "out/";
  for (const std::string& line : lines) {
    const std::string baseBefore = state.baseUrl;
    const auto kind = fetchunpack::classifyListLine(line);
    const auto job = fetchunpack::readListLine(state, line);
    if (converts) require(platform::isWellFormedUtf8(state.baseUrl));
    if (!converts) require(state.baseUrl.empty());
    if (kind != fetchunpack::ListLineKind::Url) {
      require(!job);
      if (kind != fetchunpack::ListLineKind::BaseUrl) require(state.baseUrl == baseBefore);
      continue;
    }
    require(job.has_value());

    const auto space = std::string_view(line).find(' ');
    const std::string_view token = std::string_view(line).substr(0, space);
    const std::string_view savedRaw = fetchunpack::savedFileNameOf(token);
    const std::string savedFileName = platform::decodeToUtf8(savedRaw, codePage);
    const bool absolute = fetchunpack::isAbsoluteUrlToken(token);
    require(job->url ==
            (absolute ? std::string() : baseBefore) + platform::decodeToUtf8(token, codePage));
    if (absolute) require(state.baseUrl.empty());
    require(job->archivePath == state.outputPrefix + savedFileName);
    require(job->hasSavedFileName == !savedRaw.empty());
    if (converts)
      require(platform::isWellFormedUtf8(job->url) && platform::isWellFormedUtf8(job->archivePath));
    if (!converts) require(job->url.empty() && savedFileName.empty());

    // One name per space-separated token of the member list, empty tokens included.
    std::size_t tokens = 0;
    if (space != std::string_view::npos) {
      std::string_view members = std::string_view(line).substr(space + 1);
      for (;;) {
        const auto next = members.find(' ');
        require(tokens < job->memberNames.size());
        checkMemberName(members.substr(0, next), job->memberNames[tokens], savedFileName, codePage,
                        converts);
        ++tokens;
        if (next == std::string_view::npos) break;
        members.remove_prefix(next + 1);
      }
    }
    require(job->memberNames.size() == tokens);
  }
  return 0;
}
