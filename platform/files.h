// File-system services of the W05 tools: existence tests, one-level folder creation, the
// program's own folder, and sorted wildcard searches so that every run is repeatable.
// Paths are in the platform's narrow encoding (bytes on POSIX systems, the ANSI code page on
// Windows), except for the functions marked UTF-8, which fetchunpack uses for its Unicode paths.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

bool pathExists(const std::string& path);
bool isDirectory(const std::string& path);

// What names an existing file whatever the spelling of its path (links, "./" and ".." parts,
// other folders): device and inode on POSIX systems, volume and file index on Windows.
// `exists` is false when the path names nothing.
struct FileIdentity {
  bool exists = false;
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  bool operator==(const FileIdentity&) const = default;
};
FileIdentity fileIdentity(const std::string& path);


// Creates one folder level (mode 0777 before the umask). An existing folder counts as success.
bool makeDirectory(const std::string& path);

// The separator of composed paths: "/" on POSIX systems, "\\" on Windows.
extern const char kPathSeparator;

// Whether text files end their lines in CR LF (Windows) rather than in LF alone. Writers of
// text files open them in binary mode and form these line ends themselves: the Windows C
// runtime's text-mode translation writes the file in pieces of 2 KB, which costs many times more.
extern const bool kCrLfLineEnds;

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

// The folder where a program in `programFolder` keeps its data files when installed: on POSIX
// systems `share/NAME` beside that folder, as the file-system hierarchy has it ("/usr/bin" ->
// "/usr/share/NAME"); "" on Windows, where they stay in the program's own folder, and for an
// empty `programFolder`.
std::string programDataDirectory(std::string_view programFolder, std::string_view name);

struct DirectoryEntry {
  std::string name;  // the name inside its folder, not a path
  bool isDirectory = false;
};

// Entries of the folder part of `pattern` whose names match its last component, with "*" and
// "?" as the only wildcards ("[", "]" and "\\" match themselves; dot files included, "." and
// ".." never), sorted by name in byte order.
// A pattern whose folder cannot be read matches nothing.
std::vector<DirectoryEntry> findFiles(const std::string& pattern);

// Files named by UTF-8 paths: one folder level, as makeDirectory, and a file opened as by
// std::fopen.
bool makeDirectoryUtf8(const std::string& path);
bool pathExistsUtf8(const std::string& path);
std::FILE* openFileUtf8(const std::string& path, const char* mode);

// A file written so that it replaces `path` whole. `file` is open for writing in binary mode
// (its writer forms the line ends, see kCrLfLineEnds), or null when nothing could be created. When
// `temporaryPath` is not empty, `file` is a new file beside `target` (the file that `path` names,
// through a symbolic link too), put in its place by replaceFile once complete; the permissions are
// those of the file it replaces, or of a new file. When it is empty, `path` is not a regular file
// (a device, a FIFO): it has no content to lose and is written in place.
struct ReplacementFile {
  std::FILE* file = nullptr;
  std::string temporaryPath;
  std::string target;
};
ReplacementFile openReplacementFile(const std::string& path);

// Renames `from` over `to`, replacing a file of that name.
bool replaceFile(const std::string& from, const std::string& to);
void removeFile(const std::string& path);

// Outcome of reading a whole file.
enum class FileRead {
  Read,            // the content is complete
  NotFound,        // missing, a folder, unreadable, or a read error
  NotRegularFile,  // a device, pipe or socket: refused before anything is read
  TooLarge,        // larger than the limit given
};

// Reads the whole regular file at `path`, at most `maxBytes` of it, into `content`. Opening
// never waits (a pipe nobody writes to is refused, not read). The file grows no longer while it
// is read: one that grows past the limit is too large as well.
FileRead readWholeFile(const std::string& path, std::string& content,
                       std::uint64_t maxBytes = UINT64_MAX);
// The same for a UTF-8 path.
FileRead readWholeFileUtf8(const std::string& path, std::string& content,
                           std::uint64_t maxBytes = UINT64_MAX);

// Reads the first `maxBytes` bytes of the regular file at `path` (all of a shorter one) into
// `content`; false when it cannot be read or is not a regular file. Opening never waits.
bool readFileStart(const std::string& path, std::string& content, std::size_t maxBytes);

// `text` as a text-mode reader sees it: a CR directly before a LF is dropped.
std::string withLineFeeds(std::string_view text);

// The whole text file at `path` with CR LF read as LF (readWholeFile, then withLineFeeds);
// false when it cannot be read.
bool readTextFile(const std::string& path, std::string& text);

// Longest path the platform accepts (PATH_MAX less the terminator).
constexpr std::size_t kMaxPathLength = 4095;

}  // namespace platform
