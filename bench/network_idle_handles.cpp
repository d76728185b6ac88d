// One public network call (GetNetWorkDataLength on a framed handle with
// nothing to read) while 1 or 4,000 connections are open and silent: every
// call pumps the network window, so its cost must not follow the number of
// handles. Connections are over loopback, both ends in this process.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "network/network.h"

namespace {

int ConnectTo(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void IdleCall(benchmark::State& state, int handles) {
  // Both ends of every connection live here.
  rlimit files;
  getrlimit(RLIMIT_NOFILE, &files);
  files.rlim_cur = std::max<rlim_t>(files.rlim_cur, std::min<rlim_t>(files.rlim_max, 2 * handles + 64));
  setrlimit(RLIMIT_NOFILE, &files);
  if (files.rlim_cur < static_cast<rlim_t>(2 * handles + 64)) return state.SkipWithError("too few descriptors");
  int port = 0;
  StartNetWork();
  if (OpenNetWorkListener("127.0.0.1", 0, &port) == -1) return state.SkipWithError("no listener");
  std::vector<int> peers;
  for (int i = 0; i < handles; i++) {
    peers.push_back(ConnectTo(port));
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
  for (int handles : {1, 4000}) {
    benchmark::RegisterBenchmark(("net.idle_call@" + std::to_string(handles)).c_str(),
                                 [handles](benchmark::State& state) { IdleCall(state, handles); })
        ->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

}  // namespace
