// Extracting one named member of a downloaded zip archive into the archive's folder.
#pragma once

#include <zip.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace fetchunpack {

// Opens the archive at `path` with libzip's `flags`; on failure returns nullptr and stores the
// libzip error code in `error`.
zip_t* openArchive(const std::string& path, int flags, int& error);

// A raw entry name as UTF-8 text: read as UTF-8 when detectCodePage says so, otherwise as
// CP932. Bytes that do not convert become U+FFFD.
std::string decodeEntryName(std::string_view raw);

// Whether two names are equal without regard to case: ASCII letters always, other characters
// through towlower when `unicodeFolding` (a UTF-8 locale) is on.
bool memberNamesMatch(std::string_view a, std::string_view b, bool unicodeFolding);

// Whether the locale's wide case mapping applies beyond ASCII: under a UTF-8 locale on POSIX
// systems, always on Windows.
bool localeIsUtf8();

// An entry name that would write outside the archive's folder: absolute or with a ".."
// component.
bool isUnsafeEntryName(std::string_view name);

// Whether every folder and file name of an entry name is one this system holds as a plain file
// (platform::isPlainFileName): on Windows no forbidden character and no device name.
bool isPlainEntryName(std::string_view name);

// Sets the access and modification times of `path`; false when the file cannot be reached.
// The whole range of archive entry times (1980 to 2107) is kept, beyond 2038 included.
bool setFileTimes(const std::string& path, std::time_t unixTime);

// Opens the file at `path` as a zip archive, its directory checked against the entries' own
// headers. Returns 0 for an archive, otherwise a libzip error code, with the reason, naming
// `shownPath`, in `cause`. The code is the one that extractMember reports for a file that it
// cannot open, or ZIP_ER_INCONS for one that opens only without the check.
int checkArchive(const std::string& path, const std::string& shownPath, std::string& cause);

// Extracts the first entry whose name matches `memberName` (without regard to case) into the
// archive's folder under the entry's own name, creating the folders it lies in, and gives it
// the entry's modification time. The file appears whole or not at all. Returns 0 when the
// archive was opened (whether or not an entry matched), otherwise a libzip error code; `cause`
// then says what went wrong.
int extractMember(const std::string& archivePath, const std::string& memberName,
                  std::string& cause);

}  // namespace fetchunpack
