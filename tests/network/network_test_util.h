// Shared by the network tests: a plain POSIX peer over loopback, framing by
// hand, bounded waits and a check that everything the network took is given back.
#pragma once
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>

#include "core/memory.h"
#include "network/network.h"

// The wire form of one framed message: its length, little-endian, then the bytes.
inline std::string Framed(const std::string& payload) {
  uint32_t n = static_cast<uint32_t>(payload.size());
  return std::string{static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16),
                     static_cast<char>(n >> 24)} +
         payload;
}

// Runs step until done() holds; false when two minutes pass first. The bound
// only ends a test that has already failed: a machine busy with other work
// may take many seconds for what an idle one does at once.
template <typename Done, typename Step>
bool Within(Done done, Step step) {
  auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    step();
  }
  return true;
}

// The other end of a connection: a non-blocking POSIX socket.
class Peer {
 public:
  // Connects to 127.0.0.1:port (loopback connections are made at once), or adopts a socket.
  static Peer To(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0) {
      close(fd);
      fd = -1;
    }
    return Peer(fd);
  }
  explicit Peer(int fd) : fd_(fd) {
    if (fd_ >= 0) {
      fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
      int one = 1;
      setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    }
  }
  Peer(Peer&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  ~Peer() { Close(); }
  bool ok() const { return fd_ >= 0; }

  // As many bytes as the socket takes now.
  size_t SendSome(const char* bytes, size_t n) {
    ssize_t sent = send(fd_, bytes, n, MSG_NOSIGNAL);
    return sent > 0 ? static_cast<size_t>(sent) : 0;
  }
  // Everything, running step while the socket is full.
  template <typename Step>
  bool SendAll(const std::string& bytes, Step step) {
    size_t done = 0;
    return Within([&] { return done == bytes.size(); },
                  [&] {
                    done += SendSome(bytes.data() + done, bytes.size() - done);
                    step();
                  });
  }
  // Whatever has arrived, appended to the peer's record of it.
  const std::string& Received() {
    char buffer[65536];
    ssize_t n;
    while ((n = recv(fd_, buffer, sizeof(buffer), MSG_DONTWAIT)) > 0) received_.append(buffer, static_cast<size_t>(n));
    return received_;
  }
  void ShutWrites() { shutdown(fd_, SHUT_WR); }
  // Closes with a reset instead of an orderly end.
  void Reset() {
    linger hard{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
    Close();
  }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
  std::string received_;
};

// A network started for one test and ended after it, with every block it
// allocated given back.
class NetworkFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    blocksBefore_ = MemGetTotals().liveBlocks;
    ASSERT_EQ(StartNetWork(), 0);
  }
  void TearDown() override {
    EndNetWork();
    EXPECT_EQ(MemGetTotals().liveBlocks, blocksBefore_);
  }
  static void Pass() { PumpNetWorkMessages(1); }

 private:
  int64_t blocksBefore_ = 0;
};
