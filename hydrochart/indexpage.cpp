#include "hydrochart/indexpage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

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

// The index file. A regular file (or a new one) is written to a temporary file beside it and
// renamed over it only when every byte arrived, so that a failed run leaves the previous index
// as it was. Something else in its place (a device such as /dev/full, a FIFO) has no content to
// lose and is written in place.
class IndexFile {
 public:
  IndexFile() = default;
  IndexFile(const IndexFile&) = delete;
  IndexFile& operator=(const IndexFile&) = delete;
  ~IndexFile() { discard(); }

  // False when the file (or its temporary file) cannot be created.
  bool open(const std::string& path) {
    std::string target = path;
    struct stat status {};
    const bool exists = ::stat(path.c_str(), &status) == 0;
    if (exists && !S_ISREG(status.st_mode)) {
      file_ = std::fopen(path.c_str(), "w");
      return file_ != nullptr;
    }
    if (exists) {
      // Through a symbolic link the file it names is replaced, and the link stays.
      if (char* real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
      }
    }
    const std::string folder = platform::removeLastComponent(target);
    std::string temporary = (folder.empty() ? "." : folder) + "/.index.html-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    // The permissions that a file created in place would get (or that the old index had).
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, exists ? (status.st_mode & 07777) : (0666 & ~mask));
    file_ = ::fdopen(fd, "w");
    if (file_ == nullptr) {
      ::close(fd);
      ::unlink(temporary.c_str());
      return false;
    }
    temporary_ = temporary;
    target_ = target;
    return true;
  }

  void write(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
  }

  // Closes the file and puts it in place; false (with the temporary file removed) when a write,
  // the close or the rename failed.
  bool commit() {
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (temporary_.empty()) return closed && !failed_;
    if (closed && !failed_ && ::rename(temporary_.c_str(), target_.c_str()) == 0) {
      temporary_.clear();
      return true;
    }
    discard();
    return false;
  }

 private:
  void discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
  }

  std::FILE* file_ = nullptr;
  std::string temporary_;  // empty when writing in place or once renamed
  std::string target_;
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
    const std::string_view name = page.name;
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
    pages = platform::findFiles(base + "/" + *it + "/*.htm");
    if (!pages.empty()) {
      folder = *it;
      return true;
    }
    std::fflush(stdout);
    std::fprintf(stderr, "hydrochart: \"%s/%s\" holds no page; left out of the index\n",
                 base.c_str(), it->c_str());
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

  const auto matches = platform::findFiles(base + "/W05-?\?_?\?-g_html");
  if (matches.empty()) return 2;
  const auto prefectureFolders = findPrefectureFolders(matches);

  const std::string indexPath = base + "/index.html";
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
