// Network handles: TCP connections whose events arrive as messages of the
// network window, read and written on the main thread from those events,
// from message processing and from the public calls.
#include "network/network.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "core/handle.h"
#include "core/helpers.h"
#include "core/list.h"
#include "core/log.h"
#include "core/memory.h"
#include "network/ring_buffer.h"
#include "platform/timer.h"
#include "platform/window.h"

namespace {

constexpr int kNetWorkEvents = kSocketEventRead | kSocketEventWrite | kSocketEventClose;
constexpr uint32_t kCloseWaitMs = 1000;
constexpr int kLinePeekBytes = 255;
// Bytes one receive call takes in before it stops at the end of a message: a
// peer that never stops sending must not hold the caller (and the frame) forever.
constexpr int64_t kReceiveBudget = 1 << 20;
// The least room a receive makes for a message still arriving.
constexpr uint32_t kReceiveGrowth = 4096;

// Sockets below this number find their record at once when an event comes;
// others are looked for along the handle list.
constexpr int kIndexedSockets = 1 << 16;

constexpr int32_t kDeferRead = 1;
constexpr int32_t kDeferWrite = 2;

struct NetWorkRecord {
  int32_t used;
  int32_t error;  // the receive ring could not grow (or queued data was lost): refused from then on
  int32_t connected;
  int32_t stateRead;  // the caller has seen that the connection ended
  int32_t framed;
  int32_t autoClose;
  int32_t check;
  PlatformSocket socket;
  uint32_t expected;  // bytes still to come of the current message; 0: a length is next
  RingBuffer receive;
  uint32_t messageLength;
  int32_t complete;  // bytes of whole messages in the receive ring, not read yet
  RingBuffer send;
  int32_t blockLeft;   // bytes of the outgoing block not sent; its length while the prefix goes
  int32_t prefixLeft;  // bytes of the block's length prefix not sent
  uint8_t address[4];
  int32_t port;  // network byte order
  int32_t deferred;  // kDeferRead | kDeferWrite: events that came while a receive or send was under way
  ListNode node;
};

struct NetWorkState {
  HandleTable<NetWorkRecord, kNetWorkSlots> table;
  List handles;  // newest first
  int initialised;
  NetworkWindow* window;
  int unframedOption;
  int noAutoCloseOption;
  int windowDestroyed;
  // A nested call (from an event handled while pumping) must not interleave
  // with the outer one's ring indexes.
  int receiving;
  int sending;
  // Handles whose events the guards above turned away, each once, in arrival order.
  int deferred[kNetWorkSlots];
  int deferredCount;
  int taking[kNetWorkSlots];  // those being given their turn
  int takingDeferred;
  uint16_t slotOfSocket[kIndexedSockets];  // slot + 1 of the record holding the socket; 0 none
};

NetWorkState g_net;

const char kNotValidText[] = "有効なネットワークハンドルではありません in %s";
const char kInErrorText[] = "このネットワークハンドルにはエラーが発生しています in %s";

// The record of a valid handle that can be used; null otherwise (a record not
// in use or in error is logged under the caller's name).
NetWorkRecord* UsableRecord(int handle, const char* name, const char* errorName = nullptr) {
  NetWorkRecord* record = g_net.table.Get(handle);
  if (!record) return nullptr;
  if (!record->used) {
    LogPrintf(kNotValidText, name);
    return nullptr;
  }
  if (record->error) {
    LogPrintf(kInErrorText, errorName ? errorName : name);
    return nullptr;
  }
  return record;
}

class ReentryGuard {
 public:
  explicit ReentryGuard(int& flag) : flag_(flag) { flag_ = 1; }
  ~ReentryGuard() { flag_ = 0; }

