// Loads arbitrary bytes as a water-system code list; the first byte chooses the XML or the
// HTML form.

#include "fuzz/fuzz_input.h"
#include "hydrochart/codelist.h"
#include "platform/textconv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool html = data[0] & 1;
  FuzzInputFile input(data + 1, size - 1, html ? ".html" : ".xml");
  WaterSystemCodeList list;
  const CodeListLoad load =
      html ? loadWaterSystemCodeList(list, "/nonexistent/x.xml", input.path())
           : loadWaterSystemCodeList(list, input.path(), "/nonexistent/x.html");
  if (load.count != static_cast<std::int32_t>(list.size())) std::abort();
  if (load.codePage != platform::kCodePageAnsi && load.codePage != platform::kCodePageUtf8)
    std::abort();
  for (const auto& entry : list) {
    if (entry.labelUtf8.size() > 47) std::abort();
  }
  return 0;
}
