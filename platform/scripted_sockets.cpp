#include "platform/scripted_sockets.h"

#include "platform/no_throw.h"

#include <algorithm>
#include <cstring>
#include <utility>

int ScriptedSockets::Open() {
  size_t n = 0;
  while (n < sockets.size() && sockets[n].open) n++;
  bool room = n < sockets.size() || PlatformNoThrow("ソケットの記録", false, [&] {
                sockets.emplace_back();
                return true;
              });
  if (!room) return -kSocketErrNoBuffers;
  sockets[n] = Socket{};
  sockets[n].open = true;
  return static_cast<int>(n);
}

int ScriptedSockets::Listen(const char* address, int port) {
  if (failListen) return -failListen;
  int s = Open();
  if (s < 0) return s;
  sockets[s].listening = true;
  sockets[s].port = port ? port : 50000 + s;
  return s;
}

int ScriptedSockets::LocalPort(PlatformSocket socket) { return (*this)[socket].port; }

int ScriptedSockets::Connect(const char* host, int port, bool* inProgress) {
  if (failConnect) return -failConnect;
  int s = Open();
  if (s < 0) return s;
  connectCount++;
  sockets[s].connecting = !connectAtOnce;
  *inProgress = sockets[s].connecting;
  return s;
}

int ScriptedSockets::Accept(PlatformSocket listener, uint8_t address[4], uint16_t* portNetworkOrder) {
  if ((*this)[listener].waitingConnections <= 0) return -kSocketErrWouldBlock;
  (*this)[listener].waitingConnections--;
  int s = Open();
  if (s < 0) return s;
  const uint8_t loopback[4] = {127, 0, 0, 1};
  std::memcpy(address, loopback, 4);
  *portNetworkOrder = static_cast<uint16_t>(((40000 + s) >> 8) | (((40000 + s) & 0xFF) << 8));
  return s;
}

int ScriptedSockets::Receive(PlatformSocket socket, void* buffer, int length, bool peek) {
  Socket& s = (*this)[socket];
  if (int error = std::exchange(s.failNextReceive, 0)) return -error;
  if (s.error) return -s.error;
  if (s.incoming.empty()) return s.peerShut ? 0 : -kSocketErrWouldBlock;
  size_t n = std::min(s.incoming.size(), static_cast<size_t>(length));
  std::memcpy(buffer, s.incoming.data(), n);
  if (!peek) s.incoming.erase(0, n);
  return static_cast<int>(n);
}

int ScriptedSockets::Send(PlatformSocket socket, const void* buffer, int length) {
  Socket& s = (*this)[socket];
  if (int error = std::exchange(s.failNextSend, 0)) return -error;
  if (s.error) return -s.error;
  int64_t n = s.sendRoom < 0 ? length : std::min<int64_t>(length, s.sendRoom);
  if (n == 0) return -kSocketErrWouldBlock;
  bool kept = PlatformNoThrow("ソケットの記録", false, [&] {
    s.sent.append(static_cast<const char*>(buffer), static_cast<size_t>(n));
    return true;
  });
  if (!kept) return -kSocketErrNoBuffers;
  if (s.sendRoom >= 0) s.sendRoom -= n;
  return static_cast<int>(n);
}

void ScriptedSockets::Close(PlatformSocket socket) { (*this)[socket].open = false; }

void ScriptedSockets::Poll(const PlatformSocket* list, SocketStatus* out, int count) {
  polled += count;
  for (int i = 0; i < count; i++) {
    Socket& s = (*this)[list[i]];
    out[i] = SocketStatus{};
    if (s.connecting) {
      s.connecting = false;
      if (failConnectLater) s.error = failConnectLater;
    }
    out[i].acceptable = s.listening && s.waitingConnections > 0;
    out[i].hasData = !s.incoming.empty() && !s.error;
    out[i].peerShut = s.peerShut;
    out[i].ended = s.peerShut && s.incoming.empty();
    out[i].writable = !s.listening && s.sendRoom != 0 && !s.error;
    out[i].error = s.error;
  }
}

int ScriptedSockets::Watch(PlatformSocket socket, int wanted) {
  if (wanted && !(*this)[socket].wanted && failWatch) return -failWatch;
  (*this)[socket].wanted = wanted;
  return 0;
}

int ScriptedSockets::Ready(PlatformSocket* out, SocketStatus* status, int max) {
  int n = 0;
  for (size_t i = 0; i < sockets.size() && n < max; i++) {
    const Socket& s = sockets[i];
    bool readable = !s.incoming.empty() || s.peerShut || (s.listening && s.waitingConnections > 0);
    bool writable = s.connecting || (!s.listening && s.sendRoom != 0);
    bool ready = ((s.wanted & kWatchRead) && readable) || ((s.wanted & kWatchWrite) && writable) ||
                 (s.wanted && s.error);
    if (s.open && ready) out[n++] = static_cast<PlatformSocket>(i);
  }
  Poll(out, status, n);
  return n;
}
