#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/atomicfile.h"
#include "platform/descriptor.h"
#include "platform/files.h"

namespace platform {

namespace {

// The temporary file that a signal must remove, kept where the handler can reach it without
// allocating: its path in a fixed buffer, and the file object that owns it.
char pendingPath[platform::kMaxPathLength + 1];
const AtomicFile* volatile pendingOwner = nullptr;

void removePendingFileAndEnd(int signalNumber) {
  if (pendingOwner) ::unlink(pendingPath);
  // With the default action back in place, the signal ends the program as it would have
  // without this handler; it is delivered once the handler returns.
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Holds back the cleanup signals while a temporary file and its record change together, so that
// the handler never sees a file without its record or a record without its file.
class CleanupSignalsHeld {
 public:
  CleanupSignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signalNumber : kCleanupSignals) sigaddset(&held, signalNumber);
    sigprocmask(SIG_BLOCK, &held, &previous_);
  }
  ~CleanupSignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
  CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

void recordPending(const AtomicFile* owner, const std::string& path) {
  std::memcpy(pendingPath, path.c_str(), path.size() + 1);
  pendingOwner = owner;
}

void forgetPending(const AtomicFile* owner) {
  if (pendingOwner == owner) pendingOwner = nullptr;
}

}  // namespace

long writeToDescriptor(int fd, const void* data, std::size_t size) {
  for (;;) {
    const ssize_t n = ::write(fd, data, size);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

int closeDescriptor(int fd) { return ::close(fd); }

void removeTemporaryFileOnSignals() {
  for (int signalNumber : kCleanupSignals) {
    struct sigaction action {};
    if (sigaction(signalNumber, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
    action = {};
    action.sa_handler = removePendingFileAndEnd;
    sigemptyset(&action.sa_mask);
    for (int other : kCleanupSignals) sigaddset(&action.sa_mask, other);
    sigaction(signalNumber, &action, nullptr);
  }
  std::signal(SIGXFSZ, SIG_IGN);
}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::create(const std::string& target, std::string& cause) {
  discard();
  const std::string folder = platform::removeLastComponent(target);
  std::string pattern = (folder.empty() ? std::string() : folder + "/") + ".fetchunpack-XXXXXX";
  if (pattern.size() > platform::kMaxPathLength) {
    cause = describeFileError("cannot create", target, ENAMETOOLONG);
    return false;
  }
  CleanupSignalsHeld held;
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    cause = describeFileError("cannot create a file next to", target, errno);
    return false;
  }
  recordPending(this, pattern);
  // mkstemp makes the file private; give it the mode an ordinary new file gets.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(fd, 0666 & ~mask) != 0) {
    cause = describeFileError("cannot set the mode of", pattern, errno);
    ::close(fd);
    ::unlink(pattern.c_str());
    forgetPending(this);
    return false;
  }
  fd_ = fd;
  target_ = target;
  temporaryPath_ = pattern;
  return true;
}

bool AtomicFile::commit(std::string& cause) {
  if (!close(cause)) return false;
  CleanupSignalsHeld held;
  if (std::rename(temporaryPath_.c_str(), target_.c_str()) != 0) {
    cause = describeFileError("cannot replace", target_, errno);
    discard();
    return false;
  }
  forgetPending(this);
  temporaryPath_.clear();
  return true;
}

void AtomicFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  CleanupSignalsHeld held;
  if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
  forgetPending(this);
  temporaryPath_.clear();
}

}  // namespace platform
