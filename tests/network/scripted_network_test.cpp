// Network handles over the scripted socket table: partial sends, errors,
// hostile lengths, a full table and line reads, with exact wire bytes.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/memory.h"
#include "network/network.h"
#include "network_test_util.h"
#include "platform/scripted_sockets.h"
#include "tests/support/read_file.h"
#include "tests/support/scratch_dir.h"

namespace {

class ScriptedNetwork : public NetworkFixture {
 protected:
  void SetUp() override {
    SetSocketBackend(&net);
    LogOpen();
    NetworkFixture::SetUp();
    int listener = OpenNetWorkListener(nullptr, 0, nullptr);
    ASSERT_EQ(listener, GetNetWorkHandleOfSlot(kNetWorkListenerSlot));
  }
  void TearDown() override {
    NetworkFixture::TearDown();
    LogClose();
    SetSocketBackend(nullptr);
  }
  // A connection accepted through the listener's event (into the first free slot): its handle.
  int Accept() {
    int slot = 0;
    while (GetNetWorkHandleOfSlot(slot) != -1) slot++;
    net[0].waitingConnections++;
    Pass();
    return GetNetWorkHandleOfSlot(slot);
  }
  static std::vector<std::string> Log() { return LogLines(ReadWholeFile("Log.txt")); }

