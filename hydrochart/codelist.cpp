#include "hydrochart/codelist.h"

#include <cctype>
#include <cstdio>
#include <new>
#include <string_view>
#include <utility>

#include "hydrochart/output/outputfile.h"
#include "platform/files.h"
#include "platform/textconv.h"
#include "platform/textscan.h"

namespace {

using platform::findAfter;
using platform::findText;
using platform::kCodePageAnsi;
using platform::kCodePageNone;
using platform::kCodePageUtf8;

constexpr std::size_t npos = std::string_view::npos;
constexpr std::size_t kUtf8LabelBytes = 47;
constexpr std::size_t kAnsiLabelBytes = 31;

// Reads the whole file in text mode (a CR directly before a LF is dropped). The text ends at
// its first NUL byte, as every search over it would stop there. False when it cannot be read.
bool readListText(const std::string& path, std::string& text) {
  if (!platform::readTextFile(path, text)) return false;
  const std::size_t nul = text.find('\0');
  if (nul != npos) text.resize(nul);
  return true;
}

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view word) {
  if (at > text.size() || text.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[at + i])) !=
        std::tolower(static_cast<unsigned char>(word[i]))) {
      return false;
    }
  }
  return true;
}

bool startsWithBom(std::string_view text) { return text.substr(0, 3) == "\xEF\xBB\xBF"; }

// Code page named by the value at `value` when it starts before `declarationEnd`: UTF-8,
// the ANSI code page for Shift_JIS, or none when neither name is there.
int codePageOfName(std::string_view text, std::size_t value, std::size_t declarationEnd) {
  if (value >= declarationEnd) return kCodePageNone;
  if (startsWithNoCase(text, value, "UTF-8")) return kCodePageUtf8;
  if (startsWithNoCase(text, value, "Shift_JIS")) return kCodePageAnsi;
  return kCodePageNone;
}

int xmlCodePage(std::string_view text) {
  if (startsWithBom(text)) return kCodePageUtf8;
  int codePage = kCodePageNone;
  const std::size_t declaration = findAfter(text, "<?xml");
  if (declaration != npos) {
    const std::size_t end = findText(text, "?>", declaration);
    const std::size_t value = findAfter(text, "encoding=\"", declaration);
    if (end != npos && value != npos) codePage = codePageOfName(text, value, end);
  }
  return codePage == kCodePageNone ? kCodePageUtf8 : codePage;
}

int htmlCodePage(std::string_view text) {
  if (startsWithBom(text)) return kCodePageUtf8;
  int codePage = kCodePageNone;
  const std::size_t meta = findAfter(text, "<meta ");
  if (meta != npos) {
    const std::size_t end = findText(text, ">", meta);
    std::size_t value = findAfter(text, "charset=", meta);
    if (end != npos && value != npos) {
      if (value < text.size() && text[value] == '"') ++value;
      codePage = codePageOfName(text, value, end);
    }
  }
  return codePage == kCodePageNone ? kCodePageUtf8 : codePage;
}

// Stores a label as read: UTF-8 text cut to 47 bytes, Shift_JIS text cut to 31 bytes (kept in
// CP932 until the list is complete), each cut on a character boundary.
void storeLabel(WaterSystemCodeEntry& entry, std::string_view label, int codePage) {
  if (codePage == kCodePageUtf8) {
    entry.labelUtf8 = platform::cutUtf8(label, kUtf8LabelBytes);
  } else {
    entry.labelUtf8 = platform::cutCp932(label, kAnsiLabelBytes);
  }
}

// Counts the complete codelabel elements of the region: label, code and a closing "/>".
std::size_t countXmlEntries(std::string_view region) {
  std::size_t count = 0;
  std::size_t at = 0;
  for (;;) {
    at = findAfter(region, "<codelabel", at);
    if (at != npos) at = findAfter(region, "label=\"", at);
    if (at != npos) at = findAfter(region, "\"", at);
    if (at != npos) at = findAfter(region, "code=\"", at);
    if (at != npos) at = findAfter(region, "\"", at);
    if (at != npos) at = findAfter(region, "/>", at);
    if (at == npos) return count;
    ++count;
  }
}