 private:
  int& flag_;
};

int NetLogSocketError(const char* text) {
  LogSetNetError(SocketLastError());
  return NetLogPrintf("%s", text);
}

// A message's length as it goes on the wire: little-endian.
void LengthBytes(int32_t length, uint8_t bytes[4]) {
  for (int i = 0; i < 4; i++) bytes[i] = static_cast<uint8_t>(static_cast<uint32_t>(length) >> (8 * i));
}

uint32_t ElapsedMs(uint32_t start) { return (GetMilliCount() - start) & 0x7FFFFFFF; }

int FirstFreeConnectionSlot() {
  for (int slot = 0; slot < kNetWorkListenerSlot; slot++) {
    if (!g_net.table.records[slot]) return slot;
  }
  return -1;
}

// A new record in the slot under the next check number, linked as the newest.
// The check number is taken only once the caller keeps the record.
NetWorkRecord* NewRecord(int slot, int* handle) {
  auto* record = static_cast<NetWorkRecord*>(VN_ALLOC_ZEROED(sizeof(NetWorkRecord)));
  if (!record) return nullptr;
  record->used = 1;
  record->socket = kNoSocket;
  record->check = g_net.table.nextCheck;
  *handle = g_net.table.Store(slot, record, static_cast<uint16_t>(record->check));
  ListInsert(&g_net.handles, &record->node, *handle, record);
  return record;
}

void KeepRecord() { g_net.table.TakeCheck(); }

bool Indexed(PlatformSocket socket) { return socket >= 0 && socket < kIndexedSockets; }

void SetRecordSocket(NetWorkRecord* record, PlatformSocket socket) {
  record->socket = socket;
  if (Indexed(socket)) g_net.slotOfSocket[socket] = static_cast<uint16_t>((record->node.handle & 0xFFFF) + 1);
}

// The record of a socket, as a walk from the newest handle would find it.
NetWorkRecord* RecordOfSocket(uint64_t socket) {
  if (socket < kIndexedSockets) {
    int slot = g_net.slotOfSocket[socket] - 1;
    NetWorkRecord* r = slot >= 0 ? g_net.table.records[slot] : nullptr;
    return r && static_cast<uint64_t>(static_cast<int64_t>(r->socket)) == socket ? r : nullptr;
  }
  for (ListNode* node = ListFirst(&g_net.handles); !ListAtEnd(node); node = node->next) {
    auto* candidate = static_cast<NetWorkRecord*>(node->record);
    if (static_cast<uint64_t>(static_cast<int64_t>(candidate->socket)) == socket) return candidate;
  }
  return nullptr;
}

void FreeRecord(int handle, NetWorkRecord* record) {
  if (record->deferred) {
    int* end = std::remove(g_net.deferred, g_net.deferred + g_net.deferredCount, handle);
    g_net.deferredCount = static_cast<int>(end - g_net.deferred);
  }
  if (Indexed(record->socket)) g_net.slotOfSocket[record->socket] = 0;
  if (record->socket != kNoSocket) SocketClose(record->socket);
  FreeRingBuffer(&record->receive);
  FreeRingBuffer(&record->send);
  ListUnlink(&record->node);
  g_net.table.Remove(handle);
  MemFree(record);
}

// A message whose bytes the ring could not grow for: the handle is in error from now on.
int RefuseMessage(NetWorkRecord* r) {
  LogPrintf("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %u byte)", r->messageLength);
  r->error = 1;
  return -1;
}

}  // namespace

int ReceiveIntoRing(RingBuffer* ring, PlatformSocket socket, int32_t n) {
  WrapRingBufferIndexes(ring);
  // In 64 bits: a ring near 2 GiB puts write + n past the 32-bit range.
  if (static_cast<int64_t>(ring->write) + n <= ring->capacity) {
    int got = SocketRecv(socket, ring->data + ring->write, n, 0);
    if (got < 0) return -1;
    ring->write += got;
    return got;
  }
  int32_t first = ring->capacity - ring->write;
  int got = SocketRecv(socket, ring->data + ring->write, first, 0);
  if (got < 0) return -1;
  if (got < first) {
    ring->write += got;
    return got;
  }
  int second = SocketRecv(socket, ring->data, n - first, 0);
  if (second < 0) {
    ring->write = 0;
    return got;
  }
  ring->write = second;
  return got + second;
}

