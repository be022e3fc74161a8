// The water-system code list (WaterSystemCodeCd.xml or .html) that gives water systems their names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WaterSystemCodeEntry {
  std::uint32_t code = 0;
  std::string labelUtf8;  // at most 47 bytes, cut on a character boundary
};

using WaterSystemCodeList = std::vector<WaterSystemCodeEntry>;

// What a load of the code list read.
struct CodeListLoad {
  std::string path;        // the file read; empty when none was
  std::int32_t codePage;   // kCodePageUtf8, kCodePageAnsi (Shift_JIS) or kCodePageNone
  std::int32_t count = 0;  // entries in the list
  bool read() const { return !path.empty(); }
};

// Loads the XML form from `xmlPath` when that file exists, else the HTML form from `htmlPath`.
// `list` receives the entries (none when no file could be read).
CodeListLoad loadWaterSystemCodeList(WaterSystemCodeList& list, const std::string& xmlPath,
                                     const std::string& htmlPath);

// Label of the first entry with `code`, or nullptr.
const std::string* findWaterSystemLabel(const WaterSystemCodeList& list, std::uint32_t code);

// Writes one code-label line per entry to `path` (created or truncated). True when every byte
// reached the file; false when it cannot be created or written whole.
bool writeCodeLabelFile(const std::string& path, const WaterSystemCodeList& list);
