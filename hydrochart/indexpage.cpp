#include "hydrochart/indexpage.h"

#include <array>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "hydrochart/output/outputfile.h"
#include "platform/files.h"
#include "platform/textconv.h"

namespace {

constexpr int kPrefectureCount = 47;

// Prefecture names in the order of their codes 01 to 47.
constexpr std::array<const char*, kPrefectureCount> prefectureNames = {
    "北海道", "青森県", "岩手県", "宮城県", "秋田県", "山形県",   "福島県", "茨城県",
    "栃木県", "群馬県", "埼玉県", "千葉県", "東京都", "神奈川県", "新潟県", "富山県",
    "石川県", "福井県", "山梨県", "長野県", "岐阜県", "静岡県",   "愛知県", "三重県",
    "滋賀県", "京都府", "大阪府", "兵庫県", "奈良県", "和歌山県", "鳥取県", "島根県",
    "岡山県", "広島県", "山口県", "徳島県", "香川県", "愛媛県",   "高知県", "福岡県",
    "佐賀県", "長崎県", "熊本県", "大分県", "宮崎県", "鹿児島県", "沖縄県"};

constexpr char kHead[] =
    "<!DOCTYPE html>\n<html><head>\n<meta charset=\"utf-8\">\n<title>河川水系リスト</title>\n"
    "</head><body>\n<h2>都道府県の河川水系リスト</h2>\n";

constexpr char kSourceLine[] =
    "<small><hr>出典：「<a href=\"https://nlftp.mlit.go.jp/ksj/gml/datalist/KsjTmplt-W05.html\">"
    "国土数値情報　河川データ（平成18年度～平成21年度）</a>」（国土交通省）をもとに作成<hr></"
    "small>\n";

constexpr std::size_t kFolderNameLimit = 63;
// Output folders are named "W05-??_??-g_html": the prefecture code follows "W05-??_".
constexpr char kOutputFolderPattern[] = "W05-?\?_?\?-g_html";
constexpr std::size_t kPrefectureCodeOffset = 7;

// Output folders by prefecture: the names of the matching folders of each code, in the order
// of the search.
std::array<std::vector<std::string>, kPrefectureCount> findPrefectureFolders(
    const std::vector<platform::DirectoryEntry>& matches) {
  std::array<std::vector<std::string>, kPrefectureCount> prefectureFolders;
  for (const platform::DirectoryEntry& entry : matches) {
    if (!entry.isDirectory || entry.name.empty() || entry.name[0] == '.') continue;
    if (entry.name.size() <= kPrefectureCodeOffset) continue;
    // The prefecture code is the second pair of wildcard characters.
    const long code = std::strtol(entry.name.c_str() + kPrefectureCodeOffset, nullptr, 10);
    if (code < 1 || code > kPrefectureCount) continue;
    prefectureFolders[static_cast<std::size_t>(code - 1)].push_back(
        entry.name.substr(0, kFolderNameLimit));
  }
  return prefectureFolders;
}

// A folder or file name as part of a relative link: characters that would end the attribute,
// start markup, or be read as part of the URL syntax are escaped; every other byte (UTF-8
// names included) is written as it stands.
void appendLinkTarget(std::string& out, std::string_view name) {
  for (const char c : name) {
    switch (c) {
      case '&':
        out.append("&amp;");
        break;
      case '"':
        out.append("&quot;");
        break;
      case '\'':
        out.append("&#39;");
        break;
      case '<':
        out.append("&lt;");
        break;
      case '>':
        out.append("&gt;");
        break;
      case '%':
        out.append("%25");
        break;
      case '#':
        out.append("%23");
        break;
      case '?':
        out.append("%3F");
        break;
      default:
        out.push_back(c);
    }
  }
}

// Link text from a file name: only what could start or end markup is escaped, so that labels
// keep the character references they carry from the code list.
void appendLinkText(std::string& out, std::string_view text) {
  for (const char c : text) {
    if (c == '<') {
      out.append("&lt;");
    } else if (c == '>') {
      out.append("&gt;");
    } else {
      out.push_back(c);
    }
  }
}

// Writes the links of one folder's pages.
void writePageLinks(OutputFile& index, const std::string& folder,
                    const std::vector<platform::DirectoryEntry>& pages, int& linkCount) {
  for (const platform::DirectoryEntry& page : pages) {
    if (page.isDirectory) continue;
    // "000000_label.htm": the code before the first "_", the label after it, up to the first ".".
    // Page names are in the platform's file-name encoding; the index page is UTF-8.
    const std::string nameUtf8 = platform::nativeToUtf8(page.name);
    const std::string_view name = nameUtf8;
    const std::string_view stem = name.substr(0, name.find('.'));
    const std::size_t underscore = stem.find('_');
    const std::string_view code = stem.substr(0, underscore);
    const std::string_view label =
        underscore == std::string_view::npos ? std::string_view() : stem.substr(underscore + 1);
    std::string link;
    link.append("<a href=\"");
    appendLinkTarget(link, folder);
    link.push_back('/');
    appendLinkTarget(link, name);
    link.append("\"><small>");
    appendLinkText(link, code);
    link.append(" </small>");
    appendLinkText(link, label);
    link.append("</a> ");
    index.append(link);
    ++linkCount;
  }
}

// The folder listed for one prefecture: the last one the search returned that holds a page
// file. A folder without any (a data file without water systems leaves one) is told to
// `progress` and passed over. False when no folder of the prefecture holds a page.
bool choosePrefectureFolder(const std::string& base, const std::vector<std::string>& folders,
                            std::string& folder, std::vector<platform::DirectoryEntry>& pages,
                            Progress& progress) {
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    pages = platform::findFiles(base + platform::kPathSeparator + *it + platform::kPathSeparator +
                                "*.htm");
    if (!pages.empty()) {
      folder = *it;
      return true;
    }
    progress.folderLeftOut(base, *it);
  }
  return false;
}

