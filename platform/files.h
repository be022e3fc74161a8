// File-system services of the W05 tools: existence tests, one-level folder creation, the
// program's own folder, and sorted wildcard searches so that every run is repeatable.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);

// Whether both paths name the same existing file (same device and inode), whatever their
// spelling: links, "./" and ".." parts, other folders.
bool sameFile(const std::string& a, const std::string& b);

// Creates one folder level (mode 0777 before the umask). An existing folder counts as success.
bool makeDirectory(const std::string& path);

// Path without its last "/" component ("a/b/c.xml" -> "a/b", "c.xml" -> "", "/x" -> "/").
std::string removeLastComponent(std::string_view path);

// Folder of the running program (from /proc/self/exe), or "" when it cannot be read.
std::string programDirectory();

struct DirectoryEntry {
  std::string name;  // the name inside its folder, not a path
  bool isDirectory = false;
};

// Entries of the folder part of `pattern` whose names match its last component, with "*" and
// "?" as the only wildcards ("[", "]" and "\\" match themselves; dot files included, "." and
// ".." never), sorted by name in byte order.
// A pattern whose folder cannot be read matches nothing.
std::vector<DirectoryEntry> findFiles(const std::string& pattern);

// Longest path the platform accepts (PATH_MAX less the terminator).
constexpr std::size_t kMaxPathLength = 4095;

}  // namespace platform
