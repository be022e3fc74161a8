// The URL list: its lines, their classification, and what each URL line asks for (the URL to
// fetch, the file to save it as, the members to extract). Nothing here touches the network or
// the file system.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fetchunpack {

// Longest piece of a list line read at once; a longer line is read as several lines.
constexpr std::size_t kListLinePiece = 1023;

// Lines of list file content as a text-mode reader sees them: a CR directly before a LF is
// dropped, the LF is removed, a line longer than 1023 bytes is cut into pieces of that size,
// and a NUL byte ends the text of its line.
std::vector<std::string> splitListLines(std::string_view content);

enum class ListLineKind {
  Blank,    // empty once its line feed is removed: skipped
  Comment,  // first byte "#" or first two bytes "//"
  BaseUrl,  // last byte "/": the base for the relative URL lines that follow
  Url,      // a URL token and an optional member list
};

ListLineKind classifyListLine(std::string_view line);

// A URL token is absolute when it begins with "http" (case-sensitive).
bool isAbsoluteUrlToken(std::string_view token);

// The part of a URL after its last "/", or the whole of it when it has none.
std::string_view savedFileNameOf(std::string_view url);

// Member name of a member-name token: the first "%" and the decimal number N behind it stand
// for the first N characters of the saved file name; the one byte after the digits is dropped
// (one whole UTF-8 character when `dropCharacter`, for a token already decoded to UTF-8). When
// the saved file name is shorter than N, it ends the member name.
std::string buildMemberName(std::string_view token, std::string_view savedFileName, int codePage,
                            bool dropCharacter = false);

// State of list mode that lasts from line to line.
struct UrlListState {
  int urlListCodePage = 0;
  bool decodedList = false;  // the list text was decoded to UTF-8 before its lines were read
  std::string outputPrefix;  // "" or the output folder followed by its separator
  std::string baseUrl;       // the last base line; cleared by an absolute URL line
};

// The text of a whole list file as its lines are read, with the code page detected over all of
// its bytes set in `state`: a UTF-8 byte-order mark at the start is dropped, and an ISO-2022-JP
// list is decoded to UTF-8 first, since spaces, slashes, "#" and "%" can be bytes of its escaped
// characters; the other encodings are read as they are, byte by byte.
std::string prepareListText(std::string_view content, UrlListState& state);

// What one URL line asks for.
struct UrlJob {
  std::string url;
  std::string archivePath;
  std::vector<std::string> memberNames;
  std::string savedFileName;     // the last part of archivePath
  bool hasSavedFileName = true;  // false when the URL token is empty or ends in "/"
};

// Reads one list line: a base line updates `state`, a URL line yields its job, comments and
// blank lines yield nothing.
std::optional<UrlJob> readListLine(UrlListState& state, std::string_view line);

}  // namespace fetchunpack
