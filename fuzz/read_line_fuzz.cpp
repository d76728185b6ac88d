// libFuzzer target: ReadFileLine over a file held in memory, checked against
// its contract on every call. The first bytes pick the buffer size and,
// sometimes, a file table that misbehaves (short reads, reads that stop,
// failing seeks); the rest is the file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/helpers.h"
#include "file/file_access.h"

namespace {

constexpr FileAccessHandle kFile = kFileAccessHandleTag | 1;

struct MemoryFile {
  const uint8_t* data;
  int64_t size;
  int64_t position;
  uint8_t faults;  // bit 0 short reads, bit 1 reads stop after a few, bit 2 seeks fail
  int reads;
};
MemoryFile g_file;

FileAccessHandle Open(const char*, int, int, int) { return kFile; }
int Close(FileAccessHandle) { return 0; }
int64_t Tell(FileAccessHandle h) { return h == kFile ? g_file.position : -1; }
int Eof(FileAccessHandle h) { return h == kFile ? g_file.position >= g_file.size : -1; }

int Seek(FileAccessHandle h, int64_t offset, int origin) {
  if (h != kFile || origin != 0 || (g_file.faults & 4)) return -1;
  g_file.position = offset < 0 ? 0 : (offset > g_file.size ? g_file.size : offset);
  return 0;
}

size_t Read(void* buffer, size_t size, size_t count, FileAccessHandle h) {
  if (h != kFile || size != 1) return 0;
  if ((g_file.faults & 2) && ++g_file.reads > 3) return 0;
  size_t n = count;
  if (static_cast<int64_t>(n) > g_file.size - g_file.position) n = static_cast<size_t>(g_file.size - g_file.position);
  if ((g_file.faults & 1) && n > 1) n /= 2;
  std::memcpy(buffer, g_file.data + g_file.position, n);
  g_file.position += static_cast<int64_t>(n);
  return n;
}

[[noreturn]] void Broken(const char* what, int64_t start, int size, int result) {
  std::fprintf(stderr, "ReadFileLine broke its contract: %s (start %lld, size %d, result %d)\n", what,
               static_cast<long long>(start), size, result);
  std::abort();
}

// One call, checked: what it returns, what it wrote, where it left the file.
int CheckedLine(int size) {
  static char buffer[300];
  std::memset(buffer, 0x5A, sizeof(buffer));
  const int64_t start = g_file.position;
  const int result = ReadFileLine(buffer, size, kFile);
  const int64_t next = g_file.position;
  if (result < 0) {
    for (char c : buffer) {
      if (c != 0x5A) Broken("the buffer changed on -1", start, size, result);
    }
    return result;
  }
  if (result > size - 1) Broken("longer than the buffer", start, size, result);
  if (buffer[result] != 0 || static_cast<int>(std::strlen(buffer)) != result) {
    Broken("the length is not the string's", start, size, result);
  }
  if (std::memcmp(buffer, g_file.data + start, static_cast<size_t>(result)) != 0) {
    Broken("the line is not the file's bytes", start, size, result);
  }
  if (next <= start || next > g_file.size) Broken("the position did not move on", start, size, result);
  if (g_file.faults) return result;

  // With a file that behaves, the position tells how the line ended.
  const uint8_t* line = g_file.data + start;
  const int64_t taken = next - start;
  if (taken == result + 1 && line[result] != 0) Broken("stepped over a byte that is no NUL", start, size, result);
  if (taken == result + 2 && (line[result] != '\r' || line[result + 1] != '\n')) {
    Broken("stepped over two bytes that are no CR LF", start, size, result);
  }
  if (taken != result && taken != result + 1 && taken != result + 2) Broken("moved too far", start, size, result);
  // No line end inside the line, character by character.
  for (int i = 0; i < result;) {
    if (IsMultiByteLeadByte(line[i]) && i + 1 < result) {
      i += 2;
      continue;
    }
    if (line[i] == '\r' && i + 1 < result && line[i + 1] == '\n') Broken("a CR LF inside the line", start, size, result);
    i++;
  }
  // A line cut short of the buffer ended at a line end or at the file's end,
  // or left the lead byte read last for the next line.
  if (taken == result && result < size - 1 && next < g_file.size &&
      !(result == size - 2 && IsMultiByteLeadByte(line[result]))) {
    Broken("stopped early", start, size, result);
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static bool installed = false;
  if (!installed) {
    FileAccessTable table = *GetPlainFileAccessTable();
    table.open = Open;
    table.close = Close;
    table.tell = Tell;
    table.seek = Seek;
    table.read = Read;
    table.eof = Eof;
    SetFileAccessTable(&table);
    installed = true;
  }
  const int bufferSize = data[0] % 40 == 0 ? data[0] + 45 : data[0] % 40;  // mostly short lines
  g_file = {data + 2, static_cast<int64_t>(size - 2), 0, static_cast<uint8_t>(data[1] >> 5), 0};
  // Every call that succeeds moves on by at least one byte.
  for (int64_t calls = 0; CheckedLine(bufferSize) >= 0; calls++) {
    if (calls > g_file.size) Broken("more lines than bytes", g_file.position, bufferSize, 0);
  }
  if (!g_file.faults && g_file.position != g_file.size && bufferSize >= 2) {
    Broken("ended before the file did", g_file.position, bufferSize, -1);
  }
  return 0;
}
