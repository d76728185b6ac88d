// libFuzzer target: bytes from a peer through a framed handle's receive, in
// pieces and reads of sizes the input chooses (or a trickle of a few bytes
// at a time), against a plain reading of the same bytes. Any length stays
// as claimed, however far beyond the bytes there are: memory must follow
// what arrived, not the claim. Lengths within reach of the ring's limit are
// cut below 1 MiB, so that what the ring already holds cannot decide
// whether they fit; those no ring can hold must put the handle in error.
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include "core/memory.h"
#include "network/network.h"
#include "platform/scripted_sockets.h"

namespace {

struct Expected {
  std::string payloads;  // of the messages the bytes hold whole, up to any refused length
  bool refused = false;  // a length no ring can hold comes whole
};

Expected ReadPlainly(std::string& wire) {
  Expected out;
  size_t at = 0;
  while (wire.size() - at >= 4) {
    uint32_t n = 0;
    for (int i = 0; i < 4; i++) n |= static_cast<uint32_t>(static_cast<uint8_t>(wire[at + i])) << (8 * i);
    if (n >= 0x80000000u) {
      out.refused = true;
      break;
    }
    if (n > 0x7F000000u) {
      n &= 0xFFFFF;
      for (int i = 0; i < 4; i++) wire[at + i] = static_cast<char>(n >> (8 * i));
    }
    if (wire.size() - at - 4 < n) break;
    out.payloads.append(wire, at + 4, n);
    at += 4 + n;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::string wire(reinterpret_cast<const char*>(data) + 1, size - 1);
  Expected expected = ReadPlainly(wire);
  std::mt19937 rng(data[0]);
  const size_t maxPiece = data[0] & 0x80 ? 4 : 64;  // a trickle, or pieces
  int64_t blocksBefore = MemGetTotals().liveBlocks;
  int64_t bytesBefore = MemGetTotals().liveBytes;

  ScriptedSockets net;
  SetSocketBackend(&net);
  StartNetWork();
  OpenNetWorkListener(nullptr, 0, nullptr);
  net[0].waitingConnections = 1;
  PumpNetWorkMessages(1);
  int h = GetNetWorkHandleOfSlot(0);
  if (h == -1) std::abort();

  std::string got, buffer;
  bool failed = false;
  for (size_t fed = 0; !failed;) {
    size_t piece = std::min<size_t>(1 + rng() % maxPiece, wire.size() - fed);
    net[1].incoming.append(wire, fed, piece);
    fed += piece;
    size_t waiting = net[1].incoming.size();
    int ready = GetNetWorkDataLength(h);
    failed = ready < 0;
    if (ready > 0) {
      buffer.resize(1 + rng() % static_cast<uint32_t>(ready));
      // The read receives too, and may meet a refused length first.
      failed = NetWorkRecv(h, buffer.data(), static_cast<int>(buffer.size())) != 0;
      if (!failed) got += buffer;
    }
    // A call may stop after an empty message: the next one goes on.
    if (fed == wire.size() && ready <= 0 && net[1].incoming.size() == waiting) break;
  }
  // Everything read is the plain reading's start; all of it unless a length was refused.
  if (got != expected.payloads.substr(0, got.size())) std::abort();
  if (failed != expected.refused || (!failed && got != expected.payloads)) std::abort();

  // The rings, the records and the window: twice the bytes that came at most, and a little.
  if (MemGetTotals().liveBytes - bytesBefore > 2 * static_cast<int64_t>(wire.size()) + 65536) std::abort();

  net[1].peerShut = true;  // else the close waits a second for the rest of a message
  EndNetWork();
  SetSocketBackend(nullptr);
  if (MemGetTotals().liveBlocks != blocksBefore) std::abort();
  return 0;
}
