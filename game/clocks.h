// Round and run clocks counted in frames, the round clock's display, and the
// best times per difficulty and result, kept for the run only.
#pragma once
#include <cstdint>

struct ClockRecord {
  int32_t minutes;
  int32_t seconds;  // 0..59
  float fraction;   // of a second
  uint8_t valid;    // set in a stored best time
};

struct BestTimeTable {
  ClockRecord entries[8];  // fastest first, empty entries last
};

// The round's time; zeroed at every round start.
extern ClockRecord RoundClock;
// Time spent in rounds over the whole run.
extern ClockRecord RunClock;
// By difficulty, then result.
extern BestTimeTable g_bestTimes[4][4];

void TickClocks();
void DrawTimeScore(const ClockRecord& clock);
void StoreRoundRecord(int32_t difficulty, int32_t result);
// Where the time went in, or -1 when the table keeps eight faster ones.
int32_t InsertBestTime(BestTimeTable& table, ClockRecord record);
