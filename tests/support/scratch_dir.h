// A scratch directory per test, made the current directory while it lives.
#pragma once
#include <filesystem>
#include <string>
#include <string_view>

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::filesystem::path& path() const { return path_; }
  // Writes bytes to a file (relative to the directory), making its parents.
  void Write(const std::string& relative, std::string_view bytes) const;

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};
