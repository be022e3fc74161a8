// Reads arbitrary text as a code argument of the page mode (code, separator, colour).
#include <cstdlib>
#include <string>

#include "hydrochart/run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string argument = text.substr(0, text.find('\0'));  // arguments hold no NUL
  const CodeArgument parsed = parseCodeArgument(argument);
  // A code without anything after it takes automatic colours, and only then.
  const bool digitsOnly = argument.find_first_not_of("0123456789") == std::string::npos;
  if (digitsOnly && !parsed.automatic) std::abort();
  if (parsed.automatic && parsed.color != 0) std::abort();
  return 0;
}
