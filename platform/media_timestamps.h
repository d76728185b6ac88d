// The times of a movie file's packets, checked as they are read, in units
// of 100 ns of the movie's time.
//
// A container whose times may start again (recordings joined end to end,
// streams cut from a broadcast) gives a stream a new segment where its
// times step back to where they began or jump more than kTimeJumpUnits
// either way: the segment's times are shifted on from where the stream
// stood, so the movie's time runs on. In any other container a sound time
// that lies far from everything read so far is broken and counts as
// missing: the sound goes on from the sound before it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int64_t kNoPacketTime = INT64_MIN;
constexpr int64_t kPacketTimeUnitsPerSecond = 10000000;
// A jump no gap or late start of a real file makes, in either direction.
constexpr int64_t kTimeJumpUnits = 10 * kPacketTimeUnitsPerSecond;

struct StreamTimes {
  int64_t offset = 0;             // added to its times in the segment under way
  int64_t began = kNoPacketTime;  // its first time as stored in that segment
  int64_t next = kNoPacketTime;   // where its next packet should lie
  int64_t last = kNoPacketTime;   // where its last packet went
  int64_t step = 0;               // from the one before that: a packet's length where none is given
};

struct PacketTimes {
  bool timesMayRestart = false;
  int64_t length = kNoPacketTime;        // the file's, where its container says
  int64_t picturesRead = kNoPacketTime;  // the latest picture's time read
  int64_t lastRead = kNoPacketTime;      // the time of the packet read last
  std::vector<StreamTimes> streams;
};

struct PacketTimeCheck {
  int64_t shift;  // to add to the packet's times
  bool broken;    // its times are to be taken as missing
};

void ResetPacketTimes(PacketTimes* times, size_t streams, bool timesMayRestart, int64_t length);

// time: the packet's decoding time, else its presentation time, or
// kNoPacketTime; duration: its length, 0 when not known (the step between
// the stream's last two packets then stands for it). A picture's time
// is judged against the file's length alone, where the container gives
// one: a slide show's pictures may lie far apart, and nothing but the
// length says how far is too far.
PacketTimeCheck CheckPacketTime(PacketTimes* times, size_t stream, bool picture, int64_t time,
                                int64_t duration);
