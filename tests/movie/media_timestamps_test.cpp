// The checking of a movie file's packet times, packet by packet: where a
// restarting container's times start a new segment, and what counts as a
// broken time in any other.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/media_timestamps.h"

namespace {

constexpr double kBroken = NAN;
constexpr double kUnknown = NAN;
constexpr int kPicture = 0, kSound = 1;

struct Packet {
  int stream;
  double at, duration;  // seconds, as stored
  double placed;        // seconds after the check, or kBroken
};

struct Case {
  const char* what;
  bool timesMayRestart;
  double length;  // seconds, or kUnknown
  std::vector<Packet> packets;
};

int64_t Units(double seconds) { return std::llround(seconds * kPacketTimeUnitsPerSecond); }

TEST(PacketTimes, RestartsRunOnAndBrokenTimesGoMissing) {
  const Case cases[] = {
      // Containers whose times may start again.
      {"a step back of 2 s is passed over later, not a new segment", true, kUnknown,
       {{kSound, 0.0, 0.1, 0.0}, {kSound, 4.9, 0.1, 4.9}, {kSound, 3.0, 0.1, 3.0}, {kSound, 3.1, 0.1, 3.1}}},
      {"sound that starts again at its beginning runs on", true, kUnknown,
       {{kSound, 0.0, 0.1, 0.0}, {kSound, 4.9, 0.1, 4.9}, {kSound, 0.0, 0.1, 5.0}, {kSound, 0.1, 0.1, 5.1}}},
      {"a jump of 1000 s runs on, and so does the jump back", true, kUnknown,
       {{kSound, 2.9, 0.1, 2.9}, {kSound, 1003.0, 0.1, 3.0}, {kSound, 3.1, 0.1, 3.1}, {kPicture, 3.1, 0.1, 3.1}}},
      {"two clocks in one stream play as one", true, kUnknown,
       {{kSound, 1.0, 0.1, 1.0}, {kSound, 1001.1, 0.1, 1.1}, {kSound, 1.2, 0.1, 1.2}, {kSound, 1001.3, 0.1, 1.3}}},
      {"two files joined: each stream runs on from where it stood", true, kUnknown,
       {{kPicture, 1.4, 0.1, 1.4},
        {kSound, 1.4, 0.1, 1.4},
        {kPicture, 11.4, 0.1, 11.4},
        {kSound, 11.3, 0.1, 11.3},
        {kPicture, 1.4, 0.1, 11.5},
        {kSound, 1.4, 0.1, 11.4},
        {kPicture, 1.5, 0.1, 11.6}}},
      {"without durations, the step between packets stands for one", true, kUnknown,
       {{kSound, 0.0, 0, 0.0}, {kSound, 4.8, 0, 4.8}, {kSound, 4.9, 0, 4.9}, {kSound, 0.0, 0, 5.0}}},
      {"a step back under a second, near the start, is no restart", true, kUnknown,
       {{kSound, 0.0, 0, 0.0}, {kSound, 0.5, 0, 0.5}, {kSound, 0.6, 0, 0.6}}},
      {"a jump under 10 s is a gap", true, kUnknown, {{kSound, 1.0, 0.1, 1.0}, {kSound, 9.0, 0.1, 9.0}}},
      {"a stream that starts far from the file's time starts where it stands", true, kUnknown,
       {{kPicture, 5.0, 0.1, 5.0}, {kSound, 105.0, 0.1, 5.0}, {kSound, 105.1, 0.1, 5.1}}},
      // Containers whose times do not start again.
      {"one sound time 1000 s on goes missing, the length stretched by it", false, 1003.1,
       {{kPicture, 2.9, 0.1, 2.9}, {kSound, 2.9, 0.1, 2.9}, {kSound, 1003.0, 0.1, kBroken}, {kSound, 3.1, 0.1, 3.1}}},
      {"sound past the length and everything read goes missing", false, 10.0,
       {{kPicture, 9.0, 0.1, 9.0}, {kSound, 9.0, 0.1, 9.0}, {kSound, 15.0, 0.1, kBroken}}},
      {"a real gap, the pictures read on to it, is kept", false, 8.0,
       {{kSound, 1.9, 0.1, 1.9}, {kPicture, 7.0, 0.1, 7.0}, {kSound, 7.0, 0.1, 7.0}}},
      {"a late first sound is kept", false, 8.0, {{kPicture, 3.9, 0.1, 3.9}, {kSound, 4.0, 0.1, 4.0}}},
      {"a small step back is kept, to be passed over later", false, 10.0,
       {{kSound, 4.9, 0.1, 4.9}, {kSound, 3.0, 0.1, 3.0}}},
      {"sound far behind where it stood, or before the start, goes missing", false, 30.0,
       {{kSound, 20.0, 0.1, 20.0}, {kSound, 5.0, 0.1, kBroken}, {kSound, -5.0, 0.1, kBroken},
        {kSound, 20.3, 0.1, 20.3}}},
      {"a picture is judged by the length alone", false, 10.0,
       {{kPicture, 0.0, 2.0, 0.0}, {kPicture, 8.0, 2.0, 8.0}, {kPicture, 1000.0, 2.0, kBroken}}},
      {"with no length a far picture is kept", false, kUnknown,
       {{kPicture, 0.0, 0.5, 0.0}, {kPicture, 600.0, 0.5, 600.0}}},
      {"with nothing read and no length, sound is kept", false, kUnknown, {{kSound, 500.0, 0.1, 500.0}}},
  };
  for (const Case& c : cases) {
    PacketTimes times;
    ResetPacketTimes(&times, 2, c.timesMayRestart, std::isnan(c.length) ? kNoPacketTime : Units(c.length));
    for (size_t i = 0; i < c.packets.size(); i++) {
      const Packet& p = c.packets[i];
      const PacketTimeCheck check =
          CheckPacketTime(&times, p.stream, p.stream == kPicture, Units(p.at), Units(p.duration));
      EXPECT_EQ(check.broken, std::isnan(p.placed)) << c.what << ", packet " << i;
      if (!check.broken && !std::isnan(p.placed)) {
        EXPECT_EQ(Units(p.at) + check.shift, Units(p.placed)) << c.what << ", packet " << i;
      }
    }
  }
}

// Hostile times: the shifts stay within 64 bits, and a packet without a
// time leaves the next expected one moved on by its duration.
TEST(PacketTimes, ExtremeTimesStayInRange) {
  PacketTimes times;
  ResetPacketTimes(&times, 1, true, kNoPacketTime);
  const int64_t extremes[] = {INT64_MAX / 2, -(INT64_MAX / 2), int64_t{1} << 62, 0, -(int64_t{1} << 62)};
  for (const int64_t time : extremes) {
    const PacketTimeCheck check = CheckPacketTime(&times, 0, false, time, INT64_MAX);
    EXPECT_FALSE(check.broken);
    EXPECT_LE(std::abs(check.shift), int64_t{1} << 62) << time;
  }
  ResetPacketTimes(&times, 1, false, kNoPacketTime);
  EXPECT_FALSE(CheckPacketTime(&times, 0, false, Units(1.0), Units(0.5)).broken);
  EXPECT_FALSE(CheckPacketTime(&times, 0, false, kNoPacketTime, Units(0.5)).broken);
  EXPECT_EQ(times.streams[0].next, Units(2.0));
  EXPECT_FALSE(CheckPacketTime(&times, 3, false, Units(1.0), 0).broken) << "a stream not counted";
}

}  // namespace