int SendFromRing(RingBuffer* ring, PlatformSocket socket, int32_t n) {
  WrapRingBufferIndexes(ring);
  if (static_cast<int64_t>(ring->read) + n <= ring->capacity) {
    int sent = SocketSend(socket, ring->data + ring->read, n);
    if (sent < 0) return -1;
    ring->read += sent;
    return sent;
  }
  int32_t first = ring->capacity - ring->read;
  int sent = SocketSend(socket, ring->data + ring->read, first);
  if (sent < 0) return -1;
  if (sent < first) {
    ring->read += sent;
    return sent;
  }
  int second = SocketSend(socket, ring->data, n - first);
  if (second < 0) {
    ring->read = 0;
    return sent;
  }
  ring->read = second;
  return sent + second;
}

namespace {

// The common start of the public reads: the record of a usable handle.
NetWorkRecord* RecordForRead(int handle, void* buffer, int length, const char* name) {
  PumpNetWorkMessages(0);
  if (!g_net.initialised || length < 0 || (!buffer && length > 0)) return nullptr;
  NetWorkRecord* record = UsableRecord(handle, name);
  if (!record || RecvSocket(handle) < 0) return nullptr;
  return record;
}

// An event for a handle while another one's receive or send is under way
// (from a pump inside it) waits for the pump's end instead of being lost:
// its socket would report nothing more until the handle is asked about.
void Defer(NetWorkRecord* r, int32_t what) {
  if (!r->deferred) g_net.deferred[g_net.deferredCount++] = r->node.handle;
  r->deferred |= what;
}

void RunDeferred() {
  if (g_net.receiving || g_net.sending || g_net.takingDeferred || g_net.deferredCount == 0) return;
  ReentryGuard guard(g_net.takingDeferred);
  // Taken as they stand: what these turn away waits for the next pump.
  int* handles = g_net.taking;
  int count = g_net.deferredCount;
  std::copy(g_net.deferred, g_net.deferred + count, handles);
  g_net.deferredCount = 0;
  for (int i = 0; i < count; i++) {
    NetWorkRecord* r = g_net.table.Get(handles[i]);
    if (!r) continue;
    int32_t what = std::exchange(r->deferred, 0);
    if (r->error) continue;  // takes no more data; the next pass closes it
    if (what & kDeferRead) RecvSocket(handles[i]);
    if (what & kDeferWrite) SendSocket(handles[i]);
  }
}

int NetWorkWindowProc(const WindowMessage& message) {
  switch (message.message) {
    case WM_SOCKET_EVENT:
      return static_cast<int>(DispatchSocketEvent(message.wParam, message.lParam));
    case WM_CLOSE:
      g_net.windowDestroyed = 1;
      return 0;
    default:
      return 0;
  }
}

}  // namespace

// ---- Moving data between the socket and the rings --------------------------

