#include "platform/console.h"

#include <cstdio>

namespace platform {

int failurePath() {
  std::fflush(stdout);
  pauseForKey();
  return 1;
}

}  // namespace platform
