// The one temporary-folder helper of the unit tests: a fresh folder under the system's
// temporary folder (TMPDIR), removed with everything in it when the helper goes away.
//
// When the folder cannot be made, the constructor throws, so the test (or its fixture) fails
// at once. There is deliberately no fallback to a shared folder: the destructor removes its
// folder recursively, and a fallback such as "/tmp" would be emptied by it.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

class TempFolder {
 public:
  explicit TempFolder(std::string_view prefix = "w05test") {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) throw std::runtime_error("no temporary folder: " + error.message());
    // A name of the prefix and random letters; create_directory says whether it is new.
    static std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = std::string(prefix) + ".";
      for (int i = 0; i < 8; ++i) name.push_back(static_cast<char>('a' + random() % 26));
      if (std::filesystem::create_directory(base / name, error)) {
        path_ = (base / name).string();
        return;
      }
      if (error) {
        throw std::runtime_error("cannot make a temporary folder in " + base.string() + ": " +
                                 error.message());
      }
    }
    throw std::runtime_error("cannot make a temporary folder in " + base.string());
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }

  // Path of `name` inside the folder (nothing is created).
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

  // Writes `bytes` to `name` in the folder and returns its path.
  std::string write(std::string_view name, std::string_view bytes) const {
    const std::string target = file(name);
    std::ofstream out(target, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return target;
  }

 private:
  std::string path_;
};
