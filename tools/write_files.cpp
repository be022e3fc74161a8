// Writes files of given names and sizes into a folder, doing no other work: the least that a
// program which writes those files costs on a platform, start-up included. The benchmark runs
// it under Wine to show how much of the Windows build's time Wine takes before any page is
// drawn.
//
// Usage: write_files LIST FOLDER
//   LIST holds one "<size in bytes> <file name>" per line, names in the platform's file-name
//   encoding; FOLDER is created when missing. Each file gets `size` bytes written in 1 MiB
//   writes, as the pages are. Exit status 0, or 1 with a message when a file cannot be written.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <direct.h>
#define MAKE_FOLDER(path) _mkdir(path)
constexpr char kSeparator = '\\';
#else
#include <sys/stat.h>
#define MAKE_FOLDER(path) mkdir(path, 0777)
constexpr char kSeparator = '/';
#endif

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: write_files LIST FOLDER\n");
    return 2;
  }
  std::FILE* list = std::fopen(argv[1], "rb");
  if (list == nullptr) {
    std::fprintf(stderr, "write_files: cannot read %s\n", argv[1]);
    return 1;
  }
  MAKE_FOLDER(argv[2]);
  const std::size_t kBlock = std::size_t{1} << 20;
  const std::vector<char> block(kBlock, 'x');
  char line[4096];
  while (std::fgets(line, sizeof line, list) != nullptr) {
    line[std::strcspn(line, "\r\n")] = '\0';
    char* name = std::strchr(line, ' ');
    if (name == nullptr) continue;
    *name++ = '\0';
    unsigned long long left = std::strtoull(line, nullptr, 10);
    const std::string path = std::string(argv[2]) + kSeparator + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
      std::fprintf(stderr, "write_files: cannot create %s\n", path.c_str());
      return 1;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    bool written = true;
    while (left > 0 && written) {
      const std::size_t n = left < kBlock ? static_cast<std::size_t>(left) : kBlock;
      written = std::fwrite(block.data(), 1, n, file) == n;
      left -= n;
    }
    if (std::fclose(file) != 0 || !written) {
      std::fprintf(stderr, "write_files: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  std::fclose(list);
  return 0;
}
