#include "core/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/files.h"
#include "platform/timer.h"

namespace {

std::recursive_mutex g_logLock;
PlatformFileHandle g_logFile = 0;
int g_logEnabled = 1;
int g_indent = 0;
bool g_atLineStart = true;
uint32_t g_startMs = 0;
int g_netError = 0;

// One write's bytes, gathered so that the file sees few writes.
class LogOutput {
 public:
  ~LogOutput() { Flush(); }
  void Put(const char* text, size_t length) {
    for (size_t i = 0; i < length; i++) {
      if (used_ == sizeof(bytes_)) Flush();
      bytes_[used_++] = text[i];
    }
  }
  void Flush() {
    if (used_) PlatformFileWrite(g_logFile, bytes_, used_);
    used_ = 0;
  }

 private:
  char bytes_[1024];
  size_t used_ = 0;
};

void WriteLinePrefix(LogOutput& out) {
  char prefix[16];
  const int length = std::snprintf(prefix, sizeof(prefix), "%u:", PlatformMilliseconds() - g_startMs);
  out.Put(prefix, static_cast<size_t>(length));
  for (int i = 0; i < g_indent; i++) out.Put("\t", 1);
}

}  // namespace

int LogOpen(const char* path) {
  std::lock_guard<std::recursive_mutex> guard(g_logLock);
  if (g_logFile) return 0;
  g_startMs = PlatformMilliseconds();
  g_indent = 0;
  g_atLineStart = true;
  if (!g_logEnabled) return 0;
  // Only a regular file is replaced; a directory, a link or a pipe of that
  // name is left alone and the library runs without a log.
  g_logFile = PlatformFileCreateFresh(path);
  return g_logFile ? 0 : -1;
}

void LogClose() {
  std::lock_guard<std::recursive_mutex> guard(g_logLock);
  PlatformFileClose(g_logFile);
  g_logFile = 0;
}

int LogIsEnabled() { return g_logEnabled; }

int EnableLogFile(int flag) {
  g_logEnabled = flag ? 1 : 0;
  return 0;
}

int LogWrite(const char* text) {
  std::lock_guard<std::recursive_mutex> guard(g_logLock);
  if (!g_logFile || !text) return -1;
  LogOutput out;
  for (const char* p = text; *p; p++) {
    if (g_atLineStart) {
      WriteLinePrefix(out);
      g_atLineStart = false;
    }
    if (*p == '\r' && p[1] == '\n') continue;  // the '\n' writes the pair
    if (*p == '\n') {
      out.Put("\r\n", 2);
      g_atLineStart = true;
    } else {
      out.Put(p, 1);
    }
  }
  return -1;
}

int LogPrintf(const char* format, ...) {
  char text[2048];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(text, sizeof(text) - 1, format, args);
  va_end(args);
  if (n < 0) return -1;
  size_t length = std::strlen(text);  // the text may have been cut; the line feed always fits
  text[length] = '\n';
  text[length + 1] = '\0';
  return LogWrite(text);
}

void LogSetNetError(int code) { g_netError = code; }

int NetLogPrintf(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  return LogPrintf("ネットワークログ。%s[%d]", text, g_netError);
}

int LogIndentIn() {
  std::lock_guard<std::recursive_mutex> guard(g_logLock);
  g_indent++;
  return 0;
}

int LogIndentOut() {
  std::lock_guard<std::recursive_mutex> guard(g_logLock);
  if (g_indent > 0) g_indent--;
  return 0;
}
