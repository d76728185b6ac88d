// Framed messages over a loopback connection against a plain blocking
// send/recv pair doing the same framing (a 4-byte length, then the message),
// in the same run. recv: a plain peer thread writes framed batches, at most
// two ahead, that the library's framed handle reads with GetNetWorkDataLength
// and NetWorkRecv; the plain case reads them with two blocking recv calls a
// message. send: the library's handle sends with NetWorkSend and its write
// events to a plain thread that reads and counts; the plain case sends each
// length and message with blocking send. A batch is 1,024 messages of 64
// bytes or 16 of 64 KiB; messages per second are the MB/s times 15,625 (64
// bytes) or 15.26 (64 KiB). The peer thread runs on a second core.
//
// idle_call: one public call (GetNetWorkDataLength on a framed handle with
// nothing to read) while 1 or 4,000 connections are open and silent: every
// call pumps the network window, so its cost must not follow the number of
// handles. Both ends of every connection live in this process.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "network/network.h"

namespace {

int g_port = 0;

int ConnectBlocking(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0) {
    close(fd);
    return -1;
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  return fd;
}

// A plain connected pair over loopback: {accepted, connected}.
std::pair<int, int> PlainPair() {
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(local);
  bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof(local));
  listen(listener, 1);
  getsockname(listener, reinterpret_cast<sockaddr*>(&local), &size);
  int connected = ConnectBlocking(ntohs(local.sin_port));
  int accepted = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  int one = 1;
  setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  close(listener);
  return {accepted, connected};
}

bool SendAll(int fd, const char* bytes, size_t n) {
  while (n > 0) {
    ssize_t sent = send(fd, bytes, n, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    bytes += sent;
    n -= static_cast<size_t>(sent);
  }
  return true;
}

bool RecvAll(int fd, char* bytes, size_t n) {
  return n == 0 || recv(fd, bytes, n, MSG_WAITALL) == static_cast<ssize_t>(n);
}

std::string FramedBatch(size_t messageSize, size_t count) {
  std::string one(4 + messageSize, 'm');
  for (int i = 0; i < 4; i++) one[i] = static_cast<char>(messageSize >> (8 * i));
  std::string batch;
  for (size_t i = 0; i < count; i++) batch += one;
  return batch;
}

// A peer thread that writes the framed batches the reader has asked for
// (so that it never runs more than two ahead), until the connection goes.
std::thread Writer(int fd, const std::string& batch, std::atomic<int64_t>* asked) {
  return std::thread([fd, &batch, asked] {
    for (int64_t written = 0;; written++) {
      while (written >= *asked) std::this_thread::yield();
      if (!SendAll(fd, batch.data(), batch.size())) return;
    }
  });
}

// A peer thread that reads everything, counting the bytes, until the connection goes.
std::thread Reader(int fd, std::atomic<int64_t>* bytes) {
  return std::thread([fd, bytes] {
    std::vector<char> buffer(1 << 20);
    ssize_t n;
    while ((n = recv(fd, buffer.data(), buffer.size(), 0)) > 0) *bytes += n;
  });
}

// The library's framed handle for a blocking peer socket connected to its listener.
int LibraryHandle(int* peer) {
  StartNetWork();
  if (g_port == 0 && OpenNetWorkListener("127.0.0.1", 0, &g_port) == -1) return -1;
  *peer = ConnectBlocking(g_port);
  for (int tries = 0; tries < 100000 && GetNetWorkHandleOfSlot(0) == -1; tries++) PumpNetWorkMessages(1);
  return GetNetWorkHandleOfSlot(0);
}

void EndLibrary() {
  EndNetWork();
  g_port = 0;
}

void Count(benchmark::State& state, size_t messageSize, size_t count) {
  state.counters["MB/s"] = benchmark::Counter(static_cast<double>(state.iterations() * messageSize * count) / 1e6,
                                              benchmark::Counter::kIsRate);
  state.counters["msgs/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * count), benchmark::Counter::kIsRate);
}

void LibraryReceive(benchmark::State& state, size_t messageSize, size_t count) {
  int peer;
  int h = LibraryHandle(&peer);
  if (h == -1) return state.SkipWithError("no connection");
  std::string batch = FramedBatch(messageSize, count);
  std::atomic<int64_t> asked{1};
  std::thread writer = Writer(peer, batch, &asked);
  std::vector<char> buffer(messageSize * count);
  const int want = static_cast<int>(buffer.size());
  for (auto _ : state) {
    asked++;
    while (GetNetWorkDataLength(h) < want) {
    }
    NetWorkRecv(h, buffer.data(), want);
  }
  Count(state, messageSize, count);
  asked = INT64_MAX;
  shutdown(peer, SHUT_RDWR);
  EndLibrary();
  writer.join();
  close(peer);
}

void PlainReceive(benchmark::State& state, size_t messageSize, size_t count) {
  auto [reader, writerFd] = PlainPair();
  std::string batch = FramedBatch(messageSize, count);
  std::atomic<int64_t> asked{1};
  std::thread writer = Writer(writerFd, batch, &asked);
  std::vector<char> buffer(messageSize);
  for (auto _ : state) {
    asked++;
    for (size_t i = 0; i < count; i++) {
      uint32_t length;
      RecvAll(reader, reinterpret_cast<char*>(&length), 4);
      RecvAll(reader, buffer.data(), length);
    }
  }
  Count(state, messageSize, count);
  asked = INT64_MAX;
  shutdown(writerFd, SHUT_RDWR);  // wakes the writer's blocked send
  writer.join();
  close(reader);
  close(writerFd);
}

void LibrarySend(benchmark::State& state, size_t messageSize, size_t count) {
  int peer;
  int h = LibraryHandle(&peer);
  if (h == -1) return state.SkipWithError("no connection");
  std::atomic<int64_t> received{0};
  std::thread reader = Reader(peer, &received);
  std::vector<char> message(messageSize, 'm');
  int64_t target = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < count; i++) NetWorkSend(h, message.data(), static_cast<int>(messageSize));
    target += static_cast<int64_t>(messageSize * count);
    // Every queued byte out and read, with at most a length per message on top.
    while (received < target) PumpNetWorkMessages(0);
  }
  Count(state, messageSize, count);
  EndLibrary();
  reader.join();
  close(peer);
}

