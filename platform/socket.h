// TCP sockets for the network layer, and the "network window" that reports
// their events as messages the way the layer expects: a read event once
// until the next receive, a write event once after registration and again
// only after a send that would block (or took only part of its bytes), a
// close event only once everything sent before it has been read, an accept
// event once until the next accept, a connect event when a started
// connection is made or has failed. The window polls its sockets (timeout 0)
// when asked; no thread runs behind it.
//
// Two backends: POSIX (the default; non-blocking, close-on-exec, no SIGPIPE)
// and a scripted table for tests.
#pragma once
#include <cstdint>
#include <deque>

#include "platform/window.h"

using PlatformSocket = int;
constexpr PlatformSocket kNoSocket = -1;  // 0 is a real socket here

// Events, as the low word of a socket message's lParam; the high word holds an error.
constexpr int kSocketEventRead = 1;
constexpr int kSocketEventWrite = 2;
constexpr int kSocketEventAccept = 8;
constexpr int kSocketEventConnect = 16;
constexpr int kSocketEventClose = 32;

constexpr int kSocketPeek = 2;  // receive flag: leave the bytes waiting

// The error numbers the network layer logs (Winsock's, which its log lines show).
constexpr int kSocketErrInvalid = 10022;
constexpr int kSocketErrTooMany = 10024;
constexpr int kSocketErrWouldBlock = 10035;
constexpr int kSocketErrNotSocket = 10038;
constexpr int kSocketErrAddressInUse = 10048;
constexpr int kSocketErrUnreachable = 10051;
constexpr int kSocketErrAborted = 10053;
constexpr int kSocketErrReset = 10054;
constexpr int kSocketErrNoBuffers = 10055;
constexpr int kSocketErrNotConnected = 10057;
constexpr int kSocketErrTimedOut = 10060;
constexpr int kSocketErrRefused = 10061;
constexpr int kSocketErrHostNotFound = 11001;

// What a poll found on one socket.
struct SocketStatus {
  bool hasData = false;     // bytes wait to be read
  bool ended = false;       // the peer has closed and nothing is left to read
  bool peerShut = false;    // the peer has closed (bytes may still wait)
  bool writable = false;
  bool acceptable = false;  // a listening socket has a connection waiting
  int error = 0;            // a pending error (a reset, a failed connection)
};

// What a backend watches a socket for (Watch); 0 is nothing at all.
constexpr int kWatchRead = 1;     // bytes, an end, a waiting connection
constexpr int kWatchWrite = 2;    // room to send, a connection made
constexpr int kWatchFailure = 4;  // errors and hang-ups only

// Raw socket operations. Results are a socket, a count or 0; a failure is
// minus one of the error numbers above.
class SocketBackend {
 public:
  virtual ~SocketBackend() = default;
  // address null: every local address.
  virtual int Listen(const char* address, int port) = 0;
  virtual int LocalPort(PlatformSocket socket) = 0;
  // Starts a connection to an IPv4 host; *inProgress is set when it is not made yet.
  virtual int Connect(const char* host, int port, bool* inProgress) = 0;
  virtual int Accept(PlatformSocket listener, uint8_t address[4], uint16_t* portNetworkOrder) = 0;
  virtual int Receive(PlatformSocket socket, void* buffer, int length, bool peek) = 0;
  virtual int Send(PlatformSocket socket, const void* buffer, int length) = 0;
  virtual void Close(PlatformSocket socket) = 0;
  virtual void Poll(const PlatformSocket* sockets, SocketStatus* out, int count) = 0;
  // Sets the conditions a socket is watched for (kWatch*); Ready then names
  // it, without waiting, while one of them may hold. A socket watched for
  // nothing the front has to report costs Ready nothing. 0, or a failure
  // (the socket is then watched as before); watching for nothing never fails.
  virtual int Watch(PlatformSocket socket, int wanted) = 0;
  // Up to max watched sockets that may be ready, each with its status as
  // Poll would find it for the conditions watched; their count.
  virtual int Ready(PlatformSocket* out, SocketStatus* status, int max) = 0;
};

SocketBackend* PosixSocketBackend();

// The backend in use: POSIX unless a test installed another (only while no socket is open).
SocketBackend* GetSocketBackend();
void SetSocketBackend(SocketBackend* backend);  // null restores POSIX

// Socket calls. A failure returns -1 (kNoSocket) and SocketLastError tells why.
int SocketLastError();
PlatformSocket SocketListen(const char* address, int port);
int SocketLocalPort(PlatformSocket socket);
// The connection is made in the background; a connect event reports its end.
PlatformSocket SocketConnect(const char* host, int port);
// As the window's polls found it: 1 while a started connection is not made
// yet, 0 once made, -1 when it failed.
int SocketConnectResult(PlatformSocket socket);
PlatformSocket SocketAccept(PlatformSocket listener, uint8_t address[4], int* portNetworkOrder);
int SocketRecv(PlatformSocket socket, void* buffer, int length, int flags);
int SocketSend(PlatformSocket socket, const void* buffer, int length);
int SocketClose(PlatformSocket socket);
// 1 when the peer has closed its side (bytes it sent before may still wait).
int SocketPeerShut(PlatformSocket socket);

class NetworkWindow {
 public:
  std::deque<WindowMessage> queue;
};

NetworkWindow* NetworkWindowCreate();
// Forgets the window's sockets' registrations and its waiting messages.
void NetworkWindowDestroy(NetworkWindow* window);
// Posts the socket's chosen events to the window as the message; events 0
// ends the registration and drops the socket's messages still waiting. 0, or
// -1 when the socket cannot be watched (it is then registered for nothing).
int SocketAsyncSelect(PlatformSocket socket, NetworkWindow* window, uint32_t message, int events);
// Posts the events of the window's sockets; its cost follows the sockets
// that have something to report, not those registered.
void NetworkWindowPoll(NetworkWindow* window);
// Takes the oldest waiting message; false when none waits.
bool NetworkWindowPeek(NetworkWindow* window, WindowMessage* out);
void NetworkWindowPost(NetworkWindow* window, uint32_t message, uint64_t wParam, int64_t lParam);
