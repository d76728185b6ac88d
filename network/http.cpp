// HTTP/1.0 GET, POST and HEAD transfers. Each pass of message processing
// advances every transfer by one step that never waits: a step that finds
// nothing to read returns and the next pass tries again.
#include "network/http.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/helpers.h"
#include "core/log.h"
#include "core/memory.h"
#include "file/file_path.h"
#include "network/network.h"

namespace {

constexpr int kGetRequestBytes = 512;
constexpr int kOtherRequestBytes = 256;
constexpr int kBodyPieceBytes = 4096;
// Body bytes one step takes at most, so that a server that keeps sending
// cannot hold the pass (the framed receive has the same bound).
constexpr int kBodyStepBytes = 1 << 20;
constexpr int kLineBytes = 256;
constexpr char kContentLength[] = "Content-Length:";
constexpr size_t kContentLengthBytes = sizeof(kContentLength) - 1;

struct HttpTable {
  HttpTransferRecord* records[kHttpSlots];
  int count;
};

HttpTable g_http;

HttpTransferRecord* Transfer(int slot) {
  return slot >= 0 && slot < kHttpSlots ? g_http.records[slot] : nullptr;
}

// The request text; its length, or -1 when it does not fit its buffer.
int FormatRequest(const HttpTransferRecord* t, char (&buffer)[kGetRequestBytes]) {
  int n = -1;
  int size = kOtherRequestBytes;
  switch (t->method) {
    case HttpMethodGet:
      size = kGetRequestBytes;
      n = std::snprintf(buffer, static_cast<size_t>(size), "GET %s HTTP/1.0\r\nHost: %s:%d\r\nConnection: close\r\n\r\n",
                        t->path, t->host, t->port);
      break;
    case HttpMethodPost:
      n = std::snprintf(buffer, static_cast<size_t>(size), "POST %s HTTP/1.0\nHost: %s:%d\nContent-Length: %d\n\n",
                        t->path, t->host, t->port, t->postLength);
      break;
    case HttpMethodHead:
      n = std::snprintf(buffer, static_cast<size_t>(size), "HEAD %s HTTP/1.0\n\n", t->path);
      break;
    default:
      break;
  }
  return n >= 0 && n < size ? n : -1;
}

// Sends what is left of the request and, for a POST, its data; true once
// everything has gone, so that no reply is read before the server has it all.
bool SendRequest(HttpTransferRecord* t) {
  char request[kGetRequestBytes];
  int length = FormatRequest(t, request);
  if (length < 0) return false;
  int total = length + (t->method == HttpMethodPost ? t->postLength : 0);
  while (t->requestSent < total) {
    const char* piece = t->requestSent < length
                            ? request + t->requestSent
                            : reinterpret_cast<const char*>(t->postData) + (t->requestSent - length);
    int size = (t->requestSent < length ? length : total) - t->requestSent;
    int sent = NetWorkSend(t->networkHandle, piece, size);
    if (sent <= 0) return false;
    t->requestSent += sent;
  }
  return true;
}

enum class Line { Ready, Later, Ended };

// One reply line into line. A line that cannot be read ends the transfer:
// one longer than a line may be (or cut by a zero byte) as an unreadable
// reply, one the server closed before finishing as a lost connection.
Line ReadReplyLine(int slot, HttpTransferRecord* t, char (&line)[kLineBytes]) {
  // Asked first: once the peer has closed, all it sent before is here.
  int shut = GetNetWorkPeerShut(t->networkHandle);
  int stuck = 0;
  if (RecvNetWorkLine(t->networkHandle, line, &stuck) == 0) return Line::Ready;
  if (stuck) {
    LogPrintf("HTTP の応答の行が長すぎるか壊れています");
    EndHttpTransfer(slot, 2, 0);
    return Line::Ended;
  }
  if (shut == 1) {
    EndHttpTransfer(slot, 2, 3);
    return Line::Ended;
  }
  return Line::Later;
}

bool IsContentLengthLine(const char (&line)[kLineBytes]) {
  return MemDiffersN(line, kContentLength, kContentLengthBytes) == 0;
}

int ContentLengthOf(const char (&line)[kLineBytes]) {
  int value = ParseIntAfterBlank(line);
  return value < 0 ? -1 : value;
}

// The status line: true for 200; any other status ends the transfer.
bool StatusIsOk(int slot, const char (&line)[kLineBytes], bool logFailure) {
  int status = ParseIntAfterBlank(line);
  if (status == 200) return true;
  if (logFailure) LogPrintf("接続に失敗しました (戻り値:%d)", status);
  EndHttpTransfer(slot, 2, status == 404 ? 1 : 0);
  return false;
}

// A header of a GET or POST reply; a Content-Length gives a memory
// destination its block.
void TakeHeader(int slot, HttpTransferRecord* t, const char (&line)[kLineBytes]) {
  if (!IsContentLengthLine(line)) return;
  t->contentLength = ContentLengthOf(line);
  if (t->destination != HttpToMemory || t->contentLength < 0) return;
  MemFree(t->block);  // a repeated header replaces the block
  t->block = VN_ALLOC(static_cast<size_t>(t->contentLength));
  *t->bufferPointer = t->block;
  if (!t->block) EndHttpTransfer(slot, 2, 2);
}

// Reads body bytes until none wait, the body is complete or the step has
// taken its share; the next step goes on.
void ReadBody(int slot, HttpTransferRecord* t, bool onePieceWhenUnknown) {
  static char piece[kBodyPieceBytes];
  // Without a length a memory destination has no block to read into.
  if (t->destination == HttpToMemory && t->contentLength < 0) {
    EndHttpTransfer(slot, 2, 3);
    return;
  }
  for (int taken = 0;;) {
    int n;
    if (t->destination == HttpToFile) {
      int want = kBodyPieceBytes;
      // Bytes beyond the announced length are not the body's.
      if (t->contentLength >= 0 && t->contentLength - t->received < want) {
        want = static_cast<int>(t->contentLength - t->received);
      }
      n = NetWorkRecv(t->networkHandle, piece, want);
      if (n < 0) return;
      if (n > 0 && PlatformFileWrite(t->file, piece, static_cast<size_t>(n)) != n) {
        LogPrintf("受信したデータのファイルへの書き込みに失敗しました");
        EndHttpTransfer(slot, 2, 2);
        return;
      }
    } else {
      int want = static_cast<int>(std::min<int64_t>(t->contentLength - t->received, kBodyStepBytes - taken));
      n = NetWorkRecv(t->networkHandle, static_cast<char*>(t->block) + t->received, want);
      if (n < 0) return;
    }
    t->received += n;
    taken += n;
    int connected = GetNetWorkAcceptState(t->networkHandle);
    int waiting = GetNetWorkDataLength(t->networkHandle);
    bool finished = t->contentLength >= 0 ? t->received >= t->contentLength : connected == 0 && waiting == 0;
    if (finished) {
      t->step = 4;
      EndHttpTransfer(slot, 0, -1);
      return;
    }
    if (n == 0 || (onePieceWhenUnknown && t->contentLength < 0) || taken >= kBodyStepBytes) return;
  }
}

// Steps 0 and 1 of every method: the request, then the status line. True
// once step 2 is reached, which then runs in the same call.
bool RunRequestAndStatus(int slot, HttpTransferRecord* t, bool logFailure) {
  if (t->step == 0) {
    if (!SendRequest(t)) return false;
    t->step = 1;
  }
  if (t->step == 1) {
    char line[kLineBytes] = {};
    if (ReadReplyLine(slot, t, line) != Line::Ready || !StatusIsOk(slot, line, logFailure)) return false;
    t->step = 2;
  }
  return true;
}

// GET and POST: request, status line, one header line per call, body.
int RunRequestStep(int slot, bool post) {
  HttpTransferRecord* t = Transfer(slot);
  if (!t) return -1;
  if (!RunRequestAndStatus(slot, t, !post)) return 0;
  char line[kLineBytes] = {};
  switch (t->step) {
    case 2:
      if (ReadReplyLine(slot, t, line) != Line::Ready) return 0;
      if (StrFindByte(line, ':')) {
        TakeHeader(slot, t, line);
        return 0;
      }
      t->step = 3;
      [[fallthrough]];
    case 3:
      ReadBody(slot, t, post);
      return 0;
    case 4:
      EndHttpTransfer(slot, 0, -1);
      return 0;
    default:
      return 0;
  }
}

}  // namespace

