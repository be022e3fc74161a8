#include "platform/files.h"

// windows.h first: the other Windows headers build on it.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/filenames.h"
#include "platform/widetext_win32.h"

namespace platform {

namespace {

// Position of the last separator of an ANSI path, skipping the second bytes of double-byte
// characters (a "\\" byte there belongs to the character, as in "ソ").
std::size_t lastSeparator(std::string_view path, bool slashToo) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (c == '\\' || (slashToo && c == '/')) {
      found = i;
    } else if (IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < path.size()) {
      ++i;
    }
  }
  return found;
}

// The folder part before `separator`; a root ("\\", "C:\\") keeps its separator.
std::string folderBefore(std::string_view path, std::size_t separator) {
  if (separator == std::string_view::npos) return {};
  if (separator == 0 || (separator == 2 && path[1] == ':')) {
    return std::string(path.substr(0, separator + 1));
  }
  return std::string(path.substr(0, separator));
}

}  // namespace

const char kPathSeparator = '\\';

const bool kCrLfLineEnds = true;
const bool kWindowsFileNameRules = true;

bool isPathSeparator(char c) { return c == '/' || c == '\\'; }

bool hasPathSeparator(std::string_view path) {
  return lastSeparator(path, false) != std::string_view::npos;
}

bool isRootedPath(std::string_view path) {
  return path.starts_with('/') || path.starts_with('\\') ||
         path.find(':') != std::string_view::npos;
}

namespace {

// The attributes of `path`, or INVALID_FILE_ATTRIBUTES. This answers what PathFileExistsA and
// PathIsDirectoryA do without loading shlwapi for it; like them, a drive without its medium
// gives no message box.
DWORD attributesOf(const std::string& path) {
  DWORD previous = 0;
  const BOOL quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous);
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (quiet) SetThreadErrorMode(previous, nullptr);
  return attributes;
}

}  // namespace

bool pathExists(const std::string& path) { return attributesOf(path) != INVALID_FILE_ATTRIBUTES; }

bool isDirectory(const std::string& path) {
  const DWORD attributes = attributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

FileIdentity fileIdentity(const std::string& path) {
  const HANDLE handle =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(handle, &info) != FALSE;
  CloseHandle(handle);
  if (!known) return {};
  return {true, info.dwVolumeSerialNumber,
          (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

bool makeDirectory(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS && isDirectory(path);
}

// As PathRemoveFileSpecA: only "\\" separates.
std::string removeLastComponent(std::string_view path) {
  return folderBefore(path, lastSeparator(path, false));
}

std::string removeLastComponentUtf8(std::string_view path) {
  const std::size_t separator = path.find_last_of("\\/");
  return folderBefore(path, separator);
}

std::string programDirectory() {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    if (buffer.size() > kMaxPathLength) return {};
    buffer.resize(buffer.size() * 2);
  }
  return removeLastComponent(buffer);
}

std::vector<DirectoryEntry> findFiles(const std::string& pattern) {
  std::vector<DirectoryEntry> found;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    const std::string_view name = data.cFileName;
    if (name == "." || name == "..") continue;
    found.push_back({std::string(name), (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileA(search, &data));
  FindClose(search);
  // The directory's own order differs between file systems; name order is the same everywhere.
  std::sort(found.begin(), found.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
  return found;
}

bool makeDirectoryUtf8(const std::string& path) {
  if (CreateDirectoryW(wideOfUtf8(path).c_str(), nullptr)) return true;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  const DWORD attributes = GetFileAttributesW(wideOfUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool pathExistsUtf8(const std::string& path) {
  return GetFileAttributesW(wideOfUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::FILE* openFileUtf8(const std::string& path, const char* mode) {
  return _wfopen(wideOfUtf8(path).c_str(), wideOfUtf8(mode).c_str());
}

namespace {

// Reads the open file `fd` whole, as readWholeFile says, and closes it.
FileRead readOpenFile(int fd, std::string& content, std::uint64_t limit) {
  content.clear();
  if (fd < 0) return FileRead::NotFound;
  struct _stat64 info;
  FileRead outcome = FileRead::Read;
  if (_fstat64(fd, &info) != 0 || (info.st_mode & _S_IFMT) == _S_IFDIR) {
    outcome = FileRead::NotFound;
  } else if ((info.st_mode & _S_IFMT) != _S_IFREG) {
    outcome = FileRead::NotRegularFile;  // a device such as NUL or CON
  } else if (static_cast<std::uint64_t>(info.st_size) > limit) {
    outcome = FileRead::TooLarge;
  }
  char buffer[65536];
  while (outcome == FileRead::Read) {
    const int n = _read(fd, buffer, sizeof buffer);
    if (n < 0) outcome = FileRead::NotFound;
    if (n <= 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
    if (content.size() > limit) outcome = FileRead::TooLarge;
  }
  _close(fd);
  return outcome;
}

}  // namespace

FileRead readWholeFile(const std::string& path, std::string& content, std::uint64_t limit) {
  return readOpenFile(_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT), content, limit);
}

std::string programDataDirectory(std::string_view, std::string_view) { return {}; }

bool readFileStart(const std::string& path, std::string& content, std::size_t maxBytes) {
  content.clear();
  const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) return false;
  struct _stat64 info;
  bool read = _fstat64(fd, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
  content.resize(read ? maxBytes : 0);
  std::size_t size = 0;
  while (read && size < maxBytes) {
    const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(maxBytes - size, 1 << 20));
    const int n = _read(fd, content.data() + size, piece);
    if (n < 0) read = false;
    if (n <= 0) break;
    size += static_cast<std::size_t>(n);
  }
  _close(fd);
  content.resize(read ? size : 0);
  return read;
}

FileRead readWholeFileUtf8(const std::string& path, std::string& content, std::uint64_t limit) {
  return readOpenFile(_wopen(wideOfUtf8(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT),
                      content, limit);
}

ReplacementFile openReplacementFile(const std::string& path) {
  ReplacementFile replacement;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  struct _stat64 status {};
  if (exists && _stat64(path.c_str(), &status) == 0 && (status.st_mode & _S_IFMT) != _S_IFREG) {
    replacement.file = std::fopen(path.c_str(), "wb");
    return replacement;
  }
  const std::size_t separator = lastSeparator(path, true);
  const std::string folder = folderBefore(path, separator);
  const std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
  const std::string prefix = (folder.empty() ? std::string(".") : folder) +
                             (folder.ends_with('\\') ? "" : "\\") + "." + name + "-";
  // A name of the process id and a counter, created only when no file has it yet.
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const unsigned n = (GetCurrentProcessId() << 12) ^ (GetTickCount() + counter++);
    const std::string candidate = prefix + std::to_string(n);
    const int fd =
        _open(candidate.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
              _S_IREAD | _S_IWRITE);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return replacement;
    }
    replacement.file = _fdopen(fd, "wb");
    if (replacement.file == nullptr) {
      _close(fd);
      std::remove(candidate.c_str());
      return replacement;
    }
    replacement.temporaryPath = candidate;
    replacement.target = path;
    return replacement;
  }
  return replacement;
}

bool replaceFile(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

void removeFile(const std::string& path) { std::remove(path.c_str()); }

}  // namespace platform
