// A fresh folder under the system's temporary folder, for tests that write files.
#pragma once

#include <filesystem>
#include <random>
#include <string>

// Creates a folder named `prefix` and random letters; the name is never one that existed.
inline std::string makeTemporaryFolder(const std::string& prefix) {
  static std::mt19937 random{std::random_device{}()};
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (;;) {
    std::string name = prefix;
    for (int i = 0; i < 8; ++i) name.push_back(static_cast<char>('a' + random() % 26));
    std::error_code error;
    if (std::filesystem::create_directory(base / name, error)) return (base / name).string();
    if (error) return base.string();
  }
}
