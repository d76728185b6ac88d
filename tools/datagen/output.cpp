#include "tools/datagen/output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace datagen {

void WriteFileBytes(const std::string& path, const void* data, size_t size) {
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  if (error) throw std::runtime_error("cannot make the folder of " + path + ": " + error.message());
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
  const bool written = std::fwrite(data, 1, size, file) == size;
  // A full disk can show only when the buffered bytes go out at the close.
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
}

}  // namespace datagen
