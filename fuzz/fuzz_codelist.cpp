// Loads arbitrary bytes as a water-system code list; the first byte chooses the XML or the
// HTML form.
#include <cstdio>

#include "fuzz/fuzz_input.h"
#include "hydrochart/codelist.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool quiet = (std::freopen("/dev/null", "w", stdout), true);
  static_cast<void>(quiet);
  if (size == 0) return 0;
  const bool html = data[0] & 1;
  FuzzInputFile input(data + 1, size - 1, html ? ".html" : ".xml");
  WaterSystemCodeList list;
  std::int32_t codePage = 0;
  const std::int32_t count = html ? loadWaterSystemCodeList(list, "/nonexistent/x.xml", input.path(), codePage)
                                  : loadWaterSystemCodeList(list, input.path(), "/nonexistent/x.html", codePage);
  if (count != static_cast<std::int32_t>(list.size())) std::abort();
  if (codePage != 0 && codePage != 65001) std::abort();
  for (const auto& entry : list) {
    if (entry.labelUtf8.size() > 47) std::abort();
  }
  return 0;
}
