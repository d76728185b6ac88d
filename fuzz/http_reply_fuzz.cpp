// libFuzzer target: any reply to an HTTP transfer, in pieces the input
// chooses, with steps between them, and when the input asks a long body
// after it at once; no step takes more than a mebibyte of it, once the
// server has closed the transfer must end within a step per reply byte (and
// per mebibyte of the long body), and it gives back what it took.
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include "core/memory.h"
#include "network/http.h"
#include "network/network.h"
#include "platform/scripted_sockets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int method = data[0] % 3;
  const bool toMemory = (data[0] & 4) != 0;
  const bool longBody = (data[0] & 0x80) != 0;
  std::mt19937 rng(data[0] >> 3);
  std::string reply(reinterpret_cast<const char*>(data) + 1, size - 1);
  int64_t blocksBefore = MemGetTotals().liveBlocks;

  ScriptedSockets net;
  SetSocketBackend(&net);
  StartNetWork();
  void* block = nullptr;
  int slot = CreateHttpTransfer(method, "h", 80, "/", toMemory ? nullptr : "/dev/null", toMemory ? &block : nullptr,
                                "data", 4, 100);
  if (slot < 0) std::abort();
  // A step reads at most a mebibyte of body, after at most a few lines.
  auto step = [&] {
    size_t before = net[0].incoming.size();
    RunHttpTransferStep(slot);
    if (before - net[0].incoming.size() > (size_t{1} << 20) + 1024) std::abort();
  };
  for (size_t fed = 0; fed < reply.size();) {
    size_t piece = std::min<size_t>(1 + rng() % 300, reply.size() - fed);
    net[0].incoming.append(reply, fed, piece);
    fed += piece;
    for (uint32_t steps = rng() % 3; steps > 0; steps--) step();
  }
  const size_t extra = longBody ? rng() % (3 << 19) : 0;  // up to 1.5 MiB: more than a step takes
  net[0].incoming.append(extra, 'b');
  for (uint32_t steps = rng() % 3; steps > 0; steps--) step();
  net[0].peerShut = true;
  for (size_t steps = 0; GetHttpTransfer(slot)->endState == -1; steps++) {
    if (steps > reply.size() + extra / (1 << 20) + 10) std::abort();  // would never end
    step();
  }
  const HttpTransferRecord* t = GetHttpTransfer(slot);
  if (t->networkHandle != -1 || (t->endState == 0) != (t->result == -1)) std::abort();
  if (t->contentLength >= 0 && t->received > t->contentLength) std::abort();
  MemFree(block);
  DeleteHttpHandle(slot);
  EndNetWork();
  SetSocketBackend(nullptr);
  if (MemGetTotals().liveBlocks != blocksBefore) std::abort();
  return 0;
}
