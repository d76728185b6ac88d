// HTTP transfers against a test server over loopback, step by step over the
// scripted socket table, and inside the library's own message processing.
#include <poll.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/core_api.h"
#include "core/log.h"
#include "network/http.h"
#include "network_test_util.h"
#include "platform/scripted_sockets.h"
#include "platform/scripted_window.h"
#include "tests/support/read_file.h"
#include "tests/support/scratch_dir.h"

namespace {

enum After { Keep, Close, Reset };

struct HttpCase {
  const char* name;
  int method;
  bool toFile;
  std::vector<std::string> reply;  // pieces, with passes between them
  After after;
  int endState, result, contentLength;
  std::string body;  // what the file or the block holds at the end
};

std::vector<std::string> EveryByte(const std::string& text) {
  std::vector<std::string> pieces;
  for (char c : text) pieces.emplace_back(1, c);
  return pieces;
}

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; i++) s[i] = static_cast<char>('a' + i * 7 % 26);
  return s;
}

class HttpLoopback : public NetworkFixture {
 protected:
  void SetUp() override {
    LogOpen();
    NetworkFixture::SetUp();
    server_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(local);
    ASSERT_EQ(bind(server_, reinterpret_cast<sockaddr*>(&local), sizeof(local)), 0);
    ASSERT_EQ(listen(server_, 8), 0);
    getsockname(server_, reinterpret_cast<sockaddr*>(&local), &size);
    port = ntohs(local.sin_port);
  }
  void TearDown() override {
    DeleteAllHttpHandles();
    close(server_);
    NetworkFixture::TearDown();
    LogClose();
  }
  Peer AcceptClient() {
    pollfd waiting{server_, POLLIN, 0};
    return Peer(poll(&waiting, 1, 120000) == 1 ? accept(server_, nullptr, nullptr) : -1);
  }
  static void Step() {
    PumpNetWorkMessages(1);
    PumpAllHttpTransfers();
  }

  ScratchDir dir;
  int port = 0;

 private:
  int server_ = -1;
};

