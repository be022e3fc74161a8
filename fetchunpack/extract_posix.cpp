// The parts of extraction that differ between platforms: opening an archive by its path, the
// locale's case mapping, and file times.
#include <fcntl.h>
#include <langinfo.h>
#include <strings.h>
#include <sys/stat.h>

#include "fetchunpack/extract.h"

namespace fetchunpack {

zip_t* openArchive(const std::string& path, int flags, int& error) {
  error = ZIP_ER_OK;
  zip_t* archive = zip_open(path.c_str(), flags, &error);
  if (!archive && error == ZIP_ER_OK) error = ZIP_ER_INTERNAL;
  return archive;
}

bool localeIsUtf8() {
  const char* codeset = nl_langinfo(CODESET);
  return codeset && (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0);
}

// Linux has no settable creation time: access and modification time.
bool setFileTimes(const std::string& path, std::time_t unixTime) {
  const timespec times[2] = {{unixTime, 0}, {unixTime, 0}};
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace fetchunpack
