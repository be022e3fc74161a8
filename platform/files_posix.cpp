#include "platform/files.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace platform {

bool pathExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool makeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  return errno == EEXIST && isDirectory(path);
}

const char kPathSeparator = '/';

bool isPathSeparator(char c) { return c == '/'; }

bool hasPathSeparator(std::string_view path) { return path.find('/') != std::string_view::npos; }

bool isRootedPath(std::string_view path) { return path.starts_with('/'); }

std::string removeLastComponentUtf8(std::string_view path) { return removeLastComponent(path); }

bool makeDirectoryUtf8(const std::string& path) { return makeDirectory(path); }

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

std::vector<DirectoryEntry> findFiles(const std::string& pattern) {
  std::vector<DirectoryEntry> found;
  const auto slash = pattern.rfind('/');
  const std::string_view whole = pattern;
  const std::string folder(slash == std::string::npos ? std::string_view(".")
                           : slash == 0                ? std::string_view("/")
                                                       : whole.substr(0, slash));
  const std::string namePattern(slash == std::string::npos ? whole : whole.substr(slash + 1));

  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return found;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (::fnmatch(namePattern.c_str(), entry->d_name, FNM_NOESCAPE) != 0) continue;
    found.push_back({std::string(name), isDirectory(folder + "/" + entry->d_name)});
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
  return found;
}

}  // namespace platform
