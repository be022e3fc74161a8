// File-system services of the W05 tools: existence tests, one-level folder creation, the
// program's own folder, and sorted wildcard searches so that every run is repeatable.
// Paths are in the platform's narrow encoding (bytes on POSIX systems, the ANSI code page on
// Windows), except for the functions marked UTF-8, which fetchunpack uses for its Unicode paths.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);

// Creates one folder level (mode 0777 before the umask). An existing folder counts as success.
bool makeDirectory(const std::string& path);

// The separator of composed paths: "/" on POSIX systems, "\\" on Windows.
extern const char kPathSeparator;

// Whether `c` separates path components: "/" on POSIX systems; "/" and "\\" on Windows.
bool isPathSeparator(char c);

// Whether the path holds a kPathSeparator (on Windows, not as the second byte of a double-byte
// character).
bool hasPathSeparator(std::string_view path);

// Path without its last kPathSeparator component ("a/b/c.xml" -> "a/b", "c.xml" -> "",
// "/x" -> "/").
std::string removeLastComponent(std::string_view path);

// The same for a UTF-8 path.
std::string removeLastComponentUtf8(std::string_view path);

// A path that names a place of its own rather than one below the current folder: it starts
// with a separator (or, on Windows, holds a drive or stream colon).
bool isRootedPath(std::string_view path);

// Folder of the running program, or "" when it cannot be read.
std::string programDirectory();

struct DirectoryEntry {
  std::string name;  // the name inside its folder, not a path
  bool isDirectory = false;
};

// Entries of the folder part of `pattern` whose names match its last component, with "*" and
// "?" as wildcards (dot files included, "." and ".." never), sorted by name in byte order.
// A pattern whose folder cannot be read matches nothing.
std::vector<DirectoryEntry> findFiles(const std::string& pattern);

// Files named by UTF-8 paths: one folder level, as makeDirectory, and a file opened as by
// std::fopen.
bool makeDirectoryUtf8(const std::string& path);
std::FILE* openFileUtf8(const std::string& path, const char* mode);

// Longest path the platform accepts (PATH_MAX less the terminator).
constexpr std::size_t kMaxPathLength = 4095;

}  // namespace platform