void ClearHttpTable() { g_http = HttpTable{}; }

int RunHttpGetStep(int slot) { return RunRequestStep(slot, false); }
int RunHttpPostStep(int slot) { return RunRequestStep(slot, true); }

int RunHttpHeadStep(int slot) {
  HttpTransferRecord* t = Transfer(slot);
  if (!t) return -1;
  if (!RunRequestAndStatus(slot, t, false)) return 0;
  char line[kLineBytes] = {};
  switch (t->step) {
    case 2:
      // Only the length is wanted; other lines, the empty one too, are passed over.
      if (ReadReplyLine(slot, t, line) != Line::Ready || !IsContentLengthLine(line)) return 0;
      t->contentLength = ContentLengthOf(line);
      t->step = 3;
      [[fallthrough]];
    case 3:
      EndHttpTransfer(slot, 0, -1);
      return 0;
    default:
      return 0;
  }
}

int RunHttpTransferStep(int slot) {
  HttpTransferRecord* t = Transfer(slot);
  if (!t) return -1;
  if (t->endState != -1) return 0;
  int connected = GetNetWorkAcceptState(t->networkHandle);
  int waiting = GetNetWorkDataLength(t->networkHandle);
  if (connected == -1) return EndHttpTransfer(slot, 2, 3);  // the handle is gone
  if (connected == 0 && waiting <= 0) {
    // A body of unknown length ends with the connection: that is its end.
    bool bodyToEnd = t->method != HttpMethodHead && t->step == 3 && t->contentLength < 0 &&
                     t->destination == HttpToFile;
    return bodyToEnd ? EndHttpTransfer(slot, 0, -1) : EndHttpTransfer(slot, 2, 3);
  }
  switch (t->method) {
    case HttpMethodGet:
      return RunHttpGetStep(slot);
    case HttpMethodPost:
      return RunHttpPostStep(slot);
    case HttpMethodHead:
      return RunHttpHeadStep(slot);
    default:
      return 0;
  }
}