TEST_F(HttpLoopback, RepliesEndTransfersAsTheirStatusLengthAndConnectionSay) {
  const std::string ok = "HTTP/1.0 200 OK\r\n";
  const HttpCase cases[] = {
      {"memory, split at every byte, left open", HttpMethodGet, false,
       EveryByte(ok + "Content-Length: 5\r\n\r\nhello"), Keep, 0, -1, 5, "hello"},
      {"file, no length, ended by the close", HttpMethodGet, true, {ok + "Server: t\r\n\r\n", Pattern(10000)},
       Close, 0, -1, -1, Pattern(10000)},
      {"404", HttpMethodGet, false, {"HTTP/1.0 404 Not Found\r\n\r\n"}, Close, 2, 1, -1, ""},
      {"500", HttpMethodGet, true, {"HTTP/1.1 500 Oops\r\n\r\n"}, Keep, 2, 0, -1, ""},
      {"post to memory", HttpMethodPost, false, {ok + "Content-Length: 2\r\n\r\nok"}, Keep, 0, -1, 2, "ok"},
      {"post to a file, ended by the close", HttpMethodPost, true, {"HTTP/1.0 200 OK\n\n", "abc", "def"}, Close,
       0, -1, -1, "abcdef"},
      {"head with a length", HttpMethodHead, false, {ok + "Date: x\r\nContent-Length: 1234\r\n\r\n"}, Keep, 0,
       -1, 1234, ""},
      {"head without a length", HttpMethodHead, false, {ok + "\r\n"}, Close, 2, 3, -1, ""},
      {"body shorter than its length", HttpMethodGet, false, {ok + "Content-Length: 10\r\n\r\nabc"}, Close, 2, 3,
       10, ""},
      {"body longer than its length, to a file", HttpMethodGet, true, {ok + "Content-Length: 3\r\n\r\nabcdef"},
       Keep, 0, -1, 3, "abc"},
      {"body longer than its length, to memory", HttpMethodGet, false, {ok + "Content-Length: 3\r\n\r\nabcdef"},
       Keep, 0, -1, 3, "abc"},
      {"never-ending header line", HttpMethodGet, false, {ok + "X: " + std::string(300, 'a')}, Keep, 2, 0, -1,
       ""},
      {"reset in the body", HttpMethodGet, false, {ok + "Content-Length: 100\r\n\r\nabc"}, Reset, 2, 3, 100, ""},
      {"negative length is unknown", HttpMethodGet, true, {ok + "Content-Length: -5\r\n\r\nxyz"}, Close, 0, -1,
       -1, "xyz"},
      {"memory without a length", HttpMethodGet, false, {ok + "\r\nxyz"}, Close, 2, 3, -1, ""},
      {"status line cut by the close", HttpMethodGet, false, {"HTTP/1.0 200"}, Close, 2, 3, -1, ""},
  };
  const std::string host = "127.0.0.1:" + std::to_string(port);
  for (const HttpCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string request = c.method == HttpMethodGet    ? "GET /r HTTP/1.0\r\nHost: " + host + "\r\nConnection: close\r\n\r\n"
                          : c.method == HttpMethodPost ? "POST /r HTTP/1.0\nHost: " + host + "\nContent-Length: 7\n\na=1&b=2"
                                                       : "HEAD /r HTTP/1.0\n\n";
    void* block = &block;  // the creation clears what the caller's pointer held
    bool toMemory = !c.toFile && c.method != HttpMethodHead;
    int slot = CreateHttpTransfer(c.method, "127.0.0.1", port, "/r", c.toFile ? "body.bin" : nullptr,
                                  toMemory ? &block : nullptr, "a=1&b=2", 7, 120000);
    ASSERT_EQ(slot, 0);
    if (toMemory) {
      EXPECT_EQ(block, nullptr);
    }
    Peer server = AcceptClient();
    ASSERT_TRUE(server.ok());
    ASSERT_TRUE(Within([&] { return server.Received().size() >= request.size(); }, Step));
    EXPECT_EQ(server.Received(), request);
    for (const std::string& piece : c.reply) {
      ASSERT_TRUE(server.SendAll(piece, Step));
      Step();
      Step();
    }
    if (c.after == Close) server.Close();
    if (c.after == Reset) server.Reset();
    ASSERT_TRUE(Within([&] { return GetHttpTransfer(slot)->endState != -1; }, Step));
    const HttpTransferRecord* t = GetHttpTransfer(slot);
    EXPECT_EQ(t->endState, c.endState);
    EXPECT_EQ(t->result, c.result);
    EXPECT_EQ(t->contentLength, c.contentLength);
    EXPECT_EQ(t->networkHandle, -1);
    if (c.toFile) {
      EXPECT_EQ(ReadWholeFile("body.bin"), c.body);
    } else if (toMemory && c.endState == 0) {
      ASSERT_NE(block, nullptr);
      EXPECT_EQ(std::string(static_cast<char*>(block), c.body.size()), c.body);
      MemFree(block);
    } else if (toMemory) {
      EXPECT_EQ(block, nullptr);  // a failed transfer takes its block back
    }
    EXPECT_EQ(DeleteHttpHandle(slot), 0);
  }
  std::vector<std::string> lines = LogLines(ReadWholeFile("Log.txt"));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "接続に失敗しました (戻り値:404)"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "接続に失敗しました (戻り値:500)"), 1);
}

class ScriptedHttp : public NetworkFixture {
 protected:
  void SetUp() override {
    SetSocketBackend(&net);
    NetworkFixture::SetUp();
  }
  void TearDown() override {
    DeleteAllHttpHandles();
    NetworkFixture::TearDown();
    SetSocketBackend(nullptr);
  }
  // Steps the transfer until it ends; the steps taken.
  static int StepsToEnd(int slot) {
    int steps = 0;
    while (GetHttpTransfer(slot)->endState == -1 && steps < 100) {
      RunHttpTransferStep(slot);
      steps++;
    }
    return steps;
  }

  ScratchDir dir;
  ScriptedSockets net;
  void* block = nullptr;
};

