// The clocks in 32-bit float steps and their display, the best-time tables,
// and the effects and item captions: their motion, fade and drawing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/varnok.h"
#include "game/camera.h"
#include "game/clocks.h"
#include "game/effects.h"
#include "game/input_record.h"
#include "game/resources.h"
#include "tests/game/game_harness.h"
#include "tests/game/game_world_test.h"

namespace {

class Timed : public GameWorldTest {
 protected:
  void SetUp() override {
    GameWorldTest::SetUp();
    g_camera = {1000.0f, 1000.0f, 0.0f, 0.0f, nullptr};
    game.ClearBack();
  }
};

TEST_F(Timed, ClocksStepInFloatsAndShowMinutesSecondsHundredths) {
  // Digit cells 24 pixels wide whose red tells the cell (10, the separator,
  // shows as ':'); each later digit covers the last 8 columns of the one before.
  for (int k = 0; k < 11; k++) timerNum_mini[k] = MakeSolidGraph(24, 32, 0x100000u * (k + 1));
  const auto shown = [&] {
    DrawTimeScore(RoundClock);
    std::string text;
    for (int x = 1; x < 128; x += 16) text += static_cast<char>('0' + (game.BackPixel(x, 1) >> 20) - 1);
    return text;
  };
  // Sixty steps of 0.016666668 come to 0.9999997: the second completes on frame 61.
  const struct {
    int frames;
    const char* display;
  } cases[] = {{59, "00:00:98"}, {60, "00:00:99"}, {61, "00:01:01"}, {3600, "00:59:99"}, {3601, "01:00:01"}};
  RoundClock = {};
  for (int ticked = 0; const auto& c : cases) {
    for (; ticked < c.frames; ticked++) TickClocks();
    EXPECT_EQ(shown(), c.display) << c.frames;
  }
  RoundClock = {100, 7, 0.5f, 0};
  EXPECT_EQ(shown(), "00:07:50");

  // The round clock stops once the round has ended, and in a watched round
  // while the right button holds the world; the run's clock goes on.
  RoundClock = {};
  const float runBefore = RunClock.fraction;
  GameState& state = g_gameState;
  state.roundResult.ended = 1;
  TickClocks();
  state.roundResult.ended = 0;
  g_input.right = 3;
  TickClocks();
  state.settings.watchMode = 1;
  TickClocks();
  EXPECT_FLOAT_EQ(RoundClock.fraction, 1.0f / 60);
  EXPECT_FLOAT_EQ(RunClock.fraction - runBefore, 3.0f / 60);
}

TEST_F(Timed, BestTimesKeepTheEightFastestWithTiesBehind) {
  BestTimeTable table{};
  const auto time = [](int m, int s, float f) { return ClockRecord{m, s, f, 0}; };
  const struct {
    ClockRecord time;
    int32_t at;
  } inserts[] = {{time(1, 30, 0.5f), 0},  {time(1, 30, 0.25f), 0}, {time(1, 30, 0.5f), 2},  // ties behind
                 {time(0, 59, 0.9f), 0},  {time(1, 29, 0.9f), 1},  {time(2, 40, 0), 5},
                 {time(2, 41, 0), 6},     {time(2, 42, 0), 7},     {time(2, 42, 0), -1},      // full, not faster
                 {time(0, 1, 0), 0}};
  for (const auto& i : inserts) EXPECT_EQ(InsertBestTime(table, i.time), i.at) << i.time.seconds;
  EXPECT_EQ(table.entries[7].seconds, 41);  // the slowest pushed out
  EXPECT_EQ(table.entries[3].valid, 1);

  // A round's time goes to its difficulty and result, never a watched one's.
  RoundClock = time(3, 4, 0.5f);
  g_gameState.settings.watchMode = 1;
  StoreRoundRecord(2, kResultKing);
  EXPECT_EQ(g_bestTimes[2][kResultKing].entries[0].valid, 0);
  g_gameState.settings.watchMode = 0;
  StoreRoundRecord(2, kResultKing);
  StoreRoundRecord(7, -1);  // no such table: nothing
  EXPECT_EQ(g_bestTimes[2][kResultKing].entries[0].minutes, 3);
  g_bestTimes[2][kResultKing] = {};
}

TEST_F(Timed, EffectsMoveAndFadeByTheirProcedure) {
  // Updates until removed: alpha 255 less the truncated fade step each
  // time, gone below 1. A step of 0.9 truncates to nothing.
  const struct {
    EffectProc procedure;
    float fade;
    int lifetime;
  } kinds[] = {{FadeEffectProc, 1, 255}, {MoveEffectProc, 4, 64}, {GrowEffectProc, 4, 64}, {EaseEffectProc, 0.9f, 0}};
  for (const auto& k : kinds) {
    Effect& e = AddEffect(7, k.procedure);
    EXPECT_EQ(e.fadeStep, k.fade == 0.9f ? 4.0f : k.fade);
    e.fadeStep = k.fade;
    for (int n = 1; n < (k.lifetime ? k.lifetime : 1000); n++) UpdateEffects();
    ASSERT_EQ(g_effects.size(), 1u);
    EXPECT_EQ(e.alpha, k.lifetime ? 255 - (k.lifetime - 1) * static_cast<int>(k.fade) : 255);
    UpdateEffects();
    EXPECT_EQ(g_effects.size(), k.lifetime ? 0u : 1u);
    ClearEffects();
  }
  // Two updates of each motion: along angle 0 by 3; halfway to (100, 40);
  // growing by 0.25; the scale halfway to 3. The newest is listed first.
  Effect& move = AddEffect(7, MoveEffectProc);
  move.step = 3;
  Effect& ease = AddEffect(7, FlickerEaseEffectProc);
  ease.targetX = 100;
  ease.targetY = 40;
  ease.step = 0.5f;
  Effect& grow = AddEffect(7, GrowEffectProc);
  grow.step = 0.25f;
  Effect& toward = AddEffect(7, ScaleEaseEffectProc);
  toward.step = 3;
  toward.factor = 0.5f;
  EXPECT_EQ(&g_effects.front(), &toward);
  UpdateEffects();
  UpdateEffects();
  EXPECT_EQ(CurrentBlendMode, 2);
  EXPECT_EQ(move.x, 6.0f);
  EXPECT_EQ(ease.x, 75.0f);
  EXPECT_EQ(ease.y, 30.0f);
  EXPECT_EQ(grow.scale, 1.5f);
  EXPECT_EQ(toward.scale, 2.5f);
}

TEST_F(Timed, EffectsAndCaptionsDrawAtTheirPointWithTheirAlpha) {
  // Added at parameter p onto black, each channel becomes c * p / 255,
  // truncated: 200, 100, 50 at 128 give 100, 50, 25; at 64, 50, 25, 12.
  CurrentBlendMode = 2;
  Effect& plain = AddEffect(MakeSolidGraph(1, 1, 0xC86432), FadeEffectProc);
  plain.x = plain.y = 1000;
  plain.alpha = 128;
  Effect& flicker = AddEffect(MakeSolidGraph(1, 1, 0xC86432), FlickerEaseEffectProc);
  flicker.x = 1100;
  flicker.y = 1000;
  {
    ScriptedRandom random({64});
    DrawEffects();
    EXPECT_EQ(random.maxima, std::vector<int>{255});  // 0..alpha
  }
  EXPECT_EQ(game.BackPixel(512, 384), 0x643219u);
  EXPECT_EQ(game.BackPixel(612, 384), 0x32190Cu);

  // Two captions follow one creature, each turning by its own spin, and
  // lose 2 alpha a frame: 128 frames.
  PositionRecord owner{900, 1100, 0, 0, 0};
  MessageList captions{{}, &owner};
  AddItemMessage(MakeSolidGraph(1, 1, 0xC86432), captions).spin = 0.5f;
  AddItemMessage(MakeSolidGraph(1, 1, 0xC86432), captions).spin = -0.25f;
  UpdateMessageList(captions);
  EXPECT_EQ(captions.messages.front().angle, 0.5f);
  EXPECT_EQ(captions.messages.back().angle, -0.25f);
  owner.x = owner.y = 1000;
  game.ClearBack();
  CurrentBlendMode = 2;
  // Alpha 253 each: 198, 99, 49, added twice. Red holds at 255; the packed
  // add takes green's lowest bit as an OR: 0x62 + 0x62 | 1 = 0xC5; blue 0x62.
  DrawMessageList(captions);
  EXPECT_EQ(game.BackPixel(512, 384), 0xFFC562u);
  for (int n = 1; n < 127; n++) UpdateMessageList(captions);
  EXPECT_EQ(captions.messages.size(), 2u);
  UpdateMessageList(captions);
  EXPECT_TRUE(captions.messages.empty());
}

}  // namespace
