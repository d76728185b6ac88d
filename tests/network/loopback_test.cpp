// Framed handles over real loopback connections with a plain POSIX peer.
#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "core/log.h"
#include "network_test_util.h"
#include "tests/support/read_file.h"
#include "tests/support/scratch_dir.h"

namespace {

class Loopback : public NetworkFixture {
 protected:
  void SetUp() override {
    NetworkFixture::SetUp();
    ASSERT_NE(OpenNetWorkListener("127.0.0.1", 0, &port), -1);
  }
  // A peer the listener has accepted, and the library's handle for it.
  Peer Accepted(int* handle) {
    int slot = 0;
    while (GetNetWorkHandleOfSlot(slot) != -1) slot++;
    Peer peer = Peer::To(port);
    EXPECT_TRUE(peer.ok());
    EXPECT_TRUE(Within([&] { return GetNetWorkHandleOfSlot(slot) != -1; }, Pass));
    *handle = GetNetWorkHandleOfSlot(slot);
    return peer;
  }
  // The payloads of the whole blocks at the start of wire; *used: their bytes.
  static std::string Unframe(const std::string& wire, size_t* used) {
    std::string payloads;
    size_t at = 0;
    while (wire.size() - at >= 4) {
      uint32_t n = 0;
      for (int i = 0; i < 4; i++) n |= static_cast<uint32_t>(static_cast<uint8_t>(wire[at + i])) << (8 * i);
      if (wire.size() - at - 4 < n) break;
      payloads.append(wire, at + 4, n);
      at += 4 + n;
    }
    *used = at;
    return payloads;
  }

