#include <cstdio>

#include "platform/console.h"

namespace platform {

int failurePath() {
  std::fflush(stdout);
  pauseForKey();
  return 1;
}

}  // namespace platform