void PlainSend(benchmark::State& state, size_t messageSize, size_t count) {
  auto [readerFd, writer] = PlainPair();
  std::atomic<int64_t> received{0};
  std::thread reader = Reader(readerFd, &received);
  std::vector<char> message(messageSize, 'm');
  int64_t target = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < count; i++) {
      uint32_t length = static_cast<uint32_t>(messageSize);
      SendAll(writer, reinterpret_cast<const char*>(&length), 4);
      SendAll(writer, message.data(), messageSize);
    }
    target += static_cast<int64_t>((4 + messageSize) * count);
    while (received < target) {
    }
  }
  Count(state, messageSize, count);
  shutdown(writer, SHUT_RDWR);
  reader.join();
  close(readerFd);
  close(writer);
}

void IdleCall(benchmark::State& state, int handles) {
  rlimit files;
  getrlimit(RLIMIT_NOFILE, &files);
  const rlim_t needed = 2 * static_cast<rlim_t>(handles) + 64;
  files.rlim_cur = std::max(files.rlim_cur, std::min(files.rlim_max, needed));
  setrlimit(RLIMIT_NOFILE, &files);
  if (files.rlim_cur < needed) return state.SkipWithError("too few descriptors");
  int port = 0;
  StartNetWork();
  if (OpenNetWorkListener("127.0.0.1", 0, &port) == -1) return state.SkipWithError("no listener");
  std::vector<int> peers;
  for (int i = 0; i < handles; i++) {
    peers.push_back(ConnectBlocking(port));
    while (peers.back() >= 0 && GetNetWorkHandleOfSlot(i) == -1) PumpNetWorkMessages(1);
  }
  int h = GetNetWorkHandleOfSlot(0);
  if (std::count(peers.begin(), peers.end(), -1) > 0 || h == -1) state.SkipWithError("no connection");
  for (auto _ : state) benchmark::DoNotOptimize(GetNetWorkDataLength(h));
  EndNetWork();
  for (int fd : peers) {
    if (fd >= 0) close(fd);
  }
}

const bool g_registered = [] {
  struct Size {
    const char* name;
    size_t bytes, count;
  } sizes[] = {{"@64", 64, 1024}, {"@65536", 65536, 16}};
  struct Case {
    const char* name;
    void (*run)(benchmark::State&, size_t, size_t);
  } cases[] = {{"net.framed_recv", LibraryReceive},
               {"net.plain_recv", PlainReceive},
               {"net.framed_send", LibrarySend},
               {"net.plain_send", PlainSend}};
  for (const Size& s : sizes) {
    for (const Case& c : cases) {
      benchmark::RegisterBenchmark((std::string(c.name) + s.name).c_str(),
                                   [c, s](benchmark::State& state) { c.run(state, s.bytes, s.count); })
          ->Unit(benchmark::kMicrosecond)
          ->UseRealTime();
    }
  }
  for (int handles : {1, 4000}) {
    benchmark::RegisterBenchmark(("net.idle_call@" + std::to_string(handles)).c_str(),
                                 [handles](benchmark::State& state) { IdleCall(state, handles); })
        ->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

}  // namespace
