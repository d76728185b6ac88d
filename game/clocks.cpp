#include "game/clocks.h"

#include "core/varnok.h"
#include "game/digits.h"
#include "game/game_state.h"
#include "game/input_record.h"
#include "game/maths.h"
#include "game/resources.h"

ClockRecord RoundClock = {};
ClockRecord RunClock = {};
BestTimeTable g_bestTimes[4][4] = {};

namespace {

// One frame, rounded to a float at every step as the clocks keep it: sixty
// steps come to just under a second.
constexpr float kFrameSeconds = 1.0f / 60.0f;
constexpr int32_t kSeparator = 10;

void StepClock(ClockRecord& clock) {
  clock.fraction += kFrameSeconds;
  if (clock.fraction >= 1.0f) {
    clock.seconds++;
    clock.fraction -= 1.0f;
    if (clock.seconds >= 60) {
      clock.seconds -= 60;
      clock.minutes++;
    }
  }
}

bool Faster(const ClockRecord& a, const ClockRecord& b) {
  if (a.minutes != b.minutes) return a.minutes < b.minutes;
  if (a.seconds != b.seconds) return a.seconds < b.seconds;
  return a.fraction < b.fraction;
}

}  // namespace

void TickClocks() {
  StepClock(RunClock);
  const GameState& state = g_gameState;
  if (state.roundResult.ended) return;
  // A watched round's clock stops while the right button holds the world.
  if (state.settings.watchMode && g_input.right >= 1) return;
  StepClock(RoundClock);
}

void DrawTimeScore(const ClockRecord& clock) {
  DrawDigits(clock.minutes, timerNum_mini, 16.0f, 0.0f);
  DrawGraphAt(32, 0, timerNum_mini[kSeparator], 1);
  DrawDigits(clock.seconds, timerNum_mini, 64.0f, 0.0f);
  DrawGraphAt(80, 0, timerNum_mini[kSeparator], 1);
  DrawDigits(TruncateToInt(clock.fraction * 100.0f), timerNum_mini, 112.0f, 0.0f);
}

void StoreRoundRecord(int32_t difficulty, int32_t result) {
  const GameSettings& settings = g_gameState.settings;
  if (settings.recordsOff || settings.watchMode) return;
  if (difficulty < 0 || difficulty >= 4 || result < 0 || result >= 4) return;
  InsertBestTime(g_bestTimes[difficulty][result], RoundClock);
}

int32_t InsertBestTime(BestTimeTable& table, ClockRecord record) {
  record.valid = 1;
  constexpr int32_t kEntries = 8;
  for (int32_t i = 0; i < kEntries; i++) {
    ClockRecord& entry = table.entries[i];
    // An equal time goes behind the one already stored.
    if (entry.valid && !Faster(record, entry)) continue;
    for (int32_t j = kEntries - 1; j > i; j--) table.entries[j] = table.entries[j - 1];
    entry = record;
    return i;
  }
  return -1;
}
