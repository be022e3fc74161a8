// A fuzz input written to a private temporary file, for code that reads files by path.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

class FuzzInputFile {
 public:
  FuzzInputFile(const std::uint8_t* data, std::size_t size, const char* suffix) {
    std::string pattern = std::string(tmpDir()) + "/w05fuzz.XXXXXX" + suffix;
    const int fd = ::mkstemps(pattern.data(), static_cast<int>(std::string(suffix).size()));
    if (fd < 0) std::abort();
    for (std::size_t done = 0; done < size;) {
      const ssize_t n = ::write(fd, data + done, size - done);
      if (n <= 0) std::abort();
      done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    path_ = pattern;
  }
  ~FuzzInputFile() { std::remove(path_.c_str()); }
  FuzzInputFile(const FuzzInputFile&) = delete;
  FuzzInputFile& operator=(const FuzzInputFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  static const char* tmpDir() {
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
  }
  std::string path_;
};
