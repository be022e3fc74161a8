#include "platform/files.h"

// windows.h first: the other Windows headers build on it.
#include <windows.h>

#include <shlwapi.h>

#include <algorithm>

namespace platform {

namespace {

std::wstring wideOfUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(units, 0)), L'\0');
  if (units > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), units);
  return wide;
}

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

bool isPathSeparator(char c) { return c == '/' || c == '\\'; }

bool hasPathSeparator(std::string_view path) {
  return lastSeparator(path, false) != std::string_view::npos;
}

bool isRootedPath(std::string_view path) {
  return path.starts_with('/') || path.starts_with('\\') ||
         path.find(':') != std::string_view::npos;
}

bool pathExists(const std::string& path) { return PathFileExistsA(path.c_str()) != FALSE; }

bool isDirectory(const std::string& path) { return PathIsDirectoryA(path.c_str()) != FALSE; }

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

std::FILE* openFileUtf8(const std::string& path, const char* mode) {
  return _wfopen(wideOfUtf8(path).c_str(), wideOfUtf8(mode).c_str());
}

}  // namespace platform
