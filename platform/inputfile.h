// A file opened for reading as raw bytes: what the data loader needs of the system to read a
// data file, from its start on or at given offsets by two threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path` (in the platform's narrow encoding) for reading, without text-mode
  // translation and not inherited by child processes. False when it cannot be opened for
  // reading or is a folder.
  bool open(const std::string& path);
  bool isOpen() const { return fd_ >= 0; }

  // Size of a regular file, else 0 (a device, a pipe).
  std::uint64_t regularSize() const;

  // Reads up to `size` bytes from the file's own position on. The count read (0 at the end of
  // the file), or -1 on an error.
  long read(void* data, std::size_t size);

  // Reads up to `size` bytes from `offset` on; the same results. Several threads may read one
  // file this way at once, as long as nothing reads it through its own position meanwhile.
  long readAt(void* data, std::size_t size, std::uint64_t offset) const;

 private:
  int fd_ = -1;
};

}  // namespace platform
