#include <langinfo.h>
#include <strings.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/console.h"
#include "platform/textconv.h"

namespace platform {

std::uint32_t consoleCodePage() {
  const char* previous = std::setlocale(LC_CTYPE, nullptr);
  std::string saved = previous ? previous : "C";
  std::uint32_t codePage = 0;
  if (std::setlocale(LC_CTYPE, "")) {
    const char* codeset = nl_langinfo(CODESET);
    if (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0) {
      codePage = kCodePageUtf8;
    } else if (strcasecmp(codeset, "SHIFT_JIS") == 0 || strcasecmp(codeset, "SJIS") == 0 ||
               strcasecmp(codeset, "CP932") == 0 || strcasecmp(codeset, "WINDOWS-31J") == 0) {
      codePage = kCodePageShiftJis;
    }
  }
  std::setlocale(LC_CTYPE, saved.c_str());
  return codePage;
}

void pauseForKey() {
  std::fflush(stdout);
  if (!::isatty(STDIN_FILENO)) return;
  std::fputs("Press Enter to continue . . . ", stdout);
  std::fflush(stdout);
  int c;
  while ((c = std::getchar()) != EOF && c != '\n') {
  }
}

void prepareStandardOutput() {}

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::vector<std::string> utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace platform