  int port = 0;
};

TEST_F(Loopback, AMessageCountsOnlyOnceItsLastByteHasArrived) {
  int h;
  Peer peer = Accepted(&h);
  std::string payloads[] = {"", "a", "1234567", std::string(300, 'z')};
  std::string wire, all;
  for (const std::string& p : payloads) {
    wire += Framed(p);
    all += p;
  }
  // Byte by byte: the messages end at wire bytes 4, 9, 20 and 324.
  const size_t endsAt[] = {4, 9, 20, 324};
  const int countAfter[] = {0, 1, 8, 308};
  int expected = 0;
  for (size_t i = 0, next = 0; i < wire.size(); i++) {
    ASSERT_EQ(peer.SendSome(&wire[i], 1), 1u);
    if (i + 1 == endsAt[next]) {
      expected = countAfter[next++];
      ASSERT_TRUE(Within([&] { return GetNetWorkDataLength(h) == expected; }, [] {})) << "byte " << i;
    } else {
      ASSERT_EQ(GetNetWorkDataLength(h), expected) << "byte " << i;
    }
  }
  std::string got(309, '\0');
  EXPECT_EQ(NetWorkRecv(h, got.data(), 309), -1);
  EXPECT_EQ(NetWorkRecv(h, got.data(), 308), 0);
  got.resize(308);
  EXPECT_EQ(got, all);
  EXPECT_EQ(GetNetWorkDataLength(h), 0);
}

TEST_F(Loopback, MegabyteMessagesCrossWholeAndInOrderBothWays) {
  int h;
  Peer peer = Accepted(&h);
  std::mt19937 rng(26);
  std::string wire, all;
  std::vector<std::string> messages;
  for (size_t size : {size_t{65536}, size_t{5}, (size_t{1} << 20) + 3, size_t{3} << 20}) {
    std::string m(size, '\0');
    for (char& c : m) c = static_cast<char>(rng());
    wire += Framed(m);
    all += m;
    messages.push_back(m);
  }
  // In: random pieces, read in random amounts as they become whole.
  std::string got;
  size_t sent = 0;
  ASSERT_TRUE(Within([&] { return got.size() == all.size(); },
                     [&] {
                       size_t piece = std::min<size_t>(1 + rng() % 100000, wire.size() - sent);
                       sent += peer.SendSome(wire.data() + sent, piece);
                       int ready = GetNetWorkDataLength(h);
                       if (ready <= 0) return;
                       std::string part(1 + rng() % static_cast<uint32_t>(ready), '\0');
                       EXPECT_EQ(NetWorkRecv(h, part.data(), static_cast<int>(part.size())), 0);
                       got += part;
                     }));
  EXPECT_TRUE(got == all);

  // Out: the peer reads slowly, so the library's sends block and resume on write events.
  for (const std::string& m : messages) ASSERT_EQ(NetWorkSend(h, m.data(), static_cast<int>(m.size())), 0);
  size_t used = 0;
  ASSERT_TRUE(Within([&] { return Unframe(peer.Received(), &used).size() == all.size(); }, Pass));
  EXPECT_EQ(used, peer.Received().size());
  EXPECT_TRUE(Unframe(peer.Received(), &used) == all);
}

TEST_F(Loopback, TheEndIsSeenAfterTheLastMessageAndTheHandleThenClosesItself) {
  int h;
  Peer peer = Accepted(&h);
  ASSERT_TRUE(peer.SendAll(Framed("bye"), [] {}));
  peer.Close();
  ASSERT_TRUE(Within([&] { return GetNetWorkAcceptState(h) == 0; }, [] {}));
  EXPECT_EQ(GetNetWorkDataLength(h), 3);  // still there to be read
  char bye[3];
  EXPECT_EQ(NetWorkRecv(h, bye, 3), 0);
  EXPECT_EQ(std::string(bye, 3), "bye");
  EXPECT_EQ(NetWorkSend(h, bye, 3), -1);
  Pass();
  EXPECT_EQ(GetNetWorkAcceptState(h), -1);

  // Unless asked to stay, or while nobody has looked.
  SetNetWorkNoAutoCloseOption(1);
  int kept, unseen;
  Peer second = Accepted(&kept);
  SetNetWorkNoAutoCloseOption(0);
  Peer third = Accepted(&unseen);
  second.Reset();
  third.Close();
  ASSERT_TRUE(Within([&] { return GetNetWorkAcceptState(kept) == 0; }, [] {}));
  Pass();
  EXPECT_EQ(GetNetWorkAcceptState(kept), 0);
  EXPECT_EQ(GetNetWorkHandleOfSlot(unseen & 0xFFFF), unseen);
  EXPECT_EQ(CloseNetWork(kept), 0);
}

TEST_F(Loopback, AThousandConnectionsAreEachAcceptedAndHeard) {
  rlimit files;
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = std::max<rlim_t>(files.rlim_cur, std::min<rlim_t>(files.rlim_max, 4096));
  setrlimit(RLIMIT_NOFILE, &files);
  // Both ends live in this process.
  const int count = static_cast<int>(std::min<rlim_t>(1000, (files.rlim_cur - 64) / 2));
  std::vector<Peer> peers;
  for (int i = 0; i < count; i++) {
    peers.push_back(Peer::To(port));
    ASSERT_TRUE(peers.back().ok()) << i;
  }
  ASSERT_TRUE(Within([&] { return GetNetWorkHandleOfSlot(count - 1) != -1; }, Pass));
  for (int i = 0; i < count; i++) ASSERT_TRUE(peers[i].SendAll(Framed(std::to_string(i)), [] {}));
  std::vector<int> heard(count, 0);
  for (int slot = 0; slot < count; slot++) {
    int h = GetNetWorkHandleOfSlot(slot);
    ASSERT_TRUE(Within([&] { return GetNetWorkDataLength(h) > 0; }, [] {}));
    std::string number(static_cast<size_t>(GetNetWorkDataLength(h)), '\0');
    ASSERT_EQ(NetWorkRecv(h, number.data(), static_cast<int>(number.size())), 0);
    heard[std::stoi(number)]++;
  }
  EXPECT_EQ(std::count(heard.begin(), heard.end(), 1), count);
  EXPECT_EQ(GetNetWorkHandleOfSlot(count), -1);
}

int LowestFreeDescriptor() {
  int fd = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
  close(fd);
  return fd;
}

// A listener opened while the descriptor limit leaves room for its socket
// but not for the epoll instance that would watch it; then one opened with
// the limit lifted. What was seen, as one line.
std::string ListenAtTheDescriptorLimit() {
  ScratchDir dir;
  LogOpen();
  const int64_t blocks = MemGetTotals().liveBlocks;
  StartNetWork();
  // The backend is used once with room to spare: the sanitizers' first checks
  // of its calls take descriptors of their own. No socket is watched yet.
  SocketClose(SocketListen("127.0.0.1", 0));
  rlimit saved;
  getrlimit(RLIMIT_NOFILE, &saved);
  const int lowest = LowestFreeDescriptor();
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(lowest) + 1;
  setrlimit(RLIMIT_NOFILE, &tight);
  int port = 0;
  std::string seen = OpenNetWorkListener("127.0.0.1", 0, &port) == -1 ? "refused" : "listening deaf";
  bool kept = LowestFreeDescriptor() != lowest || GetNetWorkHandleOfSlot(kNetWorkListenerSlot) != -1;
  setrlimit(RLIMIT_NOFILE, &saved);
  seen += kept ? ", socket kept" : ", nothing kept";
  const std::vector<std::string> lines = LogLines(ReadWholeFile("Log.txt"));
  seen += ", logged " + (lines.empty() ? std::string() : lines.back());

  // The next registration makes the instance after all.
  int handle = OpenNetWorkListener("127.0.0.1", 0, &port);
  Peer peer = Peer::To(port);
  bool heard = handle != -1 && peer.ok() &&
               Within([] { return GetNetWorkHandleOfSlot(0) != -1; }, [] { PumpNetWorkMessages(1); }) &&
               peer.SendAll(Framed("hi"), [] {}) &&
               Within([] { return GetNetWorkDataLength(GetNetWorkHandleOfSlot(0)) == 2; }, [] {});
  seen += heard ? "; then heard" : "; then deaf";
  EndNetWork();
  LogClose();
  if (MemGetTotals().liveBlocks != blocks) seen += ", blocks left";
  return seen;
}

// In a process of its own: the epoll instance is made at the first
// registration and kept for the life of the process.
TEST(LoopbackDeathTest, AListenerThatCannotBeWatchedIsRefusedAndTheNextOneIsHeard) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::fprintf(stderr, "%s\n", ListenAtTheDescriptorLimit().c_str());
        std::fflush(stderr);
        _exit(0);
      },
      ::testing::ExitedWithCode(0),
      "refused, nothing kept, logged ネットワークログ。WSAAsyncSelectのエラー in OpenNetWorkListener\\[10024\\]; "
      "then heard\n");
}

void* EndTheNetwork(void* result) {
  *static_cast<int*>(result) = EndNetWork();
  return nullptr;
}

// The network's state is about 200 KB: the end clears it where it lies. A
// thread with 64 KiB of stack and a 1 MiB guard below it ends the network.
TEST(NetworkEndDeathTest, TheEndFitsInASmallStack) {
  EXPECT_EXIT(
      {
        StartNetWork();
        pthread_attr_t small;
        pthread_attr_init(&small);
        pthread_attr_setstacksize(&small, 64 << 10);
        pthread_attr_setguardsize(&small, 1 << 20);
        int result = -1;
        pthread_t thread;
        if (pthread_create(&thread, &small, EndTheNetwork, &result) == 0) pthread_join(thread, nullptr);
        _exit(result == 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