  ScratchDir dir;
  ScriptedSockets net;
  char buffer[64] = {};
};

TEST_F(ScriptedNetwork, PartSentBlocksFinishBeforeTheDataQueuedBehindThem) {
  int h = Accept();
  ASSERT_NE(h, -1);
  std::string first = Framed("ABCDEFGHIJ");
  net[1].sendRoom = 6;
  EXPECT_EQ(NetWorkSend(h, "ABCDEFGHIJ", 10), 0);
  EXPECT_EQ(net[1].sent, first.substr(0, 6));  // the length and "AB"
  EXPECT_EQ(NetWorkSend(h, "xyz", 3), 0);
  EXPECT_EQ(NetWorkSend(h, "uv", 2), 0);
  EXPECT_EQ(net[1].sent, first.substr(0, 6));
  net[1].sendRoom = 2;
  Pass();  // the write event of the send that took part
  EXPECT_EQ(net[1].sent, first.substr(0, 8));
  net[1].sendRoom = 11;
  Pass();  // the rest of the block, then what queued behind it as one block
  EXPECT_EQ(net[1].sent, first + Framed("xyzuv").substr(0, 5));
  net[1].sendRoom = -1;
  Pass();
  EXPECT_EQ(net[1].sent, first + Framed("xyzuv"));

  // A length that goes out in two parts.
  net[1].sendRoom = 2;
  EXPECT_EQ(NetWorkSend(h, "Q", 1), 0);
  net[1].sendRoom = -1;
  Pass();
  EXPECT_EQ(net[1].sent, first + Framed("xyzuv") + Framed("Q"));

  // A failed send leaves the data queued for the next attempt.
  net[1].sent.clear();
  net[1].failNextSend = kSocketErrReset;
  EXPECT_EQ(NetWorkSend(h, "abc", 3), 0);
  EXPECT_EQ(net[1].sent, "");
  EXPECT_EQ(NetWorkSend(h, "de", 2), 0);
  EXPECT_EQ(net[1].sent, Framed("abc") + Framed("de"));
}

TEST_F(ScriptedNetwork, ReadsTakeOnlyWholeMessagesAndNoNegativeLengths) {
  int h = Accept();
  net[1].incoming = Framed("abc") + Framed("defgh").substr(0, 6);
  EXPECT_EQ(GetNetWorkDataLength(h), 3);
  EXPECT_EQ(NetWorkRecv(h, buffer, 5), -1);  // "de" of the second are held but not whole
  EXPECT_EQ(NetWorkRecvToPeek(h, buffer, 5), -1);
  EXPECT_EQ(NetWorkRecvToPeek(h, buffer, 3), 0);
  EXPECT_EQ(std::string(buffer, 3), "abc");
  EXPECT_EQ(NetWorkRecv(h, buffer, -1), -1);
  EXPECT_EQ(NetWorkRecvToPeek(h, buffer, -1), -1);
  EXPECT_EQ(NetWorkSend(h, buffer, -1), -1);
  EXPECT_EQ(NetWorkRecvLine(h, buffer), -1);  // framed handles have no lines
  net[1].failNextReceive = kSocketErrReset;
  net[1].incoming += "fgh";
  // The read event's receive fails and leaves the bytes; the call's own receive takes them.
  EXPECT_EQ(GetNetWorkDataLength(h), 8);
  EXPECT_EQ(net[1].failNextReceive, 0);
  EXPECT_EQ(NetWorkRecv(h, buffer, 8), 0);
  EXPECT_EQ(std::string(buffer, 8), "abcdefgh");
  EXPECT_EQ(GetNetWorkDataLength(h), 0);
}

TEST_F(ScriptedNetwork, ALengthNoRingCanHoldPutsTheHandleInErrorAndItCloses) {
  struct Case {
    uint32_t length;
    const char* asked;  // length + 1000, what the ring would need
  } cases[] = {{0xFFFFFFFFu, "4294968295"}, {0x80000000u, "2147484648"}, {0x7FFFFC18u, "2147483648"}};
  for (const Case& c : cases) {
    int h = Accept();
    ASSERT_EQ(h & 0xFFFF, 0);  // the one before closed: socket 1, slot 0 again
    std::string prefix;
    for (int i = 0; i < 4; i++) prefix += static_cast<char>(c.length >> (8 * i));
    net[1].incoming = prefix + "tail";
    // The read event's receive fails first; every call after it is refused.
    EXPECT_EQ(GetNetWorkDataLength(h), -1);
    EXPECT_EQ(NetWorkRecv(h, buffer, 1), -1);
    std::vector<std::string> lines = Log();
    ASSERT_GE(lines.size(), 6u);
    const std::string refused = "このネットワークハンドルにはエラーが発生しています in ";
    std::vector<std::string> expected = {
        std::string("リングバッファの再確保に失敗しました(確保しようとしたサイズ ") + c.asked + " byte)",
        "受信データを保存するリングバッファのリサイズに失敗しました(データサイズ " + std::to_string(c.length) + " byte)",
        refused + "RecvSocket", refused + "SendSocket", refused + "GetNetWorkDataLength", refused + "NetWorkRecv"};
    EXPECT_EQ(std::vector<std::string>(lines.end() - 6, lines.end()), expected);
    Pass();
    EXPECT_EQ(GetNetWorkHandleOfSlot(0), -1);
  }
}

TEST_F(ScriptedNetwork, AClaimedLengthTakesMemoryOnlyAsItsBytesArrive) {
  auto prefix = [](uint32_t length) {
    std::string bytes;
    for (int i = 0; i < 4; i++) bytes += static_cast<char>(length >> (8 * i));
    return bytes;
  };
  // Sixteen handles told of messages of 1 GiB and of the longest a ring can
  // hold (2^31 - 1 - 1000 bytes), with ten bytes of each here.
  const int64_t before = MemGetTotals().liveBytes;
  for (int i = 0; i < 16; i++) {
    int h = Accept();
    ASSERT_NE(h, -1);
    net[1 + i].incoming = prefix(i % 2 ? 0x7FFFFC17u : 1u << 30) + "0123456789";
    EXPECT_EQ(GetNetWorkDataLength(h), 0);
    EXPECT_EQ(net[1 + i].incoming, "");
  }
  EXPECT_LT(MemGetTotals().liveBytes - before, 16 * 65536);
  for (int i = 0; i < 16; i++) net[1 + i].peerShut = true;  // else each close waits a second for the rest

  // A message of 3 MiB that trickles in: its ring stays within twice what
  // has come, and the message is whole and in order at its end.
  int h = Accept();
  const int socket = 17;
  std::mt19937 rng(32);
  std::string message(3 << 20, '\0');
  for (char& c : message) c = static_cast<char>(rng());
  const std::string wire = prefix(static_cast<uint32_t>(message.size())) + message;
  const int64_t start = MemGetTotals().liveBytes;
  for (size_t fed = 0; fed < wire.size();) {
    size_t piece = std::min<size_t>(1 + rng() % 200000, wire.size() - fed);
    net[socket].incoming.append(wire, fed, piece);
    fed += piece;
    int expected = fed == wire.size() ? static_cast<int>(message.size()) : 0;
    ASSERT_EQ(GetNetWorkDataLength(h), expected) << fed;
    ASSERT_LE(MemGetTotals().liveBytes - start, 2 * static_cast<int64_t>(fed) + 65536) << fed;
  }
  std::string got(message.size(), '\0');
  ASSERT_EQ(NetWorkRecv(h, got.data(), static_cast<int>(got.size())), 0);
  EXPECT_TRUE(got == message);
}

TEST_F(ScriptedNetwork, OnePassTakesInAndSendsOutForEveryHandleThatHasAnEvent) {
  // Sixteen handles whose peers all sent a message, and whose queued
  // messages all wait for room to send; socket 1 + i is handle i's.
  std::vector<int> handles;
  for (int i = 0; i < 16; i++) {
    handles.push_back(Accept());
    net[1 + i].sendRoom = 0;
    ASSERT_EQ(NetWorkSend(handles.back(), "out", 3), 0);
  }
  for (int i = 0; i < 16; i++) {
    net[1 + i].incoming = Framed("in" + std::to_string(i));
    net[1 + i].sendRoom = -1;
  }
  Pass();
  for (int i = 0; i < 16; i++) {
    EXPECT_EQ(net[1 + i].incoming, "") << i;
    EXPECT_EQ(net[1 + i].sent, Framed("out")) << i;
  }
  for (int i = 0; i < 16; i++) EXPECT_EQ(GetNetWorkDataLength(handles[i]), i < 10 ? 3 : 4) << i;
}

TEST_F(ScriptedNetwork, ACallLooksOnlyAtSocketsWithSomethingToReport) {
  const int busy = Accept();
  net[0].waitingConnections = 2000;
  for (int pass = 0; pass < 4000 && net[0].waitingConnections > 0; pass++) Pass();
  ASSERT_NE(GetNetWorkHandleOfSlot(2000), -1);
  Pass();  // the new handles' first write events
  Pass();  // and a look that finds nothing more to report
  // Two thousand idle handles: calls and passes look at none of them.
  net.polled = 0;
  EXPECT_EQ(GetNetWorkDataLength(busy), 0);
  EXPECT_EQ(NetWorkSend(busy, "x", 1), 0);
  Pass();
  EXPECT_EQ(net.polled, 0);
  // Those that have something are looked at: when their event comes, and
  // once more when they have nothing left to report.
  net[1].incoming = Framed("ab");
  net[7].peerShut = true;
  EXPECT_EQ(GetNetWorkDataLength(busy), 2);
  Pass();
  EXPECT_EQ(net.polled, 4);
  Pass();
  EXPECT_EQ(net.polled, 4);
}

TEST_F(ScriptedNetwork, AFullTableRefusesTheNextConnectionAndKeepsListening) {
  net[0].waitingConnections = kNetWorkListenerSlot + 1;
  for (int pass = 0; pass < 2 * kNetWorkListenerSlot && net[0].waitingConnections > 0; pass++) Pass();
  EXPECT_EQ(net[0].waitingConnections, 0);  // the last one taken and closed, not left waiting
  for (int slot = 0; slot < kNetWorkListenerSlot; slot++) ASSERT_NE(GetNetWorkHandleOfSlot(slot), -1) << slot;
  EXPECT_EQ(net.sockets.size(), kNetWorkListenerSlot + 2u);
  EXPECT_FALSE(net.sockets.back().open);
  EXPECT_EQ(Log().back(), "空きソケットデータがなかったので accept を拒否しました ");
  EXPECT_EQ(CloseNetWork(GetNetWorkHandleOfSlot(5)), 0);
  net[0].waitingConnections = 1;
  Pass();
  EXPECT_NE(GetNetWorkHandleOfSlot(5), -1);
}

TEST_F(ScriptedNetwork, LinesEndAtTheFirstLineFeedThatIsNotPartOfACharacter) {
  SetNetWorkUnframedOption(1);
  int h = Accept();
  struct Case {
    std::string in;
    int result;
    std::string line;
    size_t left;  // bytes not consumed
    int stuck;
  } cases[] = {
      {"HTTP/1.0 200 OK\r\nrest", 0, "HTTP/1.0 200 OK\r", 4, 0},
      {"\x82\n\nx", 0, "\x82\n", 1, 0},  // the first line feed is a character's second byte
      {"abc", -1, "", 3, 0},
      {std::string(254, 'a') + "\n", 0, std::string(254, 'a'), 0, 0},
      {std::string(255, 'a') + "\n", -1, "", 256, 1},
      {std::string("ab\x82\0\n", 5), -1, "", 5, 1},  // a zero byte where a second byte would be
  };
  for (const Case& c : cases) {
    net[1].incoming = c.in;
    char line[256] = {};
    int stuck = -1;
    EXPECT_EQ(RecvNetWorkLine(h, line, &stuck), c.result) << c.in;
    EXPECT_EQ(std::string(line), c.line);
    EXPECT_EQ(net[1].incoming.size(), c.left);
    EXPECT_EQ(stuck, c.stuck);
  }
}

TEST_F(ScriptedNetwork, StaleUnknownAndForeignHandlesAreRefused) {
  int h = Accept();
  EXPECT_EQ(DispatchSocketEvent(77, kSocketEventRead), 0);
  EXPECT_EQ(Log().back(), "通信エラー No.1");
  EXPECT_EQ(CloseNetWork(h), 0);
  EXPECT_EQ(CloseNetWork(h), -1);
  int again = Accept();  // the same slot under the next check number
  EXPECT_EQ(again & 0xFFFF, h & 0xFFFF);
  EXPECT_NE(again, h);
  for (int bad : {h, again ^ (1 << 27), again | (1 << 31), again + 1}) {
    EXPECT_EQ(NetWorkRecv(bad, buffer, 1), -1);
    EXPECT_EQ(NetWorkSend(bad, buffer, 1), -1);
    EXPECT_EQ(GetNetWorkDataLength(bad), -1);
    EXPECT_EQ(GetNetWorkAcceptState(bad), -1);
  }
  EXPECT_EQ(GetNetWorkAcceptState(again), 1);
  EXPECT_EQ(Log().back(), "通信エラー No.1");  // refused without a word
}

// A socket the backend refuses to watch would never report an event: each
// call that made one refuses it, says why and keeps nothing of it.
TEST(ScriptedNetworkWatch, ASocketThatCannotBeWatchedIsRefusedWhereverItIsMade) {
  ScratchDir dir;
  ScriptedSockets net;
  SetSocketBackend(&net);
  LogOpen();
  const int64_t blocks = MemGetTotals().liveBlocks;
  ASSERT_EQ(StartNetWork(), 0);
  net.failWatch = kSocketErrNoBuffers;
  EXPECT_EQ(OpenNetWorkListener(nullptr, 0, nullptr), -1);
  EXPECT_EQ(ConnectNetWork("peer", 80, 1, 1, 1000), -1);
  net.failWatch = 0;
  ASSERT_NE(OpenNetWorkListener(nullptr, 0, nullptr), -1);
  net.failWatch = kSocketErrNoBuffers;
  net[0].waitingConnections = 1;
  PumpNetWorkMessages(1);
  EXPECT_EQ(net[0].waitingConnections, 0);
  EXPECT_EQ(GetNetWorkHandleOfSlot(0), -1);
  ASSERT_EQ(net.sockets.size(), 2u);  // the listener, and each refused socket in turn
  EXPECT_FALSE(net.sockets[1].open);
  const std::vector<std::string> lines = LogLines(ReadWholeFile("Log.txt"));
  ASSERT_GE(lines.size(), 3u);
  const std::string refused = "ネットワークログ。WSAAsyncSelectのエラー in ";
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{refused + "OpenNetWorkListener[10055]", refused + "ConnectNetWork[10055]",
                                      refused + "AcceptNetWork[10055]"}));
  EndNetWork();
  LogClose();
  SetSocketBackend(nullptr);
  EXPECT_EQ(MemGetTotals().liveBlocks, blocks);
}

