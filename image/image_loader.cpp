#include "image/image_loader.h"

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "file/file_access.h"
#include "image/image_api.h"

namespace {

constexpr ImageLoader kLoaders[] = {
    {"PNG", IsPngData, LoadPngImage},
    {"JPEG", IsJpegData, LoadJpegImage},
    {nullptr, nullptr, nullptr},
};

}  // namespace

const ImageLoader* GetImageLoaders() { return kLoaders; }

int AllocateLoadedImage(GraphImage* image, int64_t width, int64_t height, bool alpha) {
  std::memset(image, 0, sizeof(*image));
  if (width <= 0 || height <= 0 || width > kMaxLoadedImageSide || height > kMaxLoadedImageSide ||
      static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4 > kMaxLoadedImageBytes) {
    LogPrintf("画像のサイズが大きすぎるか不正です (%lld x %lld)", static_cast<long long>(width),
              static_cast<long long>(height));
    return -1;
  }
  if (CreateGraphImage(static_cast<int32_t>(width), static_cast<int32_t>(height), image) != 0) {
    LogPrintf("画像を読み込むためのメモリの確保に失敗しました");
    return -1;
  }
  if (alpha) SetupColorFormat(&image->format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
  return 0;
}

namespace {

// The loader that takes the data by its first bytes, or null; the stream
// stands at its start.
const ImageLoader* LoaderOfStream(const StreamAccess& stream) {
  uint8_t head[16] = {};
  const size_t length = StreamRead(stream, head, 1, sizeof(head));
  for (const ImageLoader* loader = kLoaders; loader->name; loader++) {
    if (loader->matches(head, length)) return loader;
  }
  return nullptr;
}

}  // namespace

int LoadGraphImageFromStream(const StreamAccess& stream, GraphImage* image) {
  if (!image) return -1;
  std::memset(image, 0, sizeof(*image));
  if (StreamSeek(stream, 0, 0) != 0) return LogPrintf("画像データの読み込みに失敗しました");
  const ImageLoader* loader = LoaderOfStream(stream);
  if (!loader) return LogPrintf("対応していない画像形式です");
  if (StreamSeek(stream, 0, 0) != 0) return LogPrintf("画像データの読み込みに失敗しました");
  if (loader->load(stream, image) != 0) {
    ReleaseGraphImage(image);
    return -1;
  }
  return 0;
}

bool ImageLoaderTakesFile(const char* path) {
  const FileAccessHandle file = path ? FileAccessOpen(path, 0, 1, 0) : 0;
  if (!file) return false;
  const bool taken = LoaderOfStream(FileStreamAccess(file)) != nullptr;
  FileAccessClose(file);
  return taken;
}

int LoadGraphImageFromFile(const char* path, GraphImage* image) {
  if (!image) return -1;
  std::memset(image, 0, sizeof(*image));
  FileAccessHandle file = FileAccessOpen(path, 0, 1, 0);
  if (!file) return LogPrintf("画像ファイルのオープンに失敗しました：%s", path ? path : "(null)");
  int result = LoadGraphImageFromStream(FileStreamAccess(file), image);
  FileAccessClose(file);
  if (result != 0) LogPrintf("画像ファイルの読み込みに失敗しました：%s", path);
  return result;
}

int LoadGraphImageFromMemory(const void* data, size_t size, GraphImage* image) {
  if (!image) return -1;
  std::memset(image, 0, sizeof(*image));
  MemoryStream* memory = OpenMemoryStream(data, size);
  if (!memory) return LogPrintf("メモリ上の画像の読み込みに失敗しました");
  int result = LoadGraphImageFromStream(MemoryStreamAccess(memory), image);
  MemoryStreamClose(reinterpret_cast<StreamHandle>(memory));
  return result;
}
