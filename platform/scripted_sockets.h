// A socket table without a network for tests: the test plays every peer,
// filling what the library will receive, reading what it sent, limiting
// how much a send takes and making calls fail. Socket numbers start at 0 and
// a closed number is given out again, as descriptors are.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/socket.h"

class ScriptedSockets : public SocketBackend {
 public:
  struct Socket {
    bool open = false;
    bool listening = false;
    int port = 0;
    int waitingConnections = 0;  // listening: what accept takes
    std::string incoming;        // sent by the peer, not read yet
    bool peerShut = false;       // the peer has closed after incoming
    int error = 0;               // a reset: receives and sends fail with it
    std::string sent;            // what the library sent
    int64_t sendRoom = -1;       // bytes sends take before they would block; -1 no limit
    int failNextReceive = 0;     // the next receive fails once with this error
    int failNextSend = 0;        // the next send fails once with this error
    bool connecting = false;     // a connection started and not made yet
    int wanted = 0;              // what the front watches it for
  };

  int Listen(const char* address, int port) override;
  int LocalPort(PlatformSocket socket) override;
  int Connect(const char* host, int port, bool* inProgress) override;
  int Accept(PlatformSocket listener, uint8_t address[4], uint16_t* portNetworkOrder) override;
  int Receive(PlatformSocket socket, void* buffer, int length, bool peek) override;
  int Send(PlatformSocket socket, const void* buffer, int length) override;
  void Close(PlatformSocket socket) override;
  void Poll(const PlatformSocket* sockets, SocketStatus* out, int count) override;
  // Ready names the sockets whose watched conditions hold, as epoll would.
  int Watch(PlatformSocket socket, int wanted) override;
  int Ready(PlatformSocket* out, SocketStatus* status, int max) override;

  Socket& operator[](PlatformSocket socket) { return sockets[static_cast<size_t>(socket)]; }

  // What the test sets up.
  int failListen = 0;
  int failConnect = 0;            // the connection fails at once
  int failConnectLater = 0;       // the connection fails when it would be made
  bool connectAtOnce = false;     // else connections are made at the next poll
  int failWatch = 0;              // watching a socket not watched yet fails with this error

  std::vector<Socket> sockets;
  int connectCount = 0;
  int64_t polled = 0;  // sockets the front has asked the status of

 private:
  int Open();
};
