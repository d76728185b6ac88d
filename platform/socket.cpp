#include "platform/socket.h"

#include <algorithm>
#include <new>
#include <numeric>
#include <unordered_map>
#include <vector>

#include "platform/no_throw.h"

namespace {

// What the front keeps of each open socket to post its events by the rules.
struct SocketWatch {
  bool connecting = false;
  int connectError = 0;
  NetworkWindow* window = nullptr;
  uint32_t message = 0;
  int events = 0;
  bool readArmed = false;
  bool writeArmed = false;
  bool acceptArmed = false;
  bool closePosted = false;
  int wanted = 0;  // what the backend watches it for, following the above
};

SocketBackend* g_backend = nullptr;
std::unordered_map<PlatformSocket, SocketWatch> g_watches;
int g_lastError = 0;

SocketBackend* Backend() { return g_backend ? g_backend : PosixSocketBackend(); }

// A backend result: the value, or -1 with the error kept for SocketLastError.
int Result(int value) {
  if (value >= 0) return value;
  g_lastError = -value;
  return -1;
}

// Starts keeping a new socket's watch; a socket that cannot be kept is closed again.
PlatformSocket Keep(PlatformSocket socket, const SocketWatch& watch) {
  if (socket < 0) return socket;
  bool kept = PlatformNoThrow("ソケットの記録", false, [&] {
    g_watches[socket] = watch;
    return true;
  });
  if (kept) return socket;
  Backend()->Close(socket);
  return Result(-kSocketErrNoBuffers);
}

SocketWatch* Watch(PlatformSocket socket) {
  auto found = g_watches.find(socket);
  if (found != g_watches.end()) return &found->second;
  g_lastError = kSocketErrNotSocket;
  return nullptr;
}

// The conditions that could bring the socket's next event: those of its
// armed events, and failures until its close has been posted.
int Wanted(const SocketWatch& w) {
  if (!w.window || !w.events) return 0;
  if (w.events & kSocketEventAccept) return w.acceptArmed ? kWatchRead : kWatchFailure;
  if (w.closePosted) return 0;
  int wanted = kWatchFailure;
  if ((w.events & kSocketEventRead) ? w.readArmed : (w.events & kSocketEventClose) != 0) wanted |= kWatchRead;
  if (w.connecting || ((w.events & kSocketEventWrite) && w.writeArmed)) wanted |= kWatchWrite;
  return wanted;
}

// False (the error kept) when the backend could not watch the socket so; a
// change that failed is tried again at the next one.
bool Rewatch(PlatformSocket socket, SocketWatch& w) {
  int wanted = Wanted(w);
  if (wanted == w.wanted) return true;
  int result = Backend()->Watch(socket, wanted);
  if (result < 0) {
    g_lastError = -result;
    return false;
  }
  w.wanted = wanted;
  return true;
}

// Re-arming only adds what the backend does not watch yet. A condition that
// an event just used stays watched until a poll finds the socket with nothing
// to post (Rewatch there): a socket read or written message after message
// then costs no watch change per message.
void Widen(PlatformSocket socket, SocketWatch& w) {
  if (Wanted(w) & ~w.wanted) Rewatch(socket, w);
}

void DropWaitingMessages(NetworkWindow* window, PlatformSocket socket) {
  // A closed socket's number comes back with the next one opened, so its
  // stale events must not reach the new one.
  std::erase_if(window->queue, [&](const WindowMessage& m) {
    return m.message != WM_CLOSE && static_cast<PlatformSocket>(m.wParam) == socket;
  });
}

void Unregister(PlatformSocket socket, SocketWatch* watch) {
  if (watch->window) DropWaitingMessages(watch->window, socket);
  watch->window = nullptr;
  watch->events = 0;
  Rewatch(socket, *watch);
}

void Post(SocketWatch& watch, PlatformSocket socket, int event, int error) {
  int64_t lParam = static_cast<int64_t>(event) | (static_cast<int64_t>(error & 0xFFFF) << 16);
  NetworkWindowPost(watch.window, watch.message, static_cast<uint64_t>(socket), lParam);
}

// The socket's due events; true when one was posted.
bool PostEvents(PlatformSocket socket, SocketWatch& w, const SocketStatus& status) {
  size_t waiting = w.window->queue.size();
  if (w.connecting) {
    if (!status.error && !status.writable) return false;
    w.connecting = false;
    w.connectError = status.error;
    if (w.events & kSocketEventConnect) Post(w, socket, kSocketEventConnect, status.error);
    if (status.error) {
      w.closePosted = true;  // a connection never made has nothing more to report
      return true;
    }
  }
  if ((w.events & kSocketEventAccept) && w.acceptArmed && status.acceptable) {
    w.acceptArmed = false;
    Post(w, socket, kSocketEventAccept, 0);
  }
  if ((w.events & kSocketEventRead) && w.readArmed && status.hasData) {
    w.readArmed = false;
    Post(w, socket, kSocketEventRead, 0);
  }
  if ((w.events & kSocketEventWrite) && w.writeArmed && status.writable && !w.closePosted) {
    w.writeArmed = false;
    Post(w, socket, kSocketEventWrite, 0);
  }
  if ((w.events & kSocketEventClose) && !w.closePosted && (status.ended || status.error)) {
    w.closePosted = true;
    Post(w, socket, kSocketEventClose, status.error);
  }
  return w.window->queue.size() != waiting;
}

}  // namespace

SocketBackend* GetSocketBackend() { return Backend(); }
void SetSocketBackend(SocketBackend* backend) { g_backend = backend; }

int SocketLastError() { return g_lastError; }

PlatformSocket SocketListen(const char* address, int port) {
  return Keep(Result(Backend()->Listen(address, port)), SocketWatch{});
}

