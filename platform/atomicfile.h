// Files that appear whole or not at all: the data goes to a temporary file in the target's
// folder, which is renamed over the target only when everything was written. The temporary
// file is also removed when the program is interrupted or terminated by a signal.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();  // an uncommitted temporary file is removed

  // Creates the temporary file next to `target`. On failure `cause` says why.
  bool create(const std::string& target, std::string& cause);

  // Appends all `size` bytes, retrying short writes.
  bool write(const void* data, std::size_t size, std::string& cause);

  // Closes the temporary file; a failure here means data may not have reached the disk, and
  // the temporary file is removed.
  bool close(std::string& cause);

  // Closes the temporary file when still open and renames it over the target.
  bool commit(std::string& cause);

  // Closes and removes the temporary file; the target is left as it was.
  void discard();

  // Path of the temporary file while there is one, else "".
  const std::string& temporaryPath() const { return temporaryPath_; }

 private:
  int fd_ = -1;
  std::string target_;
  std::string temporaryPath_;
};

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary file being written before the program
// ends with the signal's usual status; a signal that the program was started with ignored (SIGHUP
// under nohup) stays ignored. SIGXFSZ is ignored, so that a write beyond the file-size limit
// fails with EFBIG and is reported like any other write error instead of killing the program.
void removeTemporaryFileOnSignals();

// "<what> <path>: <the system's text for error>", the cause of a failed file operation.
std::string describeFileError(const char* what, const std::string& path, int error);

}  // namespace platform
