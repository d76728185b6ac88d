// The network window's event rules, over the scripted socket table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/scripted_sockets.h"
#include "platform/socket.h"

namespace {

constexpr uint32_t kMessage = WM_SOCKET_EVENT;
constexpr int kConnectionEvents = kSocketEventRead | kSocketEventWrite | kSocketEventClose;

class SocketEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSocketBackend(&net);
    window = NetworkWindowCreate();
  }
  void TearDown() override {
    NetworkWindowDestroy(window);
    for (size_t s = 0; s < net.sockets.size(); s++) {
      if (net.sockets[s].open) SocketClose(static_cast<PlatformSocket>(s));
    }
    SetSocketBackend(nullptr);
  }
  // One poll, then every message it posted, as "socket:event" or "socket:event/error".
  std::vector<std::string> Polled() {
    NetworkWindowPoll(window);
    std::vector<std::string> out;
    WindowMessage m;
    while (NetworkWindowPeek(window, &m)) {
      static const char* const kNames[] = {"", "read", "write", "", "", "", "", "", "accept"};
      int event = static_cast<int>(m.lParam & 0xFFFF), error = static_cast<int>(m.lParam >> 16);
      std::string name = event == kSocketEventConnect ? "connect" : event == kSocketEventClose ? "close" : kNames[event];
      out.push_back(std::to_string(m.wParam) + ":" + name + (error ? "/" + std::to_string(error) : ""));
    }
    return out;
  }
  using Events = std::vector<std::string>;

  ScriptedSockets net;
  NetworkWindow* window = nullptr;
  uint8_t address[4];
  int port = 0;
  char buffer[8];
};

TEST_F(SocketEvents, EachEventIsPostedOnceUntilTheCallThatRearmsIt) {
  PlatformSocket listener = SocketListen(nullptr, 0);
  ASSERT_EQ(listener, 0);  // 0 is a socket like any other
  SocketAsyncSelect(listener, window, kMessage, kSocketEventAccept);
  EXPECT_EQ(Polled(), Events{});
  net[listener].waitingConnections = 2;
  EXPECT_EQ(Polled(), Events{"0:accept"});
  EXPECT_EQ(Polled(), Events{});
  PlatformSocket a = SocketAccept(listener, address, &port);
  EXPECT_EQ(Polled(), Events{"0:accept"});  // the second connection
  PlatformSocket b = SocketAccept(listener, address, &port);
  ASSERT_EQ(a, 1);
  ASSERT_EQ(b, 2);
  EXPECT_EQ(Polled(), Events{});

  // Reads: once until a receive (a look too); the end only after the last byte.
  SocketAsyncSelect(a, window, kMessage, kConnectionEvents);
  EXPECT_EQ(Polled(), Events{"1:write"});
  net[a].incoming = "xy";
  EXPECT_EQ(Polled(), Events{"1:read"});
  EXPECT_EQ(Polled(), Events{});
  EXPECT_EQ(SocketRecv(a, buffer, 1, kSocketPeek), 1);
  EXPECT_EQ(Polled(), Events{"1:read"});
  EXPECT_EQ(SocketRecv(a, buffer, 8, 0), 2);
  net[a].incoming = "z";
  net[a].peerShut = true;
  EXPECT_EQ(Polled(), Events{"1:read"});
  EXPECT_EQ(SocketRecv(a, buffer, 8, 0), 1);
  EXPECT_EQ(Polled(), Events{"1:close"});
  EXPECT_EQ(SocketRecv(a, buffer, 8, 0), 0);
  EXPECT_EQ(Polled(), Events{});

  // Writes: again only after a send that would block or took part.
  SocketAsyncSelect(b, window, kMessage, kConnectionEvents);
  EXPECT_EQ(Polled(), Events{"2:write"});
  EXPECT_EQ(SocketSend(b, "abcde", 5), 5);
  EXPECT_EQ(Polled(), Events{});
  net[b].sendRoom = 3;
  EXPECT_EQ(SocketSend(b, "abcde", 5), 3);
  EXPECT_EQ(Polled(), Events{});  // no room yet
  net[b].sendRoom = -1;
  EXPECT_EQ(Polled(), Events{"2:write"});
  net[b].sendRoom = 0;
  EXPECT_EQ(SocketSend(b, "a", 1), -1);
  EXPECT_EQ(SocketLastError(), kSocketErrWouldBlock);
  net[b].sendRoom = -1;
  EXPECT_EQ(Polled(), Events{"2:write"});
  net[b].error = kSocketErrReset;
  EXPECT_EQ(Polled(), Events{"2:close/10054"});
  EXPECT_EQ(SocketRecv(b, buffer, 8, 0), -1);
  EXPECT_EQ(SocketLastError(), kSocketErrReset);

  // A closed socket's waiting messages go with it: its number comes back.
  NetworkWindowPost(window, kMessage, static_cast<uint64_t>(b), kSocketEventRead);
  NetworkWindowPost(window, WM_CLOSE, 0, 0);
  SocketClose(b);
  EXPECT_EQ(SocketListen(nullptr, 0), b);
  WindowMessage m;
  ASSERT_TRUE(NetworkWindowPeek(window, &m));
  EXPECT_EQ(m.message, WM_CLOSE);
  EXPECT_FALSE(NetworkWindowPeek(window, &m));
}

TEST_F(SocketEvents, AStartedConnectionReportsItsEndOnce) {
  PlatformSocket made = SocketConnect("peer", 80);
  SocketAsyncSelect(made, window, kMessage, kConnectionEvents | kSocketEventConnect);
  EXPECT_EQ(SocketConnectResult(made), 1);
  EXPECT_EQ(Polled(), (Events{"0:connect", "0:write"}));
  EXPECT_EQ(SocketConnectResult(made), 0);
  EXPECT_EQ(Polled(), Events{});

  net.failConnectLater = kSocketErrRefused;
  PlatformSocket refused = SocketConnect("peer", 80);
  SocketAsyncSelect(refused, window, kMessage, kConnectionEvents | kSocketEventConnect);
  EXPECT_EQ(Polled(), Events{"1:connect/10061"});  // and no close for what never opened
  EXPECT_EQ(Polled(), Events{});
  EXPECT_EQ(SocketConnectResult(refused), -1);
  EXPECT_EQ(SocketLastError(), kSocketErrRefused);

  net.failConnect = kSocketErrHostNotFound;
  EXPECT_EQ(SocketConnect("nowhere", 80), kNoSocket);
  EXPECT_EQ(SocketLastError(), kSocketErrHostNotFound);
  EXPECT_EQ(SocketConnect("peer", 70000), kNoSocket);
}

// A registration the kernel refuses (past its watch limit, out of memory;
// here a regular file where the socket was, which epoll never takes) fails
// the call that asked for it, instead of leaving the socket deaf.
TEST(PosixSocketEvents, ARegistrationTheKernelRefusesFailsTheCall) {
  NetworkWindow* window = NetworkWindowCreate();
  PlatformSocket listener = SocketListen("127.0.0.1", 0);
  ASSERT_NE(listener, kNoSocket);
  FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(dup2(fileno(file), listener), listener);
  std::fclose(file);
  EXPECT_EQ(SocketAsyncSelect(listener, window, kMessage, kSocketEventAccept), -1);
  EXPECT_EQ(SocketLastError(), kSocketErrInvalid);
  EXPECT_EQ(SocketClose(listener), 0);
  NetworkWindowDestroy(window);
}

}  // namespace