// A ring of the largest capacity whose bytes are only reachable at its two
// ends: 2 GiB of address space with no memory behind it but its first and
// last page, and an inaccessible page after its end, so that a transfer past
// the end faults instead of passing unseen.
class RingAtTheEdge : public ::testing::Test {
 protected:
  static constexpr size_t kSpan = size_t{1} << 31;
  void SetUp() override {
    page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    base = static_cast<uint8_t*>(
        mmap(nullptr, kSpan + page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0));
    ASSERT_NE(base, MAP_FAILED);
    ASSERT_EQ(mprotect(base, page, PROT_READ | PROT_WRITE), 0);
    ASSERT_EQ(mprotect(base + kSpan - page, page, PROT_READ | PROT_WRITE), 0);
    ring = RingBuffer{base + 1, 0, 0, 0, INT32_MAX};  // its end is the span's end
    SetSocketBackend(&net);
    socket = SocketConnect("peer", 1);
    ASSERT_EQ(socket, 0);
  }
  void TearDown() override {
    SocketClose(socket);
    SetSocketBackend(nullptr);
    munmap(base, kSpan + page);
  }

  size_t page = 0;
  uint8_t* base = nullptr;
  RingBuffer ring{};
  ScriptedSockets net;
  PlatformSocket socket = kNoSocket;
};

