#include <clocale>
#include <string>
#include <vector>

#include "fetchunpack/run.h"
#include "platform/atomicfile.h"

int main(int argc, char** argv) {
  // The locale decides how names are compared without regard to case.
  std::setlocale(LC_ALL, "");
  platform::removeTemporaryFileOnSignals();
  return fetchunpack::runFetchUnpack(std::vector<std::string>(argv + 1, argv + argc));
}