TEST_F(ScriptedHttp, EachHeaderLineTakesOneStepAndARequestGoesWholeBeforeTheReply) {
  int slot = CreateHttpTransfer(HttpMethodGet, "example", 80, "/p", nullptr, &block, nullptr, 0, 1000);
  ASSERT_EQ(slot, 0);
  net[0].incoming = "HTTP/1.0 200 OK\r\nA: 1\r\nB: 2\r\nContent-Length: 3\r\n\r\nabc";
  // Request, status line and A; B; the length; the empty line and the body.
  EXPECT_EQ(StepsToEnd(slot), 4);
  EXPECT_EQ(net[0].sent, "GET /p HTTP/1.0\r\nHost: example:80\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(GetHttpTransfer(slot)->endState, 0);
  EXPECT_EQ(std::string(static_cast<char*>(block), 3), "abc");
  MemFree(block);
  DeleteHttpHandle(slot);

  slot = CreateHttpTransfer(HttpMethodPost, "example", 8080, "/f", nullptr, &block, "0123456789", 10, 1000);
  net[0].incoming = "HTTP/1.0 200 OK\nContent-Length: 1\n\nz";
  net[0].sendRoom = 20;
  RunHttpTransferStep(slot);
  RunHttpTransferStep(slot);
  EXPECT_EQ(GetHttpTransfer(slot)->step, 0);
  EXPECT_EQ(net[0].incoming.size(), 36u);  // nothing read while the request is not all out
  net[0].sendRoom = -1;
  EXPECT_EQ(StepsToEnd(slot), 2);  // the rest, status line and length; the empty line and body
  EXPECT_EQ(net[0].sent, "POST /f HTTP/1.0\nHost: example:8080\nContent-Length: 10\n\n0123456789");
  EXPECT_EQ(std::string(static_cast<char*>(block), 1), "z");
  MemFree(block);
}

TEST_F(ScriptedHttp, ATransferWhoseConnectionIsGoneEndsAndFreesItsBlock) {
  int slot = CreateHttpTransfer(HttpMethodGet, "example", 80, "/", nullptr, &block, nullptr, 0, 1000);
  net[0].incoming = "HTTP/1.0 200 OK\r\nContent-Length: 9\r\n\r\npart";
  StepsToEnd(slot);  // stops at the step limit: the body is not whole
  EXPECT_EQ(GetHttpTransfer(slot)->received, 4);
  ASSERT_NE(block, nullptr);
  CloseNetWork(GetHttpTransfer(slot)->networkHandle);
  EXPECT_EQ(RunHttpTransferStep(slot), 0);
  EXPECT_EQ(GetHttpTransfer(slot)->endState, 2);
  EXPECT_EQ(GetHttpTransfer(slot)->result, 3);
  EXPECT_EQ(block, nullptr);
  block = &block;
  EXPECT_EQ(DeleteHttpHandle(slot), 0);  // ending again frees nothing more
  EXPECT_EQ(block, &block);

  for (int bad : {-1, kHttpSlots, slot}) {
    EXPECT_EQ(RunHttpTransferStep(bad), -1);
    EXPECT_EQ(EndHttpTransfer(bad, 2, 0), -1);
    EXPECT_EQ(DeleteHttpHandle(bad), -1);
  }
  // Requests that would not fit their buffers: a 128-byte host, a HEAD of
  // 5 + 241 + 11 bytes and its terminator, a POST of 56 + 100 + 101.
  const std::string host(128, 'h'), path241(241, 'p'), host100(100, 'h'), path101(101, 'p');
  EXPECT_EQ(CreateHttpTransfer(HttpMethodGet, host.c_str(), 80, "/", "f", nullptr, nullptr, 0, 1000), -1);
  EXPECT_EQ(CreateHttpTransfer(HttpMethodHead, "h", 80, path241.c_str(), nullptr, nullptr, nullptr, 0, 1000), -1);
  EXPECT_EQ(CreateHttpTransfer(HttpMethodPost, host100.c_str(), 65535, path101.c_str(), "f", nullptr, "x", 1000000000,
                               1000),
            -1);
  EXPECT_EQ(net.connectCount, 1);  // refused before connecting
}

TEST_F(ScriptedHttp, AStepTakesAtMostAMebibyteOfABodyThatKeepsComing) {
  struct Case {
    const char* name;
    int method;
    bool toFile;
    const char* length;  // the header's value, or null for none
  } cases[] = {{"get to a file without a length", HttpMethodGet, true, nullptr},
               {"get to memory", HttpMethodGet, false, "3145728"},
               {"post to a file with a length", HttpMethodPost, true, "3145728"}};
  const std::string body = Pattern(3 << 20);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int slot = CreateHttpTransfer(c.method, "example", 80, "/", c.toFile ? "body.bin" : nullptr,
                                  c.toFile ? nullptr : &block, "p", 1, 1000);
    ASSERT_EQ(slot, 0);
    int socket = GetNetWorkHandleOfSlot(0) & 0xFFFF;  // the only connection: slot and socket 0
    net[socket].incoming = std::string("HTTP/1.0 200 OK\r\n") +
                           (c.length ? std::string("Content-Length: ") + c.length + "\r\n" : "") + "\r\n";
    while (GetHttpTransfer(slot)->step < 3) RunHttpTransferStep(slot);
    // The server has sent the whole body before the first body step.
    net[socket].incoming += body;
    int steps = 0;
    for (size_t before = body.size(); GetHttpTransfer(slot)->endState == -1 && steps < 10; steps++) {
      if (before == 0) net[socket].peerShut = true;  // the end of a body without a length
      RunHttpTransferStep(slot);
      size_t after = net[socket].incoming.size();
      EXPECT_LE(before - after, size_t{1} << 20);
      before = after;
    }
    const HttpTransferRecord* t = GetHttpTransfer(slot);
    EXPECT_EQ(t->endState, 0);
    EXPECT_EQ(t->received, static_cast<int>(body.size()));
    EXPECT_GE(steps, 3);
    if (c.toFile) {
      EXPECT_TRUE(ReadWholeFile("body.bin") == body);
    } else {
      ASSERT_NE(block, nullptr);
      EXPECT_TRUE(std::string(static_cast<char*>(block), body.size()) == body);
      MemFree(block);
      block = nullptr;
    }
    DeleteHttpHandle(slot);
  }
}