int RecvSocket(int handle) {
  if (g_net.receiving) return -1;
  ReentryGuard guard(g_net.receiving);
  PumpNetWorkMessages(0);
  NetWorkRecord* r = UsableRecord(handle, "RecvSocket");
  if (!r) return -1;
  if (!r->framed) return 0;
  for (int64_t taken = 0;;) {
    if (r->expected == 0) {
      uint8_t prefix[4];
      if (SocketRecv(r->socket, prefix, 4, kSocketPeek) < 4) break;
      if (SocketRecv(r->socket, prefix, 4, 0) < 4) break;
      r->expected = static_cast<uint32_t>(prefix[0]) | static_cast<uint32_t>(prefix[1]) << 8 |
                    static_cast<uint32_t>(prefix[2]) << 16 | static_cast<uint32_t>(prefix[3]) << 24;
      r->messageLength = r->expected;
      // A length no ring can hold is refused at once; any other claim takes
      // memory only as its bytes come, so a bare prefix costs next to nothing.
      if (!RingBufferCanHold(&r->receive, r->expected)) {
        ReserveRingBuffer(&r->receive, r->expected);  // fails, and logs the size no ring reaches
        return RefuseMessage(r);
      }
    }
    // Room for the next piece of the message, doubling the ring as it fills.
    int32_t asked = static_cast<int32_t>(std::min<uint32_t>(r->expected, kReceiveGrowth));
    if (ReserveRingBuffer(&r->receive, asked) != 0) return RefuseMessage(r);
    asked = static_cast<int32_t>(std::min<int64_t>(r->expected, r->receive.capacity - r->receive.held));
    int received = asked ? ReceiveIntoRing(&r->receive, r->socket, asked) : 0;
    if (received < 0) break;
    taken += received;
    r->receive.held += received;
    r->expected -= static_cast<uint32_t>(received);
    if (r->expected == 0) r->complete += static_cast<int32_t>(r->messageLength);
    // A message that filled the room may have more waiting; one that did not has taken all there was.
    bool drained = r->expected != 0 && received < asked;
    if (PumpNetWorkMessages(0) != 0 || received == 0 || drained || taken >= kReceiveBudget) break;
  }
  return 0;
}

int SendSocket(int handle) {
  if (g_net.sending) return -1;
  ReentryGuard guard(g_net.sending);
  PumpNetWorkMessages(0);
  NetWorkRecord* r = UsableRecord(handle, "SendSocket");
  if (!r) return -1;
  if (!r->framed) return 0;
  while (r->send.held > 0) {
    WrapRingBufferIndexes(&r->send);
    if (r->prefixLeft != 0) {
      uint8_t prefix[4];
      LengthBytes(r->blockLeft, prefix);
      int sent = SocketSend(r->socket, prefix + 4 - r->prefixLeft, r->prefixLeft);
      if (sent < 0) break;
      r->prefixLeft -= sent;
      if (r->prefixLeft != 0) break;
    } else if (r->blockLeft == 0) {
      r->blockLeft = r->send.held;
      uint8_t prefix[4];
      LengthBytes(r->blockLeft, prefix);
      int sent = SocketSend(r->socket, prefix, 4);
      if (sent < 0) {
        r->blockLeft = 0;
        break;
      }
      if (sent < 4) {
        r->prefixLeft = 4 - sent;
        break;
      }
    }
    int sent = SendFromRing(&r->send, r->socket, r->blockLeft);
    if (sent < 0) break;
    r->send.held -= sent;
    r->blockLeft -= sent;
    if (PumpNetWorkMessages(0) != 0 || sent == 0 || r->blockLeft != 0) break;
  }
  return 0;
}

// ---- Public functions ------------------------------------------------------

int NetWorkRecv(int handle, void* buffer, int length) {
  NetWorkRecord* r = RecordForRead(handle, buffer, length, "NetWorkRecv");
  if (!r) return -1;
  if (!r->framed) return SocketRecv(r->socket, buffer, length, 0);
  // Only whole messages are handed out: a message still arriving stays put.
  if (r->complete < length || ReadRingBuffer(&r->receive, buffer, length, 0) != 0) return -1;
  r->complete -= length;
  RecvSocket(handle);
  return 0;
}

int NetWorkRecvToPeek(int handle, void* buffer, int length) {
  NetWorkRecord* r = RecordForRead(handle, buffer, length, "NetWorkRecvToPeek");
  if (!r) return -1;
  if (!r->framed) return SocketRecv(r->socket, buffer, length, kSocketPeek);
  if (r->complete < length) return -1;
  return ReadRingBuffer(&r->receive, buffer, length, 1);
}

