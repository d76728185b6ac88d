#include "game/clocks.h"

ClockRecord RoundClock = {};
ClockRecord RunClock = {};
BestTimeTable g_bestTimes[4][4] = {};

void TickClocks() {}

void DrawTimeScore(const ClockRecord& clock) {}

void StoreRoundRecord(int32_t difficulty, int32_t result) {}

int32_t InsertBestTime(BestTimeTable& table, ClockRecord record) { return -1; }