// Writes the prefectures that have a folder with pages, each with the links of its pages.
void writePrefectures(OutputFile& index, const std::string& base,
                      const std::array<std::vector<std::string>, kPrefectureCount>& folders,
                      IndexResult& result, Progress& progress) {
  for (int i = 0; i < kPrefectureCount; ++i) {
    std::string folder;
    std::vector<platform::DirectoryEntry> pages;
    if (!choosePrefectureFolder(base, folders[static_cast<std::size_t>(i)], folder, pages,
                                progress)) {
      continue;
    }
    ++result.prefectureCount;
    index.append(std::string("<h3>") + prefectureNames[static_cast<std::size_t>(i)] + "</h3>\n");
    writePageLinks(index, folder, pages, result.linkCount);
    index.append("<br><p>\n");
  }
}

}  // namespace

IndexResult createIndexPage(const std::string& baseFolder, Progress& progress) {
  IndexResult result;
  result.base = baseFolder.empty() ? "." : baseFolder;
  const std::string& base = result.base;
  result.indexPath = base + platform::kPathSeparator + "index.html";
  if (!platform::isDirectory(base)) {
    result.kind = IndexResult::Kind::FolderMissing;
    return result;
  }

  const auto matches = platform::findFiles(base + platform::kPathSeparator + kOutputFolderPattern);
  if (matches.empty()) {
    result.kind = IndexResult::Kind::NoOutputFolder;
    return result;
  }
  const auto prefectureFolders = findPrefectureFolders(matches);

  // A failed run leaves the previous index as it was.
  OutputFile index;
  if (!index.open(result.indexPath, OutputFile::Mode::Replace)) {
    result.kind = IndexResult::Kind::NotCreated;
    return result;
  }
  progress.indexOpened(result.indexPath);
  index.append(kHead);
  writePrefectures(index, base, prefectureFolders, result, progress);
  index.append(kSourceLine);
  index.append("</body></html>\n");
  if (!index.close()) result.kind = IndexResult::Kind::NotCreated;
  return result;
}