TEST_F(RingAtTheEdge, TransfersThatCrossTheEndSplitThereBothWays) {
  std::string bytes(1000, '\0');
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = static_cast<char>(i * 7 + 3);
  const int32_t nearEnd = INT32_MAX - 100;  // 100 bytes to the end, 900 wrap to the start
  auto* end = reinterpret_cast<char*>(ring.data) + INT32_MAX;

  ring.write = nearEnd;
  net[0].incoming = bytes;
  EXPECT_EQ(ReceiveIntoRing(&ring, socket, 1000), 1000);
  EXPECT_EQ(ring.write, 900);
  EXPECT_EQ(std::string(end - 100, 100) + std::string(reinterpret_cast<char*>(ring.data), 900), bytes);

  ring.read = nearEnd;
  EXPECT_EQ(SendFromRing(&ring, socket, 1000), 1000);
  EXPECT_EQ(ring.read, 900);
  EXPECT_EQ(net[0].sent, bytes);

  // Pieces that stop short of the end stay in one piece.
  ring.write = ring.read = INT32_MAX - 1000;
  net[0].incoming = bytes;
  net[0].sent.clear();
  EXPECT_EQ(ReceiveIntoRing(&ring, socket, 1000), 1000);
  EXPECT_EQ(ring.write, INT32_MAX);
  EXPECT_EQ(SendFromRing(&ring, socket, 1000), 1000);
  EXPECT_EQ(net[0].sent, bytes);
}

TEST(NetworkNotStarted, EveryCallRefusesAndNothingHappens) {
  char buffer[4];
  int h = 0x48000000;
  EXPECT_EQ(NetWorkRecv(h, buffer, 1), -1);
  EXPECT_EQ(NetWorkRecvToPeek(h, buffer, 1), -1);
  EXPECT_EQ(NetWorkSend(h, buffer, 1), -1);
  EXPECT_EQ(NetWorkRecvLine(h, buffer), -1);
  EXPECT_EQ(GetNetWorkDataLength(h), -1);
  EXPECT_EQ(GetNetWorkAcceptState(h), -1);
  EXPECT_EQ(CloseNetWork(h), -1);
  EXPECT_EQ(AcceptNetWork(), -1);
  EXPECT_EQ(DispatchSocketEvent(3, kSocketEventRead), 0);
  EXPECT_EQ(PumpNetWorkMessages(1), 0);
  EXPECT_EQ(EndNetWork(), 0);
}

}  // namespace
