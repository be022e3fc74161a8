#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>

#include "platform/atomicfile.h"
#include "platform/descriptor.h"
#include "platform/files.h"
#include "platform/widetext_win32.h"

namespace platform {

namespace {

std::string describeWindowsError(const char* what, const std::string& path, DWORD error) {
  return std::string(what) + " " + path + ": Windows error " + std::to_string(error);
}

// The temporary file that Ctrl+C or Ctrl+Break must remove, kept where the handler can reach it
// without allocating. The console's control handler runs the C runtime's signal handler.
wchar_t pendingPath[32768];
volatile std::sig_atomic_t pendingSet = 0;

void removePendingFileAndEnd(int signalNumber) {
  if (pendingSet) _wunlink(pendingPath);
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

void rememberPending(const std::string& path) {
  pendingSet = 0;
  const std::wstring wide = wideOfUtf8(path);
  if (wide.size() >= std::size(pendingPath)) return;
  std::wmemcpy(pendingPath, wide.c_str(), wide.size() + 1);
  pendingSet = 1;
}

}  // namespace

long writeToDescriptor(int fd, const void* data, std::size_t size) {
  return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}

int closeDescriptor(int fd) { return _close(fd); }

void removeTemporaryFileOnSignals() {
  for (const int signalNumber : {SIGINT, SIGTERM, SIGBREAK}) {
    std::signal(signalNumber, removePendingFileAndEnd);
  }
}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::create(const std::string& target, std::string& cause) {
  discard();
  const std::string folder = platform::removeLastComponentUtf8(target);
  const std::string prefix =
      (folder.empty() ? std::string() : folder + platform::kPathSeparator) + ".fetchunpack-";
  if (prefix.size() + 12 > platform::kMaxPathLength) {
    cause = describeFileError("cannot create", target, ENAMETOOLONG);
    return false;
  }
  // A name of the process id and a counter, created only when no file has it yet.
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const unsigned n = (GetCurrentProcessId() << 12) ^ (GetTickCount() + counter++);
    const std::string candidate = prefix + std::to_string(n);
    const int fd = _wopen(wideOfUtf8(candidate).c_str(),
                          _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                          _S_IREAD | _S_IWRITE);
    if (fd >= 0) {
      fd_ = fd;
      target_ = target;
      temporaryPath_ = candidate;
      rememberPending(candidate);
      return true;
    }
    if (errno != EEXIST) break;
  }
  cause = describeFileError("cannot create a file next to", target, errno);
  return false;
}

bool AtomicFile::commit(std::string& cause) {
  if (!close(cause)) return false;
  if (!MoveFileExW(wideOfUtf8(temporaryPath_).c_str(), wideOfUtf8(target_).c_str(),
                   MOVEFILE_REPLACE_EXISTING)) {
    cause = describeWindowsError("cannot replace", target_, GetLastError());
    discard();
    return false;
  }
  pendingSet = 0;
  temporaryPath_.clear();
  return true;
}

void AtomicFile::discard() {
  if (fd_ >= 0) _close(fd_);
  fd_ = -1;
  pendingSet = 0;
  if (!temporaryPath_.empty()) DeleteFileW(wideOfUtf8(temporaryPath_).c_str());
  temporaryPath_.clear();
}

}  // namespace platform
