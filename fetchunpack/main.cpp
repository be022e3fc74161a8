#include <clocale>
#include <string>
#include <vector>

#include "fetchunpack/run.h"
#include "platform/atomicfile.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  // The locale decides how names are compared without regard to case.
  std::setlocale(LC_ALL, "");
  platform::removeTemporaryFileOnSignals();
  return fetchunpack::runFetchUnpack(platform::utf8Arguments(argc, argv));
}
