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
//
// A writer is closed (at first and after close()), open on a file (open()), or in memory
// (openInMemory()), where it keeps all its text until it is appended to another writer. Text
// written to a closed writer has nowhere to go: flush() and close() report it as a failure,
// and the text is kept until the next open.
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
  // Finishes any open file (as the destructor would) and collects the text that follows in
  // memory, without a file, until it is appended to another writer. Used to draw parts of a
  // page ahead of writing them. `expectedBytes` is room made for the text at once.
  void openInMemory(std::size_t expectedBytes = 0);
  bool isOpen() const { return file_ != nullptr; }  // open on a file
  bool inMemory() const { return inMemory_; }

  // The text not yet handed to the file: all the text of a writer in memory.
  const std::string& pending() const { return pending_; }

  void append(std::string_view text) {
    pending_.append(text);
    flushIfLarge();
  }
  // Appends all the text of `other` (a writer in memory), which is left empty. Text already
  // collected here goes to the file first, so that the other's text is handed on as it is
  // rather than copied.
  void append(OutputFile&& other);
  // Text that writers format in place: `write` is called with the pending text, to which it
  // only appends; large text is then handed to the file. Writers of many small pieces (map
  // pages hold millions) use it to format straight into the block that is written.
  template <typename Write>
  void appendFormatted(Write&& write) {
    write(pending_);
    flushIfLarge();
  }

  void flushIfLarge() {
    if (pending_.size() >= kBlockSize) static_cast<void>(flush());
  }
  // Hands the pending text to the file. A writer in memory keeps it. False when text could not
  // be handed on: a write failed (the text is dropped, and close() fails too), or the writer
  // is closed (the text stays pending).
  [[nodiscard]] bool flush();

  // Writes the rest, closes the file and, for a replaced file, puts it in place. True when
  // every byte reached the file; false when no file was open (text written after that stays
  // pending; a writer in memory keeps its text).
  [[nodiscard]] bool close();

 private:
  void finish();  // what the destructor does with a file still open
  void writeBlock(std::string_view text);

  std::FILE* file_ = nullptr;
  std::string pending_;
  bool crLf_ = false;     // "\n" in the text is written as CR LF
  std::string crLfText_;  // a block with CR LF line ends, while it is written
  bool failed_ = false;
  bool inMemory_ = false;
  std::string temporary_;  // the file written instead of target_; empty when writing in place
  std::string target_;
};