int NetWorkSend(int handle, const void* buffer, int length) {
  PumpNetWorkMessages(0);
  if (!g_net.initialised || length < 0 || (!buffer && length > 0)) return -1;
  NetWorkRecord* r = UsableRecord(handle, "NetWorkSend");
  if (!r || !r->connected) return -1;
  if (!r->framed) return SocketSend(r->socket, buffer, length);
  SendSocket(handle);
  if (AppendRingBuffer(&r->send, buffer, length) != 0) {
    LogPrintf("送信データ %d byte の追加に失敗しました in NewWorkSend", length);
    // The failed growth dropped what was queued: the stream cannot go on whole.
    r->error = 1;
    return -1;
  }
  SendSocket(handle);
  return 0;
}

int RecvNetWorkLine(int handle, char* dest, int* stuck) {
  char text[kLinePeekBytes + 1] = {};
  int n = NetWorkRecvToPeek(handle, text, kLinePeekBytes);
  if (stuck) *stuck = 0;
  if (n < 1 || !dest) return -1;
  text[n] = '\0';
  // The search steps over two-byte characters and stops at a zero byte, also
  // one where a character's second byte would be.
  char* end = const_cast<char*>(StrFindByte(text, '\n'));
  if (!end) {
    // No line feed can come within a line's reach: the look was full, or a
    // zero byte stops every search before the bytes looked at end.
    if (stuck) *stuck = n >= kLinePeekBytes || std::strlen(text) < static_cast<size_t>(n);
    return -1;
  }
  *end = '\0';
  StrCopy(dest, text);
  return NetWorkRecv(handle, text, static_cast<int>(end - text) + 1) < 0 ? -1 : 0;
}

int NetWorkRecvLine(int handle, char* dest) { return RecvNetWorkLine(handle, dest, nullptr); }

int GetNetWorkDataLength(int handle) {
  PumpNetWorkMessages(0);
  if (!g_net.initialised) return -1;
  RecvSocket(handle);
  SendSocket(handle);
  NetWorkRecord* r = UsableRecord(handle, "GetNetWorkDataLength");
  if (!r) return -1;
  if (r->framed) return r->complete;
  uint8_t byte;
  int n = SocketRecv(r->socket, &byte, 1, kSocketPeek);
  return n > 0 ? 1 : n;
}

int GetNetWorkAcceptState(int handle) {
  PumpNetWorkMessages(0);
  if (!g_net.initialised) return -1;
  NetWorkRecord* r = UsableRecord(handle, "GetNetWorkAcceptState", "GetNetWorkAcceptStateh");
  if (!r) return -1;
  if (r->connected) return 1;
  r->stateRead = 1;
  return 0;
}

int GetNetWorkPeerShut(int handle) {
  NetWorkRecord* r = g_net.initialised ? g_net.table.Get(handle) : nullptr;
  return r ? SocketPeerShut(r->socket) : -1;
}

int CloseNetWork(int handle) {
  PumpNetWorkMessages(0);
  if (!g_net.initialised) return -1;
  NetWorkRecord* r = g_net.table.Get(handle);
  if (!r || !r->used) return -1;
  // Finish a message being received and send what is queued, a little while
  // each; a handle in error can do neither, and an ended connection brings
  // no more of a message.
  uint32_t start = GetMilliCount();
  while (!r->error && r->connected && r->expected != 0 && ElapsedMs(start) < kCloseWaitMs) {
    if (PumpNetWorkMessages(0) != 0) break;
    RecvSocket(handle);
  }
  start = GetMilliCount();
  while (!r->error && r->send.held != 0 && ElapsedMs(start) < kCloseWaitMs) {
    if (PumpNetWorkMessages(0) != 0) break;
    SendSocket(handle);
  }
  SocketAsyncSelect(r->socket, g_net.window, 0, 0);
  FreeRecord(handle, r);
  return 0;
}

// ---- Connections and events ------------------------------------------------