void fillXmlEntries(std::string_view region, std::size_t count, int codePage,
                    WaterSystemCodeList& list) {
  std::size_t at = 0;
  while (list.size() < count) {
    at = findAfter(region, "<codelabel", at);
    if (at == npos) return;
    const std::size_t labelStart = findAfter(region, "label=\"", at);
    if (labelStart == npos) return;
    const std::size_t labelEnd = findText(region, "\"", labelStart);
    if (labelEnd == npos) return;
    const std::size_t codeStart = findAfter(region, "code=\"", labelEnd + 1);
    if (codeStart == npos) return;
    const std::size_t codeEnd = findText(region, "\"", codeStart);
    if (codeEnd == npos) return;
    WaterSystemCodeEntry entry;
    storeLabel(entry, region.substr(labelStart, labelEnd - labelStart), codePage);
    entry.code = platform::parseUnsigned32(region.substr(codeStart, codeEnd - codeStart));
    at = findAfter(region, "/>", codeEnd + 1);
    if (at == npos) return;
    list.push_back(std::move(entry));
  }
}

constexpr std::string_view kCellOpen = "<td>";
constexpr std::string_view kCellClose = "</td>";
constexpr std::string_view kRowEnd = "</tr>";

// One table row of the HTML form: its first two cells and where the scan goes on.
struct TableRow {
  std::size_t codeStart, codeEnd, labelStart, labelEnd, next;
};

// The next row from `at` that holds two cells, each "<td>" ... "</td>", and ends in "</tr>".
// Rows with more cells yield their first two; the rest of the row is passed over.
bool nextTableRow(std::string_view region, std::size_t at, TableRow& row) {
  const std::size_t firstOpen = findText(region, kCellOpen, at);
  if (firstOpen == npos) return false;
  row.codeStart = firstOpen + kCellOpen.size();
  row.codeEnd = findText(region, kCellClose, row.codeStart);
  if (row.codeEnd == npos) return false;
  const std::size_t secondOpen = findText(region, kCellOpen, row.codeEnd + kCellClose.size());
  if (secondOpen == npos) return false;
  row.labelStart = secondOpen + kCellOpen.size();
  row.labelEnd = findText(region, kCellClose, row.labelStart);
  if (row.labelEnd == npos) return false;
  const std::size_t rowEnd = findText(region, kRowEnd, row.labelEnd + kCellClose.size());
  if (rowEnd == npos) return false;
  row.next = rowEnd + kRowEnd.size();
  return true;
}

std::size_t countHtmlEntries(std::string_view region) {
  std::size_t count = 0;
  TableRow row{};
  for (std::size_t at = 0; nextTableRow(region, at, row); at = row.next) ++count;
  return count;
}

// Takes the cells in pairs, a code cell and the next cell as its label, each pair starting
// just past the label cell of the one before; "</tr>" is not looked for, so after a row with a
// single cell the pairs run across rows. Only a pair whose two cells share a row that holds
// further cells passes over the rest of that row, so that rows of three or more cells give
// their first two. At most `count` entries (the rows counted) are read.
void fillHtmlEntries(std::string_view region, std::size_t count, int codePage,
                     WaterSystemCodeList& list) {
  std::size_t at = 0;
  while (list.size() < count) {
    const std::size_t codeOpen = findText(region, kCellOpen, at);
    if (codeOpen == npos) return;
    const std::size_t codeStart = codeOpen + kCellOpen.size();
    const std::size_t codeEnd = findText(region, kCellClose, codeStart);
    if (codeEnd == npos) return;
    const std::size_t labelOpen = findText(region, kCellOpen, codeEnd + kCellClose.size());
    if (labelOpen == npos) return;
    const std::size_t labelStart = labelOpen + kCellOpen.size();
    const std::size_t labelEnd = findText(region, kCellClose, labelStart);
    if (labelEnd == npos) return;
    WaterSystemCodeEntry entry;
    entry.code = platform::parseUnsigned32(region.substr(codeStart, codeEnd - codeStart));
    storeLabel(entry, region.substr(labelStart, labelEnd - labelStart), codePage);
    list.push_back(std::move(entry));
    at = labelEnd + kCellClose.size();

    const std::size_t rowBetween = findText(region, kRowEnd, codeEnd);
    const bool oneRow = rowBetween == npos || rowBetween > labelOpen;
    const std::size_t rowEnd = findText(region, kRowEnd, at);
    const std::size_t nextCell = findText(region, kCellOpen, at);
    if (oneRow && rowEnd != npos && nextCell != npos && nextCell < rowEnd)
      at = rowEnd + kRowEnd.size();
  }
}

