// hydrochart: map pages of W05 river data files.
#include <cstdio>
#include <string>
#include <vector>

#include "hydrochart/run.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = runHydrochart(args);
  std::fflush(stdout);
  return status;
}
