// File-system services of the W05 tools: existence tests, one-level folder creation, the
// program's own folder, and sorted wildcard searches so that every run is repeatable.
#pragma once

#include <cstdint>
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

// Outcome of reading a whole file.
enum class FileRead {
  Read,            // the content is complete
  NotFound,        // missing, a folder, unreadable, or a read error
  NotRegularFile,  // a device, pipe or socket: refused before anything is read
  TooLarge,        // larger than the limit given
};

// Reads the whole regular file at `path`, at most `maxBytes` of it, into `content`. Opening
// never waits (a pipe nobody writes to is refused, not read).
FileRead readWholeFile(const std::string& path, std::string& content,
                       std::uint64_t maxBytes = UINT64_MAX);

// `text` as a text-mode reader sees it: a CR directly before a LF is dropped.
std::string withLineFeeds(std::string_view text);

// The whole text file at `path` with CR LF read as LF (readWholeFile, then withLineFeeds);
// false when it cannot be read.
bool readTextFile(const std::string& path, std::string& text);

// Longest path the platform accepts (PATH_MAX less the terminator).
constexpr std::size_t kMaxPathLength = 4095;

}  // namespace platform