// The part of the text between the opening and the closing tag of the code list, or false.
bool xmlRegion(std::string_view text, std::string_view& region) {
  const std::size_t start = findAfter(text, "<ksjc:WaterSystemCodeCd>", 0);
  if (start == npos) return false;
  const std::size_t end = findText(text, "</ksjc:WaterSystemCodeCd>", start);
  if (end == npos) return false;
  region = text.substr(start, end - start);
  return true;
}

constexpr std::string_view kTableOpening = "<table";

// The table's content: from just past "<table" and the one character after it up to
// "</table>", or false.
bool htmlRegion(std::string_view text, std::string_view& region) {
  const std::size_t table = findText(text, kTableOpening, 0);
  if (table == npos) return false;
  const std::size_t start = table + kTableOpening.size() + 1;
  const std::size_t end = findText(text, "</table>", start);
  if (end == npos) return false;
  region = text.substr(start, end - start);
  return true;
}

}  // namespace

CodeListLoad loadWaterSystemCodeList(WaterSystemCodeList& list, const std::string& xmlPath,
                                     const std::string& htmlPath) {
  list.clear();
  CodeListLoad load{{}, kCodePageNone, 0};

  bool isXml;
  if (platform::pathExists(xmlPath)) {
    isXml = true;
  } else if (platform::pathExists(htmlPath)) {
    isXml = false;
  } else {
    return load;
  }
  const std::string& path = isXml ? xmlPath : htmlPath;

  std::string text;
  bool textRead = false;
  int codePage = kCodePageNone;
  try {
    if (!readListText(path, text)) return load;
    textRead = true;
    codePage = isXml ? xmlCodePage(text) : htmlCodePage(text);
    std::string_view region;
    if (isXml ? xmlRegion(text, region) : htmlRegion(text, region)) {
      const std::size_t count = isXml ? countXmlEntries(region) : countHtmlEntries(region);
      if (count > 0) {
        list.reserve(count);
        if (isXml) {
          fillXmlEntries(region, count, codePage, list);
        } else {
          fillHtmlEntries(region, count, codePage, list);
        }
      }
    }
    if (codePage == kCodePageAnsi) {
      for (WaterSystemCodeEntry& entry : list) {
        const std::string utf8 = platform::ansiToUtf8(entry.labelUtf8);
        entry.labelUtf8 = platform::cutUtf8(utf8, kUtf8LabelBytes);
      }
    }
  } catch (const std::bad_alloc&) {
    // Not enough memory for the text or the list: the load found no list.
    list.clear();
    list.shrink_to_fit();
    if (!textRead) return load;
  }
  load.path = path;
  load.codePage = codePage;
  load.count = static_cast<std::int32_t>(list.size());
  return load;
}

const std::string* findWaterSystemLabel(const WaterSystemCodeList& list, std::uint32_t code) {
  // A linear search: the list holds a few hundred entries and is searched once per page.
  for (const WaterSystemCodeEntry& entry : list) {
    if (entry.code == code) return &entry.labelUtf8;
  }
  return nullptr;
}

bool writeCodeLabelFile(const std::string& path, const WaterSystemCodeList& list) {
  OutputFile file;
  if (!file.open(path, OutputFile::Mode::InPlaceBinary)) return false;
  for (const WaterSystemCodeEntry& entry : list) {
    // The code goes through a signed conversion, as "%06d" of the 32-bit value.
    char code[16];
    std::snprintf(code, sizeof code, "%06d", static_cast<int>(entry.code));
    file.appendFormatted([&entry, &code](std::string& out) {
      out.append("\t\t\t\t<codelabel label=\"").append(entry.labelUtf8.c_str());
      out.append("\" code=\"").append(code).append("\" />\n");
    });
  }
  return file.close();
}
