#include "fetchunpack/extract.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <vector>

#include "fetchunpack/codepage.h"
#include "platform/atomicfile.h"
#include "platform/filenames.h"
#include "platform/files.h"
#include "platform/textconv.h"
#include "platform/utf8.h"

namespace fetchunpack {

namespace {

// Entries are copied in pieces of this size, so memory stays small whatever the entry's size.
constexpr std::size_t kCopyPiece = 1024 * 1024;

// A code point for a well-formed UTF-8 sequence; a byte that starts none stands for itself,
// marked so that it never equals a real character.
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
  constexpr char32_t kStrayByte = 0x80000000;
  const platform::Utf8Sequence sequence = platform::decodeUtf8(text, i);
  if (!sequence.wellFormed) {
    ++i;
    return kStrayByte | static_cast<unsigned char>(text[i - 1]);
  }
  i += sequence.length;
  return sequence.point;
}

char32_t asciiLower(char32_t c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

std::string zipErrorText(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

// Creates the folders between the archive's folder and an entry's file, one level at a time.
void createEntryFolders(const std::string& folder, std::string_view name) {
  for (std::size_t slash = 1; slash < name.size(); ++slash) {
    if (!platform::isPathSeparator(name[slash])) continue;
    const std::string_view part = name.substr(0, slash);
    platform::makeDirectoryUtf8(
        folder.empty() ? std::string(part) : folder + platform::kPathSeparator + std::string(part));
  }
}

struct ArchiveHandle {
  zip_t* archive;
  ~ArchiveHandle() { zip_discard(archive); }
};

struct EntryHandle {
  zip_file_t* file;
  ~EntryHandle() {
    if (file) zip_fclose(file);
  }
};

// Writes the data of file entry `index` to `outputPath`, whole or not at all; its size must be
// the one the archive's directory gives. Returns 0 or a libzip error code, with the reason in
// `cause`.
int writeFileEntry(zip_t* archive, zip_uint64_t index, const zip_stat_t& stat,
                   const std::string& name, const std::string& archivePath,
                   const std::string& outputPath, std::string& cause) {
  EntryHandle entry{zip_fopen_index(archive, index, 0)};
  if (!entry.file) {
    cause = archivePath + ": " + name + ": " + zip_strerror(archive);
    return zip_error_code_zip(zip_get_error(archive));
  }
  platform::AtomicFile output;
  if (!output.create(outputPath, cause)) return ZIP_ER_OPEN;
  std::vector<char> piece(kCopyPiece);
  zip_uint64_t total = 0;
  for (;;) {
    const zip_int64_t n = zip_fread(entry.file, piece.data(), piece.size());
    if (n < 0) {
      cause = archivePath + ": " + name + ": " + zip_file_strerror(entry.file);
      return zip_error_code_zip(zip_file_get_error(entry.file));
    }
    if (n == 0) break;
    if (!output.write(piece.data(), static_cast<std::size_t>(n), cause)) return ZIP_ER_WRITE;
    total += static_cast<zip_uint64_t>(n);
  }
  if ((stat.valid & ZIP_STAT_SIZE) && total != stat.size) {
    cause = archivePath + ": " + name + ": the entry's data is shorter than its size";
    return ZIP_ER_INCONS;
  }
  const int closed = zip_fclose(entry.file);
  entry.file = nullptr;
  if (closed != 0) {
    cause = archivePath + ": " + name + ": " + zipErrorText(closed);
    return closed;
  }
  if (!output.close(cause)) return ZIP_ER_WRITE;
  if (!output.commit(cause)) return ZIP_ER_OPEN;
  return 0;
}

int writeEntry(zip_t* archive, zip_uint64_t index, const std::string& name,
               const std::string& archivePath, std::string& cause) {
  if (isUnsafeEntryName(name)) {
    cause = archivePath + ": entry " + name + " would be written outside the archive's folder";
    return ZIP_ER_INVAL;
  }
  if (!isPlainEntryName(name)) {
    cause = archivePath + ": entry " + name + " names no plain file on this system";
    return ZIP_ER_INVAL;
  }
  const std::string folder = platform::removeLastComponentUtf8(archivePath);
  const std::string outputPath = folder.empty() ? name : folder + platform::kPathSeparator + name;
  if (outputPath.size() > platform::kMaxPathLength) {
    cause = outputPath + ": path too long";
    return ZIP_ER_OPEN;
  }
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive, index, 0, &stat) != 0) {
    cause = archivePath + ": " + zip_strerror(archive);
    return zip_error_code_zip(zip_get_error(archive));
  }
  const std::time_t time = stat.mtime;
  createEntryFolders(folder, name);
  if (name.back() == '/') {
    // A folder entry: the folder is all there is to write.
    if (!platform::makeDirectoryUtf8(outputPath)) {
      cause = outputPath + ": cannot create the folder";
      return ZIP_ER_OPEN;
    }
    setFileTimes(outputPath, time);
    return 0;
  }

  const int written = writeFileEntry(archive, index, stat, name, archivePath, outputPath, cause);
  if (written != 0) return written;
  setFileTimes(outputPath, time);
  return 0;
}

}  // namespace