TEST_F(ScriptedHttp, ABodyWithoutALengthIsCountedPastTwoGibibytes) {
  int slot = CreateHttpTransfer(HttpMethodGet, "example", 80, "/", "body.bin", nullptr, nullptr, 0, 1000);
  ASSERT_EQ(slot, 0);
  net[0].incoming = "HTTP/1.0 200 OK\r\n\r\n";
  while (GetHttpTransfer(slot)->step < 3) RunHttpTransferStep(slot);
  // Not two gibibytes sent: the count starts 1000 bytes short of the 32-bit limit.
  const int64_t start = INT32_MAX - 1000;
  const_cast<HttpTransferRecord*>(GetHttpTransfer(slot))->received = start;
  const std::string body = Pattern(10000);
  net[0].incoming = body;
  net[0].peerShut = true;
  StepsToEnd(slot);
  const HttpTransferRecord* t = GetHttpTransfer(slot);
  EXPECT_EQ(t->endState, 0);
  EXPECT_EQ(t->received, start + 10000);
  EXPECT_TRUE(ReadWholeFile("body.bin") == body);
}

TEST(NetworkInLibrary, MessageProcessingStepsTransfersAndTheEndReleasesEverything) {
  ScratchDir dir;
  ScriptedWindow window;
  ScriptedSockets net;
  SetPlatformWindow(&window);
  SetSocketBackend(&net);
  EnableLogFile(1);
  ChangeWindowMode(1);
  ASSERT_EQ(LibraryInit(), 0);
  ASSERT_EQ(StartNetWork(), 0);
  void* block = nullptr;
  int answered = CreateHttpTransfer(HttpMethodGet, "h", 80, "/", nullptr, &block, nullptr, 0, 1000);
  int waiting = CreateHttpTransfer(HttpMethodGet, "h", 80, "/", "left.bin", nullptr, nullptr, 0, 1000);
  net[0].incoming = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nhi";
  for (int pass = 0; pass < 5; pass++) ProcessWindowMessages();
  EXPECT_EQ(GetHttpTransfer(answered)->endState, 0);
  EXPECT_EQ(GetHttpTransfer(waiting)->endState, -1);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(block), 2), "hi");
  MemFree(block);
  window.Push(WM_SOCKET_EVENT, 99, kSocketEventRead);
  ProcessWindowMessages();
  LibraryEnd();
  SetSocketBackend(nullptr);
  SetPlatformWindow(nullptr);
  std::vector<std::string> lines = LogLines(ReadWholeFile("Log.txt"));
  for (const char* line : {"通信エラー No.1", "ネットワーク関連の終了処理を行います ", "ネットワーク関連の終了処理は完了しました"}) {
    EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1) << line;
  }
  EXPECT_EQ(lines.back(), "解放されていないメモリブロックは 0 個 ( 計 0 バイト ) でした");
  EXPECT_EQ(GetHttpTransfer(waiting), nullptr);
}

}  // namespace
