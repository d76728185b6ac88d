#include "platform/media_timestamps.h"

#include <algorithm>

namespace {

// Times that step back more than this, to within this of where their
// stream's began, have started again: a smaller step is a container's
// rounding, or a packet's length guessed wrong where none is given.
constexpr int64_t kRestartSlackUnits = kPacketTimeUnitsPerSecond;
// A time this far past the file's length, and past everything read, is broken.
constexpr int64_t kPastLengthUnits = kPacketTimeUnitsPerSecond;
// No packet lasts longer; a longer duration would only push where the next
// is expected out of reach.
constexpr int64_t kLongestPacketUnits = 3600 * kPacketTimeUnitsPerSecond;
// Placed times stay within this, so that offsets and expected times added
// to them stay far within 64 bits whatever a file's times do.
constexpr int64_t kFarthestUnits = int64_t{1} << 60;

int64_t Latest(int64_t a, int64_t b) {
  if (a == kNoPacketTime) return b;
  if (b == kNoPacketTime) return a;
  return std::max(a, b);
}

// A sound time is broken when it lies a jump beyond where its stream
// stands and the pictures read (a length stretched by the broken time
// itself cannot vouch for it), a jump behind where its stream stands, or
// before the movie's start; any time is broken past the file's length and
// everything read.
bool Broken(const PacketTimes& t, const StreamTimes& s, bool picture, int64_t time) {
  if (time < -kPastLengthUnits) return true;
  const int64_t stands = Latest(s.next, t.picturesRead);
  if (t.length != kNoPacketTime && time > Latest(stands, t.length) + kPastLengthUnits) return true;
  if (picture) return false;
  if (stands != kNoPacketTime && time > stands + kTimeJumpUnits) return true;
  return s.next != kNoPacketTime && time < s.next - kTimeJumpUnits;
}

// Where a packet of a new segment goes, or kNoPacketTime when it continues
// the segment under way.
int64_t NewSegmentAt(const PacketTimes& t, const StreamTimes& s, int64_t time) {
  const int64_t placed = time + s.offset;
  if (s.next != kNoPacketTime) {
    const int64_t delta = placed - s.next;
    const bool restarted = delta < -kRestartSlackUnits && time <= s.began + kRestartSlackUnits;
    return restarted || delta > kTimeJumpUnits || delta < -kTimeJumpUnits ? s.next : kNoPacketTime;
  }
  // A stream's first packet, far from where the file stands.
  if (t.lastRead != kNoPacketTime && (placed > t.lastRead + kTimeJumpUnits || placed < t.lastRead - kTimeJumpUnits)) {
    return t.lastRead;
  }
  return kNoPacketTime;
}

}  // namespace

void ResetPacketTimes(PacketTimes* times, size_t streams, bool timesMayRestart, int64_t length) {
  times->timesMayRestart = timesMayRestart;
  times->length = length;
  times->picturesRead = times->lastRead = kNoPacketTime;
  times->streams.assign(streams, StreamTimes{});
}

PacketTimeCheck CheckPacketTime(PacketTimes* times, size_t stream, bool picture, int64_t time,
                                int64_t duration) {
  if (stream >= times->streams.size()) return {0, false};
  StreamTimes& s = times->streams[stream];
  duration = std::clamp<int64_t>(duration, 0, kLongestPacketUnits);
  if (time == kNoPacketTime || (!times->timesMayRestart && Broken(*times, s, picture, time))) {
    if (s.next != kNoPacketTime) s.next += duration > 0 ? duration : s.step;
    return {0, time != kNoPacketTime};
  }
  time = std::clamp(time, -kFarthestUnits, kFarthestUnits);
  if (times->timesMayRestart) {
    const int64_t at = NewSegmentAt(*times, s, time);
    if (at != kNoPacketTime) {
      s.offset = at - time;
      s.began = time;
    } else if (s.began == kNoPacketTime) {
      s.began = time;
    }
  }
  const int64_t placed = std::clamp(time + s.offset, -kFarthestUnits, kFarthestUnits);
  s.offset = placed - time;
  if (s.last != kNoPacketTime && placed > s.last) s.step = std::min(placed - s.last, kLongestPacketUnits);
  s.last = placed;
  s.next = placed + (duration > 0 ? duration : s.step);
  times->lastRead = placed;
  if (picture) times->picturesRead = Latest(times->picturesRead, placed);
  return {s.offset, false};
}
