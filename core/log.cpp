#include "core/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/timer.h"

namespace {

std::recursive_mutex g_logLock;
FILE* g_logFile = nullptr;
int g_logEnabled = 1;
int g_indent = 0;
bool g_atLineStart = true;
uint32_t g_startMs = 0;
int g_netError = 0;

void WriteLinePrefix() {
  uint32_t elapsed = PlatformMilliseconds() - g_startMs;
  std::fprintf(g_logFile, "%u:", elapsed);
  for (int i = 0; i < g_indent; i++) std::fputc('\t', g_logFile);
}

}  // namespace

int LogOpen(const char* path) {
  std::lock_guard<std::recursive_mutex> guard(g_logLock);
  if (g_logFile) return 0;
  g_startMs = PlatformMilliseconds();
  g_indent = 0;
  g_atLineStart = true;
  if (!g_logEnabled) return 0;
  std::remove(path);
  g_logFile = std::fopen(path, "wb");
  return g_logFile ? 0 : -1;
}

void LogClose() {
  std::lock_guard<std::recursive_mutex> guard(g_logLock);
  if (g_logFile) std::fclose(g_logFile);
  g_logFile = nullptr;
}

int LogIsEnabled() { return g_logEnabled; }

int EnableLogFile(int flag) {
  g_logEnabled = flag ? 1 : 0;
  return 0;
}

int LogWrite(const char* text) {
  std::lock_guard<std::recursive_mutex> guard(g_logLock);
  if (!g_logFile || !text) return -1;
  for (const char* p = text; *p; p++) {
    if (g_atLineStart) {
      WriteLinePrefix();
      g_atLineStart = false;
    }
    if (*p == '\r' && p[1] == '\n') continue;  // the '\n' writes the pair
    if (*p == '\n') {
      std::fputs("\r\n", g_logFile);
      g_atLineStart = true;
    } else {
      std::fputc(*p, g_logFile);
    }
  }
  std::fflush(g_logFile);
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
