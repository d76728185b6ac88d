#include "tests/support/file_faults.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "file/file_access.h"
#include "file/file_path.h"

namespace {

// Far beyond what loading any test file takes.
constexpr long kCallBudget = 200000;

struct FaultState {
  FileFault fault;
  int k;
  int reads, seeks, tells;
  long calls;
  bool struck;
  std::map<FileAccessHandle, std::string> open;  // native paths
};
FaultState g_state;

const FileAccessTable& Plain() { return *GetPlainFileAccessTable(); }

void Count() {
  if (++g_state.calls <= kCallBudget) return;
  std::fprintf(stderr, "file fault %s at %d: the reader keeps calling the file layer\n",
               FileFaultName(g_state.fault).c_str(), g_state.k);
  std::abort();
}

// Whether this call, the n-th of its kind, is one the fault spoils.
bool Strikes(FileFault kind, int n, bool fromThenOn) {
  if (g_state.fault != kind || n < g_state.k || (!fromThenOn && n > g_state.k)) return false;
  g_state.struck = true;
  return true;
}

FileAccessHandle FaultOpen(const char* path, int cacheFlag, int blockReadFlag, int asyncFlag) {
  Count();
  FileAccessHandle handle = Plain().open(path, cacheFlag, blockReadFlag, asyncFlag);
  char native[4096];
  if (handle && ResolveNativePath(path, native, sizeof(native)) == 0) g_state.open[handle] = native;
  return handle;
}

int FaultClose(FileAccessHandle handle) {
  Count();
  g_state.open.erase(handle);
  return Plain().close(handle);
}

int64_t FaultTell(FileAccessHandle handle) {
  Count();
  if (Strikes(FileFault::TellFails, ++g_state.tells, true)) return -1;
  return Plain().tell(handle);
}

int FaultSeek(FileAccessHandle handle, int64_t offset, int origin) {
  Count();
  if (Strikes(FileFault::SeekFails, ++g_state.seeks, true)) return -1;
  return Plain().seek(handle, offset, origin);
}

size_t FaultRead(void* buffer, size_t size, size_t count, FileAccessHandle handle) {
  Count();
  const int n = ++g_state.reads;
  const size_t half = size * count / 2;
  if (Strikes(FileFault::ZeroReads, n, true)) return 0;
  if (Strikes(FileFault::ShortRead, n, false)) return size ? Plain().read(buffer, 1, half, handle) / size : 0;
  const bool emptied = Strikes(FileFault::Emptied, n, false);
  if (emptied || Strikes(FileFault::Truncate, n, false)) {
    auto file = g_state.open.find(handle);
    const int64_t position = Plain().tell(handle);
    const int64_t length = emptied ? 0 : position + static_cast<int64_t>(half);
    if (file == g_state.open.end() || position < 0 || truncate(file->second.c_str(), static_cast<off_t>(length)) != 0) {
      std::fprintf(stderr, "file fault: cannot cut the file\n");
      std::abort();
    }
  }
  return Plain().read(buffer, size, count, handle);
}

int FaultEof(FileAccessHandle handle) {
  Count();
  return Plain().eof(handle);
}

}  // namespace

std::string FileFaultName(FileFault fault) {
  switch (fault) {
    case FileFault::ShortRead: return "short read";
    case FileFault::ZeroReads: return "zero reads";
    case FileFault::SeekFails: return "seek fails";
    case FileFault::TellFails: return "tell fails";
    case FileFault::Truncate: return "truncate";
    case FileFault::Emptied: return "emptied";
  }
  return "?";
}

FileFaultScope::FileFaultScope(FileFault fault, int k) {
  g_state = FaultState{fault, k, 0, 0, 0, 0, false, {}};
  FileAccessTable table = Plain();
  table.open = FaultOpen;
  table.close = FaultClose;
  table.tell = FaultTell;
  table.seek = FaultSeek;
  table.read = FaultRead;
  table.eof = FaultEof;
  SetFileAccessTable(&table);
}

FileFaultScope::~FileFaultScope() { SetFileAccessTable(nullptr); }

bool FileFaultScope::Struck() const { return g_state.struck; }

int FileFaultScope::OpenFiles() const { return static_cast<int>(g_state.open.size()); }