int AcceptNetWork() {
  if (!g_net.initialised) return -1;
  PumpNetWorkMessages(0);
  NetWorkRecord* listener = g_net.table.records[kNetWorkListenerSlot];
  if (!listener) return -1;
  int slot = FirstFreeConnectionSlot();
  if (slot < 0) {
    LogWrite("空きソケットデータがなかったので accept を拒否しました \n");
    // Taken and closed, so the peer learns at once and the listener reports the next one.
    uint8_t address[4];
    PlatformSocket refused = SocketAccept(listener->socket, address, nullptr);
    if (refused != kNoSocket) SocketClose(refused);
    return -1;
  }
  int handle;
  NetWorkRecord* r = NewRecord(slot, &handle);
  if (!r) {
    LogWrite("ソケット用のメモリの確保に失敗しました\n");
    return -1;
  }
  r->connected = 1;
  r->framed = g_net.unframedOption == 0;
  r->autoClose = g_net.noAutoCloseOption == 0;
  SetRecordSocket(r, SocketAccept(listener->socket, r->address, &r->port));
  bool ok = r->socket != kNoSocket;
  if (!ok) {
    NetLogSocketError("acceptに失敗しました");
  } else if (SocketAsyncSelect(r->socket, g_net.window, WM_SOCKET_EVENT, kNetWorkEvents) != 0) {
    NetLogSocketError("WSAAsyncSelectのエラー in AcceptNetWork");
    ok = false;
  }
  if (!ok) {
    FreeRecord(handle, r);
    return -1;
  }
  KeepRecord();
  return 1;
}

int64_t DispatchSocketEvent(uint64_t wParam, int64_t lParam) {
  if (!g_net.initialised) return 0;
  NetWorkRecord* r = RecordOfSocket(wParam);
  if (!r) {
    LogWrite("通信エラー No.1\n");
    return 0;
  }
  int handle = r->node.handle;
  switch (lParam & 0xFFFF) {
    case kSocketEventRead:
      if (g_net.receiving) Defer(r, kDeferRead);
      else RecvSocket(handle);
      break;
    case kSocketEventWrite:
      if (g_net.sending) Defer(r, kDeferWrite);
      else SendSocket(handle);
      break;
    case kSocketEventAccept:
      return AcceptNetWork();
    case kSocketEventConnect:
      if (((lParam >> 16) & 0xFFFF) == 0) r->connected = 1;
      break;
    case kSocketEventClose:
      r->connected = 0;
      r->stateRead = 0;
      break;
    default:
      break;
  }
  return 1;
}

int PumpNetWorkMessages(int closeFinished) {
  if (!g_net.window || !g_net.initialised) return 0;
  if (closeFinished) {
    ListNode* node = ListFirst(&g_net.handles);
    while (!ListAtEnd(node)) {
      ListNode* next = node->next;
      auto* r = static_cast<NetWorkRecord*>(node->record);
      if (r->used && (r->error || (!r->connected && r->stateRead && r->autoClose))) CloseNetWork(node->handle);
      node = next;
    }
  }
  // One poll per pump: events re-armed while these are handled wait for the
  // next pump, so a peer that stops halfway cannot keep this loop going.
  NetworkWindowPoll(g_net.window);
  WindowMessage message;
  while (!g_net.windowDestroyed && NetworkWindowPeek(g_net.window, &message)) NetWorkWindowProc(message);
  RunDeferred();
  return 0;
}

int EndNetWork() {
  if (!g_net.initialised) return 0;
  LogWrite("ネットワーク関連の終了処理を行います \n");
  for (int slot = 0; slot < kNetWorkSlots; slot++) {
    if (g_net.table.records[slot]) CloseNetWork(g_net.table.HandleAt(slot));
  }
  if (g_net.window) {
    NetworkWindowPost(g_net.window, WM_CLOSE, 0, 0);
    while (!g_net.windowDestroyed) {
      if (PumpNetWorkMessages(0) <= 0) break;
    }
    NetworkWindowDestroy(g_net.window);
  }
  // In place: a cleared copy would take hundreds of kilobytes of stack.
  std::destroy_at(&g_net);
  std::construct_at(&g_net);
  LogWrite("ネットワーク関連の終了処理は完了しました\n");
  return 0;
}