int SocketLocalPort(PlatformSocket socket) {
  if (!Watch(socket)) return -1;
  return Result(Backend()->LocalPort(socket));
}

PlatformSocket SocketConnect(const char* host, int port) {
  if (!host || port < 0 || port > 0xFFFF) return Result(-kSocketErrInvalid);
  bool inProgress = false;
  int socket = Result(Backend()->Connect(host, port, &inProgress));
  SocketWatch watch;
  watch.connecting = inProgress;
  return Keep(socket, watch);
}

int SocketConnectResult(PlatformSocket socket) {
  SocketWatch* watch = Watch(socket);
  if (!watch) return -1;
  if (watch->connecting) return 1;
  if (watch->connectError) return Result(-watch->connectError);
  return 0;
}

PlatformSocket SocketAccept(PlatformSocket listener, uint8_t address[4], int* portNetworkOrder) {
  SocketWatch* watch = Watch(listener);
  if (!watch) return -1;
  watch->acceptArmed = true;
  Widen(listener, *watch);
  uint16_t port = 0;
  int socket = Keep(Result(Backend()->Accept(listener, address, &port)), SocketWatch{});
  if (socket >= 0 && portNetworkOrder) *portNetworkOrder = port;
  return socket;
}

int SocketRecv(PlatformSocket socket, void* buffer, int length, int flags) {
  SocketWatch* watch = Watch(socket);
  if (!watch) return -1;
  if (length < 0 || (!buffer && length > 0)) return Result(-kSocketErrInvalid);
  if (!watch->readArmed) {
    watch->readArmed = true;
    Widen(socket, *watch);
  }
  if (length == 0) return 0;
  return Result(Backend()->Receive(socket, buffer, length, (flags & kSocketPeek) != 0));
}

int SocketSend(PlatformSocket socket, const void* buffer, int length) {
  SocketWatch* watch = Watch(socket);
  if (!watch) return -1;
  if (length < 0 || (!buffer && length > 0)) return Result(-kSocketErrInvalid);
  if (length == 0) return 0;
  int sent = Backend()->Send(socket, buffer, length);
  // A send that took only part would have blocked for the rest.
  if ((sent == -kSocketErrWouldBlock || (sent >= 0 && sent < length)) && !watch->writeArmed) {
    watch->writeArmed = true;
    Widen(socket, *watch);
  }
  return Result(sent);
}

int SocketClose(PlatformSocket socket) {
  SocketWatch* watch = Watch(socket);
  if (!watch) return -1;
  Unregister(socket, watch);  // and no longer watched
  g_watches.erase(socket);
  Backend()->Close(socket);
  return 0;
}

int SocketPeerShut(PlatformSocket socket) {
  if (!Watch(socket)) return -1;
  SocketStatus status;
  Backend()->Poll(&socket, &status, 1);
  return status.peerShut || status.ended || status.error ? 1 : 0;
}

NetworkWindow* NetworkWindowCreate() { return new (std::nothrow) NetworkWindow; }

void NetworkWindowDestroy(NetworkWindow* window) {
  if (!window) return;
  for (auto& [socket, watch] : g_watches) {
    if (watch.window == window) Unregister(socket, &watch);
  }
  delete window;
}

int SocketAsyncSelect(PlatformSocket socket, NetworkWindow* window, uint32_t message, int events) {
  SocketWatch* watch = Watch(socket);
  if (!watch) return -1;
  Unregister(socket, watch);
  if (events == 0 || !window) return 0;
  watch->window = window;
  watch->message = message;
  watch->events = events;
  watch->readArmed = watch->writeArmed = watch->acceptArmed = true;
  watch->closePosted = false;
  if (Rewatch(socket, *watch)) return 0;
  // A socket that is never watched would never report: it is not registered.
  watch->window = nullptr;
  watch->events = 0;
  return -1;
}

void NetworkWindowPoll(NetworkWindow* window) {
  // Kept between polls, and only ever grown: a window may watch thousands of sockets.
  static std::vector<PlatformSocket> sockets;
  static std::vector<SocketStatus> status;
  static std::vector<int> order;
  PlatformNoThrow("ソケットの監視", [&] {
    if (sockets.size() < g_watches.size()) {
      sockets.resize(g_watches.size());
      status.resize(g_watches.size());
      order.resize(g_watches.size());
    }
    int count = g_watches.empty() ? 0 : Backend()->Ready(sockets.data(), status.data(), static_cast<int>(g_watches.size()));
    std::iota(order.begin(), order.begin() + count, 0);
    auto end = std::remove_if(order.begin(), order.begin() + count, [&](int i) {
      auto found = g_watches.find(sockets[i]);
      return found == g_watches.end() || found->second.window != window || !found->second.events;
    });
    // Events in socket order, as steady as before.
    std::sort(order.begin(), end, [&](int a, int b) { return sockets[a] < sockets[b]; });
    for (auto i = order.begin(); i != end; ++i) {
      SocketWatch* watch = Watch(sockets[*i]);
      if (PostEvents(sockets[*i], *watch, status[*i])) {
        Widen(sockets[*i], *watch);
      } else {
        Rewatch(sockets[*i], *watch);
      }
    }
  });
}

bool NetworkWindowPeek(NetworkWindow* window, WindowMessage* out) {
  if (!window || window->queue.empty()) return false;
  *out = std::move(window->queue.front());
  window->queue.pop_front();
  return true;
}

void NetworkWindowPost(NetworkWindow* window, uint32_t message, uint64_t wParam, int64_t lParam) {
  if (!window) return;
  PlatformNoThrow("ソケットのメッセージの記録", [&] {
    WindowMessage m;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    window->queue.push_back(std::move(m));
  });
}