int PumpAllHttpTransfers() {
  for (int slot = 0, seen = 0; slot < kHttpSlots && seen < g_http.count; slot++) {
    if (!g_http.records[slot]) continue;
    seen++;
    RunHttpTransferStep(slot);
  }
  return 0;
}

int EndHttpTransfer(int slot, int endState, int result) {
  HttpTransferRecord* t = Transfer(slot);
  if (!t) return -1;
  if (t->networkHandle != -1) CloseNetWork(t->networkHandle);
  t->networkHandle = -1;
  MemFree(t->postData);
  t->postData = nullptr;
  if (t->file) PlatformFileClose(t->file);
  t->file = 0;
  if (t->endState == -1) t->endState = endState;
  if (t->result == -1) t->result = result;
  // The block is the caller's once finished; a failed transfer takes it back,
  // once, and never touches the caller's pointer again.
  if (t->block && t->endState != 0) {
    MemFree(t->block);
    *t->bufferPointer = nullptr;
  }
  t->block = nullptr;
  t->bufferPointer = nullptr;
  return 0;
}

int DeleteHttpHandle(int slot) {
  HttpTransferRecord* t = Transfer(slot);
  if (!t) return -1;
  EndHttpTransfer(slot, 0, -1);
  MemFree(t);
  g_http.records[slot] = nullptr;
  g_http.count--;
  return 0;
}

int DeleteAllHttpHandles() {
  for (int slot = 0, deleted = 0, count = g_http.count; slot < kHttpSlots && deleted < count; slot++) {
    if (DeleteHttpHandle(slot) == 0) deleted++;
  }
  return 0;
}

int CreateHttpTransfer(int method, const char* host, int port, const char* path, const char* filePath,
                       void** bufferPointer, const void* postData, int postLength, int timeoutMs) {
  if (method < HttpMethodGet || method > HttpMethodHead || !host || !path || port < 0 || port > 0xFFFF) return -1;
  if (std::strlen(host) >= sizeof(HttpTransferRecord::host) || std::strlen(path) >= sizeof(HttpTransferRecord::path)) {
    return -1;
  }
  bool post = method == HttpMethodPost;
  if (post && (postLength < 0 || (!postData && postLength > 0))) return -1;
  if (method != HttpMethodHead && !filePath && !bufferPointer) return -1;
  int slot = 0;
  while (slot < kHttpSlots && g_http.records[slot]) slot++;
  if (slot == kHttpSlots) return -1;

  auto* t = static_cast<HttpTransferRecord*>(VN_ALLOC_ZEROED(sizeof(HttpTransferRecord)));
  if (!t) return -1;
  t->method = method;
  t->endState = -1;
  t->result = -1;
  t->networkHandle = -1;
  t->contentLength = -1;
  t->port = port;
  StrCopy(t->host, host);
  StrCopy(t->path, path);
  t->postLength = post ? postLength : 0;
  char request[kGetRequestBytes];
  int requestLength = FormatRequest(t, request);
  bool ok = requestLength >= 0 && static_cast<int64_t>(requestLength) + t->postLength <= INT32_MAX;
  if (ok && post) {
    t->postData = static_cast<uint8_t*>(VN_ALLOC(static_cast<size_t>(postLength)));
    ok = t->postData != nullptr;
    if (ok) MemCopy(t->postData, postData, static_cast<size_t>(postLength));
  }
  if (ok && method != HttpMethodHead) {
    if (filePath) {
      char native[4096];
      t->destination = HttpToFile;
      t->file = ResolveNativePath(filePath, native, sizeof(native)) == 0 ? PlatformFileCreate(native) : 0;
      ok = t->file != 0;
    } else {
      t->destination = HttpToMemory;
      t->bufferPointer = bufferPointer;
      *bufferPointer = nullptr;
    }
  }
  if (ok) {
    t->networkHandle = ConnectNetWork(host, port, 0, 0, timeoutMs);
    ok = t->networkHandle != -1;
  }
  g_http.records[slot] = t;
  g_http.count++;
  if (!ok) {
    DeleteHttpHandle(slot);
    return -1;
  }
  return slot;
}

const HttpTransferRecord* GetHttpTransfer(int slot) { return Transfer(slot); }