std::string decodeEntryName(std::string_view raw) {
  const int codePage = detectCodePage(raw) == kCodePageUtf8 ? kCodePageUtf8 : kCodePageShiftJis;
  return platform::decodeToUtf8(raw, codePage);
}

bool memberNamesMatch(std::string_view a, std::string_view b, bool unicodeFolding) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const char32_t ca = nextCodePoint(a, i);
    const char32_t cb = nextCodePoint(b, j);
    if (ca == cb) continue;
    if (asciiLower(ca) == asciiLower(cb)) continue;
    // Only characters that wint_t holds whole (all but the astral ones where it has 16 bits).
    if (unicodeFolding && ca <= 0x10FFFF && cb <= 0x10FFFF && ca <= WCHAR_MAX && cb <= WCHAR_MAX &&
        std::towlower(static_cast<std::wint_t>(ca)) ==
            std::towlower(static_cast<std::wint_t>(cb))) {
      continue;
    }
    return false;
  }
  return i == a.size() && j == b.size();
}

namespace {

// Whether `test` holds for any of the components of `name` between its separators.
template <typename Test>
bool anyComponent(std::string_view name, Test test) {
  for (std::size_t start = 0; start <= name.size();) {
    const auto slash = std::find_if(name.begin() + static_cast<std::ptrdiff_t>(start), name.end(),
                                    platform::isPathSeparator) -
                       name.begin();
    const auto end = static_cast<std::size_t>(slash);
    if (test(name.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

bool isUnsafeEntryName(std::string_view name) {
  if (platform::isRootedPath(name)) return true;
  return anyComponent(name, [](std::string_view part) { return part == ".."; });
}

bool isPlainEntryName(std::string_view name) {
  return !anyComponent(name, [](std::string_view part) {
    return !part.empty() && !platform::isPlainFileName(part);
  });
}

int checkArchive(const std::string& path, const std::string& shownPath, std::string& cause) {
  int error = ZIP_ER_OK;
  if (zip_t* checked = openArchive(path, ZIP_RDONLY | ZIP_CHECKCONS, error)) {
    zip_discard(checked);
    return 0;
  }
  const int checkedError = error;
  if (zip_t* opened = openArchive(path, ZIP_RDONLY, error)) {
    zip_discard(opened);
    error = checkedError;
  }
  cause = shownPath + ": " + zipErrorText(error);
  return error;
}

int extractMember(const std::string& archivePath, const std::string& memberName,
                  std::string& cause) {
  int error = ZIP_ER_OK;
  zip_t* opened = openArchive(archivePath, ZIP_RDONLY, error);
  if (!opened) {
    cause = archivePath + ": " + zipErrorText(error);
    return error;
  }
  ArchiveHandle archive{opened};
  if (memberName.empty()) return 0;
  const bool unicodeFolding = localeIsUtf8();
  const zip_int64_t count = zip_get_num_entries(archive.archive, 0);
  for (zip_int64_t index = 0; index < count; ++index) {
    const auto entryIndex = static_cast<zip_uint64_t>(index);
    const char* raw = zip_get_name(archive.archive, entryIndex, ZIP_FL_ENC_RAW);
    if (!raw) continue;
    const std::string name = decodeEntryName(raw);
    if (name.empty() || !memberNamesMatch(name, memberName, unicodeFolding)) continue;
    return writeEntry(archive.archive, entryIndex, name, archivePath, cause);
  }
  return 0;
}

}  // namespace fetchunpack
