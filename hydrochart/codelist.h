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

// Loads the XML form from `xmlPath` when that file exists, else the HTML form from `htmlPath`.
// Returns the number of entries; `list` receives them (empty when 0). `listCodePage` becomes
// 65001 (UTF-8), 0 (Shift_JIS) or -1 (no file read). Prints its report line when a file was read.
std::int32_t loadWaterSystemCodeList(WaterSystemCodeList& list, const std::string& xmlPath,
                                     const std::string& htmlPath, std::int32_t& listCodePage);

// Label of the first entry with `code`, or nullptr.
const std::string* findWaterSystemLabel(const WaterSystemCodeList& list, std::uint32_t code);
