#include "tests/support/scratch_dir.h"

#include <cstdlib>
#include <fstream>

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "varnok_test_XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  path_ = made ? std::filesystem::path(made) : std::filesystem::temp_directory_path();
  previous_ = std::filesystem::current_path();
  std::filesystem::current_path(path_);
}

ScratchDir::~ScratchDir() {
  std::filesystem::current_path(previous_);
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void ScratchDir::Write(const std::string& relative, std::string_view bytes) const {
  std::filesystem::path full = path_ / relative;
  std::filesystem::create_directories(full.parent_path());
  std::ofstream out(full, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
