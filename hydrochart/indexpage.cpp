#include "hydrochart/indexpage.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

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

// The index file, put in place only when every byte arrived, so that a failed run leaves the
// previous index as it was.
class IndexFile {
 public:
  IndexFile() = default;
  IndexFile(const IndexFile&) = delete;
  IndexFile& operator=(const IndexFile&) = delete;
  ~IndexFile() { discard(); }

  // False when the file (or its temporary file) cannot be created.
  bool open(const std::string& path) {
    replacement_ = platform::openReplacementFile(path);
    return replacement_.file != nullptr;
  }

  void write(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), replacement_.file) != text.size()) failed_ = true;
  }

  // Closes the file and puts it in place; false (with the temporary file removed) when a write,
  // the close or the rename failed.
  bool commit() {
    const bool closed = std::fclose(replacement_.file) == 0;
    replacement_.file = nullptr;
    std::string& temporary = replacement_.temporaryPath;
    if (temporary.empty()) return closed && !failed_;
    if (closed && !failed_ && platform::replaceFile(temporary, replacement_.target)) {
      temporary.clear();
      return true;
    }
    discard();
    return false;
  }

 private:
  void discard() {
    if (replacement_.file != nullptr) std::fclose(replacement_.file);
    replacement_.file = nullptr;
    if (!replacement_.temporaryPath.empty()) platform::removeFile(replacement_.temporaryPath);
    replacement_.temporaryPath.clear();
  }

  platform::ReplacementFile replacement_;
  bool failed_ = false;
};

// Output folders by prefecture: the names of the matching folders of each code, in the order
// of the search.
std::array<std::vector<std::string>, kPrefectureCount> findPrefectureFolders(
    const std::vector<platform::DirectoryEntry>& matches) {
  std::array<std::vector<std::string>, kPrefectureCount> prefectureFolders;
  for (const platform::DirectoryEntry& entry : matches) {
    if (!entry.isDirectory || entry.name.empty() || entry.name[0] == '.') continue;
    if (entry.name.size() < 8) continue;
    // The prefecture code is the second pair of wildcard characters, from the eighth on.
    const long code = std::strtol(entry.name.c_str() + 7, nullptr, 10);
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
void writePageLinks(IndexFile& index, const std::string& folder,
                    const std::vector<platform::DirectoryEntry>& pages, int& linkCount) {
  for (const platform::DirectoryEntry& page : pages) {
    if (page.isDirectory) continue;
    // "000000_label.htm": the code before the first "_", the label after it, up to the first ".".
    // Page names come in the platform's file-name encoding; the index is UTF-8.
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
    index.write(link);
    ++linkCount;
  }
}

// The folder listed for one prefecture: the last one the search returned that holds a page
// file. A folder without any (a data file without water systems leaves one) is named on
// standard error and passed over. False when no folder of the prefecture holds a page.
bool choosePrefectureFolder(const std::string& base, const std::vector<std::string>& folders,
                            std::string& folder, std::vector<platform::DirectoryEntry>& pages) {
  for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
    pages = platform::findFiles(base + platform::kPathSeparator + *it + platform::kPathSeparator +
                                "*.htm");
    if (!pages.empty()) {
      folder = *it;
      return true;
    }
    std::fflush(stdout);
    std::fprintf(stderr, "hydrochart: \"%s%c%s\" holds no page; left out of the index\n",
                 base.c_str(), platform::kPathSeparator, it->c_str());
  }
  return false;
}

}  // namespace

int createIndexPage(const std::string& baseFolder) {
  const std::string base = baseFolder.empty() ? "." : baseFolder;
  if (!platform::isDirectory(base)) {
    std::printf("** Error: Folder \"%s\" not exists.\n", base.c_str());
    return 1;
  }

  const auto matches = platform::findFiles(base + platform::kPathSeparator + "W05-?\?_?\?-g_html");
  if (matches.empty()) return 2;
  const auto prefectureFolders = findPrefectureFolders(matches);

  const std::string indexPath = base + platform::kPathSeparator + "index.html";
  IndexFile index;
  if (!index.open(indexPath)) {
    std::printf("** Error: \"%s\" could not be created.\n", indexPath.c_str());
    return 3;
  }
  std::printf("\"%s\" was created", indexPath.c_str());
  index.write(kHead);

  int prefectureCount = 0;
  int linkCount = 0;
  for (int i = 0; i < kPrefectureCount; ++i) {
    std::string folder;
    std::vector<platform::DirectoryEntry> pages;
    if (!choosePrefectureFolder(base, prefectureFolders[static_cast<std::size_t>(i)], folder,
                                pages)) {
      continue;
    }
    ++prefectureCount;
    index.write(std::string("<h3>") + prefectureNames[static_cast<std::size_t>(i)] + "</h3>\n");
    writePageLinks(index, folder, pages, linkCount);
    index.write("<br><p>\n");
  }
  index.write(kSourceLine);
  index.write("</body></html>\n");
  if (!index.commit()) {
    std::printf("** Error: \"%s\" could not be created.\n", indexPath.c_str());
    return 3;
  }
  std::printf(" and processed. Pref=%d WS=%d\n", prefectureCount, linkCount);
  return 0;
}
