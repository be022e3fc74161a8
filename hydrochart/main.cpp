// hydrochart: map pages of W05 river data files.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "hydrochart/run.h"
#include "platform/console.h"

int main(int argc, char** argv) {
#ifdef SIGXFSZ
  // Beyond a file-size limit a write then fails with an error that the run reports with the
  // file's error line, instead of the signal ending the process silently mid-page.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  platform::prepareStandardOutput();
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = runHydrochart(args);
  std::fflush(stdout);
  return status;
}
