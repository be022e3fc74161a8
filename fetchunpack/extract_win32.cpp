// The parts of extraction that differ between platforms: opening an archive by its path, the
// locale's case mapping, and file times.
#include <windows.h>

#include "fetchunpack/extract.h"
#include "platform/widetext_win32.h"

namespace fetchunpack {

namespace {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kUnixEpochInFileTime = 116444736000000000;

}  // namespace

// libzip's open-by-name sequence with its wide-path file source, so that every name opens.
zip_t* openArchive(const std::string& path, int flags, int& error) {
  zip_error_t zipError;
  zip_error_init(&zipError);
  const std::wstring widePath = platform::wideOfUtf8(path);
  zip_source_t* source = zip_source_win32w_create(widePath.c_str(), 0, -1, &zipError);
  if (!source) {
    error = zip_error_code_zip(&zipError);
    zip_error_fini(&zipError);
    return nullptr;
  }
  zip_t* archive = zip_open_from_source(source, flags, &zipError);
  if (!archive) {
    zip_source_free(source);
    error = zip_error_code_zip(&zipError);
    if (error == ZIP_ER_OK) error = ZIP_ER_INTERNAL;
    zip_error_fini(&zipError);
    return nullptr;
  }
  zip_error_fini(&zipError);
  error = ZIP_ER_OK;
  return archive;
}

// The C runtime's wide case mapping covers every character the locale knows.
bool localeIsUtf8() { return true; }

// Creation, last-access and last-write time, all three the entry's time.
bool setFileTimes(const std::string& path, std::time_t unixTime) {
  const std::int64_t value = static_cast<std::int64_t>(unixTime) * 10000000 + kUnixEpochInFileTime;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(value) & 0xFFFFFFFFu);
  time.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(value) >> 32);
  // FILE_FLAG_BACKUP_SEMANTICS lets a folder entry's folder take its time too.
  HANDLE file = CreateFileW(platform::wideOfUtf8(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool set = SetFileTime(file, &time, &time, &time) != 0;
  CloseHandle(file);
  return set;
}

}  // namespace fetchunpack
