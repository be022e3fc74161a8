#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/filenames.h"
#include "platform/files.h"

namespace platform {

bool pathExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

FileIdentity fileIdentity(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return {};
  return {true, static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

bool makeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  return errno == EEXIST && isDirectory(path);
}

const char kPathSeparator = '/';

const bool kCrLfLineEnds = false;
const bool kWindowsFileNameRules = false;

bool isPathSeparator(char c) { return c == '/'; }

bool hasPathSeparator(std::string_view path) { return path.find('/') != std::string_view::npos; }

bool isRootedPath(std::string_view path) { return path.starts_with('/'); }

std::string removeLastComponentUtf8(std::string_view path) { return removeLastComponent(path); }

bool makeDirectoryUtf8(const std::string& path) { return makeDirectory(path); }

bool pathExistsUtf8(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;  // a link counts, even one that leads nowhere
}

std::FILE* openFileUtf8(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

std::string removeLastComponent(std::string_view path) {
  const auto slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

// The link /proc/self/exe names the running program.
std::string programDirectory() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return removeLastComponent(std::string_view(buffer, static_cast<std::size_t>(n)));
}

std::string programDataDirectory(std::string_view programFolder, std::string_view name) {
  if (programFolder.empty()) return {};
  std::string prefix = removeLastComponent(programFolder);
  if (prefix == "/") prefix.clear();
  return prefix + "/share/" + std::string(name);
}

namespace {

// The name pattern in fnmatch's syntax with only "*" and "?" left as wildcards: brackets and
// backslashes are escaped, so that they match themselves as the search's own rules say.
std::string escapedNamePattern(std::string_view pattern) {
  std::string escaped;
  escaped.reserve(pattern.size() * 2);
  for (const char c : pattern) {
    if (c == '[' || c == ']' || c == '\\') escaped.push_back('\\');
    escaped.push_back(c);
  }
  return escaped;
}

}  // namespace

std::vector<DirectoryEntry> findFiles(const std::string& pattern) {
  std::vector<DirectoryEntry> found;
  const auto slash = pattern.rfind('/');
  const std::string_view whole = pattern;
  const std::string folder(slash == std::string::npos ? std::string_view(".")
                           : slash == 0               ? std::string_view("/")
                                                      : whole.substr(0, slash));
  const std::string namePattern =
      escapedNamePattern(slash == std::string::npos ? whole : whole.substr(slash + 1));

  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return found;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (::fnmatch(namePattern.c_str(), entry->d_name, 0) != 0) continue;
    found.push_back({std::string(name), isDirectory(folder + "/" + entry->d_name)});
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
  return found;
}

FileRead readWholeFile(const std::string& path, std::string& content, std::uint64_t limit) {
  content.clear();
  // Without O_NONBLOCK, opening a pipe that nobody writes to would wait for ever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return FileRead::NotFound;
  struct stat info;
  FileRead outcome = FileRead::Read;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    outcome = FileRead::NotFound;
  } else if (!S_ISREG(info.st_mode)) {
    outcome = FileRead::NotRegularFile;
  } else if (static_cast<std::uint64_t>(info.st_size) > limit) {
    outcome = FileRead::TooLarge;
  }
  char buffer[65536];
  while (outcome == FileRead::Read) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) outcome = FileRead::NotFound;
    if (n <= 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
    // The file may have grown since its size was read.
    if (content.size() > limit) outcome = FileRead::TooLarge;
  }
  ::close(fd);
  return outcome;
}

bool readFileStart(const std::string& path, std::string& content, std::size_t maxBytes) {
  content.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  bool read = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  content.resize(read ? maxBytes : 0);
  std::size_t size = 0;
  while (read && size < maxBytes) {
    const ssize_t n = ::read(fd, content.data() + size, maxBytes - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) read = false;
    if (n <= 0) break;
    size += static_cast<std::size_t>(n);
  }
  ::close(fd);
  content.resize(read ? size : 0);
  return read;
}

FileRead readWholeFileUtf8(const std::string& path, std::string& content, std::uint64_t limit) {
  return readWholeFile(path, content, limit);
}

ReplacementFile openReplacementFile(const std::string& path) {
  ReplacementFile replacement;
  struct stat status {};
  const bool exists = ::stat(path.c_str(), &status) == 0;
  if (exists && !S_ISREG(status.st_mode)) {
    replacement.file = std::fopen(path.c_str(), "w");
    return replacement;
  }
  std::string target = path;
  if (exists) {
    // Through a symbolic link the file it names is replaced, and the link stays.
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  const std::string folder = removeLastComponent(target);
  const std::string name = target.substr(target.rfind('/') + 1);
  std::string temporary = (folder.empty() ? "." : folder) + "/." + name + "-XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return replacement;
  // The permissions that a file created in place would get (or that the old file had).
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, exists ? (status.st_mode & 07777) : (0666 & ~mask));
  replacement.file = ::fdopen(fd, "w");
  if (replacement.file == nullptr) {
    ::close(fd);
    ::unlink(temporary.c_str());
    return replacement;
  }
  replacement.temporaryPath = temporary;
  replacement.target = target;
  return replacement;
}

bool replaceFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

void removeFile(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace platform
