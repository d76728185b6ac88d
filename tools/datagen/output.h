// Writing the generated files: every failure throws, so that the generator
// can drop the half-made tree and exit with an error.
#pragma once
#include <cstddef>
#include <string>

namespace datagen {

// The file's folders are made as needed. The path uses '/'.
void WriteFileBytes(const std::string& path, const void* data, size_t size);

}  // namespace datagen