// ---- Starting and connecting -----------------------------------------------

int StartNetWork() {
  if (g_net.initialised) return 0;
  g_net.table.type = HandleTypeNetWork;
  g_net.table.firstCheck = 0;
  g_net.table.nextCheck = 0;
  ListInit(&g_net.handles);
  g_net.window = NetworkWindowCreate();
  if (!g_net.window) return LogPrintf("ネットワークの開始に失敗しました");
  g_net.windowDestroyed = 0;
  g_net.initialised = 1;
  return 0;
}

namespace {

// A record in the slot for a socket of our own making, registered for the
// events; its handle, or -1 (logged, the socket closed).
int AddOwnSocket(int slot, PlatformSocket socket, int events, const char* caller, NetWorkRecord** out) {
  int handle;
  NetWorkRecord* r = NewRecord(slot, &handle);
  if (!r) {
    SocketClose(socket);
    return LogPrintf("ソケット用のメモリの確保に失敗しました");
  }
  SetRecordSocket(r, socket);
  if (SocketAsyncSelect(socket, g_net.window, WM_SOCKET_EVENT, events) != 0) {
    FreeRecord(handle, r);
    LogSetNetError(SocketLastError());
    return NetLogPrintf("WSAAsyncSelectのエラー in %s", caller);
  }
  KeepRecord();
  *out = r;
  return handle;
}

}  // namespace

int OpenNetWorkListener(const char* address, int port, int* boundPort) {
  if (!g_net.initialised || g_net.table.records[kNetWorkListenerSlot]) return -1;
  PlatformSocket socket = SocketListen(address, port);
  if (socket == kNoSocket) return NetLogSocketError("listenに失敗しました");
  NetWorkRecord* r;
  int handle = AddOwnSocket(kNetWorkListenerSlot, socket, kSocketEventAccept, "OpenNetWorkListener", &r);
  if (handle == -1) return -1;
  r->connected = 1;  // never framed and never closed by the pump: it only accepts
  if (boundPort) *boundPort = SocketLocalPort(socket);
  return handle;
}

int ConnectNetWork(const char* host, int port, int framed, int autoClose, int timeoutMs) {
  if (!g_net.initialised) return -1;
  int slot = FirstFreeConnectionSlot();
  if (slot < 0) return LogPrintf("空きソケットデータがなかったので接続を中止しました");
  PlatformSocket socket = SocketConnect(host, port);
  if (socket == kNoSocket) return NetLogSocketError("connectに失敗しました");
  NetWorkRecord* r;
  int handle = AddOwnSocket(slot, socket, kNetWorkEvents | kSocketEventConnect, "ConnectNetWork", &r);
  if (handle == -1) return -1;
  r->framed = framed ? 1 : 0;
  r->autoClose = autoClose ? 1 : 0;
  uint32_t start = GetMilliCount();
  for (;;) {
    PumpNetWorkMessages(0);
    int state = SocketConnectResult(socket);
    if (state == 0) {
      r->connected = 1;  // also when the connection was made at once, without an event
      return handle;
    }
    if (state < 0 || ElapsedMs(start) >= static_cast<uint32_t>(timeoutMs)) break;
    PlatformSleepMs(1);
  }
  NetLogSocketError("connectに失敗しました");
  CloseNetWork(handle);
  return -1;
}

int SetNetWorkUnframedOption(int flag) {
  g_net.unframedOption = flag ? 1 : 0;
  return 0;
}

int SetNetWorkNoAutoCloseOption(int flag) {
  g_net.noAutoCloseOption = flag ? 1 : 0;
  return 0;
}

int GetNetWorkHandleOfSlot(int slot) { return g_net.initialised ? g_net.table.HandleAt(slot) : -1; }
