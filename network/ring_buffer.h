// The byte rings of a network handle: one for received messages, one for
// data waiting to be sent. Read == write is both empty and full; the held
// count tells them apart. An index equal to the capacity means 0.
#pragma once
#include <cstdint>

struct RingBuffer {
  uint8_t* data;
  int32_t read;
  int32_t write;
  int32_t held;
  int32_t capacity;
};

// Copies n bytes from the read index; unless peek, takes them out. 0, or -1
// when fewer than n bytes are held.
int ReadRingBuffer(RingBuffer* ring, void* buffer, int32_t n, int peek);
// Grows the ring as needed and adds n bytes at the write index; 0, or -1.
int AppendRingBuffer(RingBuffer* ring, const void* bytes, int32_t n);
// Makes room for held + n bytes: a new ring of held + n + 1000 bytes, or
// twice the old one when that is more. A failure frees the ring's data and
// clears it (logged); -1. n is 64-bit so that any length a peer sends is measured.
int ReserveRingBuffer(RingBuffer* ring, int64_t n);
// Whether a ring could ever grow to hold n bytes more than it holds.
bool RingBufferCanHold(const RingBuffer* ring, int64_t n);
int FreeRingBuffer(RingBuffer* ring);
void WrapRingBufferIndexes(RingBuffer* ring);
