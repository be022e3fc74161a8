// The writer of every file hydrochart makes: map pages, the index page and the code-label file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

// Text is collected in memory and handed to the file in large blocks. A failed write is kept
// and reported by close(), which also checks the close itself, so that a file that did not
// reach the disk whole is never reported as written. Writers end lines in "\n"; where text files
// end them in CR LF (Windows), each block is given those line ends as it is written.
class OutputFile {
 public:
  // Pending text is handed to the file once it reaches this size.
  static constexpr std::size_t kBlockSize = std::size_t{1} << 20;

  enum class Mode {
    // The file is created or truncated at once. A file left unfinished (its writer goes away
    // without close()) still gets every byte collected before.
    InPlace,
    // A regular file (or a new one) is written to a temporary file beside it and renamed over
    // it only when every byte arrived, so that a failure leaves the previous file as it was.
    // Something else in its place (a device, a FIFO) has no content to lose and is written in
    // place.
    Replace,
    // As InPlace, and lines end in "\n" on every platform (no CR LF line ends).
    InPlaceBinary,
    // As Replace, and lines end in "\n" on every platform.
    ReplaceBinary,
  };

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Opens `path`. False, with this writer unchanged, when the file cannot be created. A file
  // still open is finished first (as the destructor would).
  [[nodiscard]] bool open(const std::string& path, Mode mode = Mode::InPlace);
  bool isOpen() const { return file_ != nullptr; }

  // The text not yet handed to the file. Writers append to it and call flushIfLarge().
  std::string& pending() { return pending_; }
  void append(std::string_view text) {
    pending_.append(text);
    flushIfLarge();
  }
  void flushIfLarge() {
    if (pending_.size() >= kBlockSize) flush();
  }
  // Hands the pending text to the file (or drops it when no file is open or a write failed).
  // A writer kept in memory keeps it.
  void flush();

  // Finishes any open file (as the destructor would) and from now on collects all text in
  // pending() without a file, until the next open(). Used to draw parts of a page ahead of
  // writing them.
  void keepInMemory();

  // Writes the rest, closes the file and, for a replaced file, puts it in place. True when
  // every byte reached the file; false also when no file was open.
  [[nodiscard]] bool close();

 private:
  void finish();  // what the destructor does with a file still open

  std::FILE* file_ = nullptr;
  std::string pending_;
  bool crLf_ = false;     // "\n" in the text is written as CR LF
  std::string crLfText_;  // a block with CR LF line ends, while it is written
  bool failed_ = false;
  bool inMemory_ = false;
  std::string temporary_;  // the file written instead of target_; empty when writing in place
  std::string target_;
};
