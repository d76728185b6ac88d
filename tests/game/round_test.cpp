// A whole round: the end and its result, the spawner, food boxes and food,
// items, the computer's control, and watched rounds replayed frame for frame.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <set>

#include "core/varnok.h"
#include "game/bullets.h"
#include "game/camera.h"
#include "game/clocks.h"
#include "game/damage.h"
#include "game/effects.h"
#include "game/food.h"
#include "game/frame_loop.h"
#include "game/player_control.h"
#include "game/resources.h"
#include "game/round_end.h"
#include "tests/game/game_harness.h"
#include "tests/game/game_world_test.h"

namespace {

class Round : public GameWorldTest {
 protected:
  void SetUp() override {
    GameWorldTest::SetUp();
    g_gameState.roundResult = {};
    g_gameState.scene = kSceneRound;
    ResetSpawner();
  }
};

// Levels by list position, the first the player's unless the round is
// watched or the player is gone; ids 1, 2, ... stand at x = 100, 200, ...
TEST_F(Round, TheJudgeOnHandMadeLists) {
  enum Camera { kStays, kPlayersLast, kOnSurvivor };
  const struct {
    const char* name;
    bool watch, playerGone;
    int32_t count;
    std::vector<int32_t> levels, after;
    int32_t result;  // -1: no end
    Camera camera;
    int kept;  // whose position the result keeps, -1 none
  } cases[] = {
      {"peace", 0, 0, 4, {5, 6, 5, 5}, {5, 5, 5, 5}, kResultPeace, kStays, -1},
      {"the player set back, no end", 0, 0, 4, {6, 4, 5, 5}, {5, 4, 5, 5}, -1, kStays, -1},
      {"set back before the low one, found after", 0, 0, 4, {5, 6, 4, 6}, {5, 5, 4, 5}, kResultLose, kStays, 3},
      {"all at five", 0, 0, 3, {5, 5, 5}, {5, 5, 5}, -1, kStays, -1},
      {"king once somebody died", 0, 0, 5, {6, 5, 6, 5}, {5, 5, 6, 5}, kResultKing, kStays, 0},
      {"the top in a watched round", 1, 0, 4, {3, 6, 6, 5}, {3, 5, 6, 5}, kResultLose, kStays, 1},
      {"only the player left", 0, 0, 6, {2}, {2}, kResultDestroyer, kStays, -1},
      {"only another left", 1, 0, 6, {2}, {2}, kResultLose, kOnSurvivor, -1},
      {"the player gone", 0, 1, 6, {1, 1}, {1, 1}, kResultLose, kPlayersLast, -1},
      {"everyone gone at once", 0, 1, 6, {}, {}, kResultLose, kPlayersLast, -1},
      {"everyone gone, watched", 1, 0, 6, {}, {}, kResultLose, kStays, -1},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    g_gameState.settings.watchMode = t.watch;
    g_gameState.settings.characterCount = t.count;
    for (size_t i = 0; i < t.levels.size(); i++) {
      const bool player = i == 0 && !t.watch && !t.playerGone;
      AddCharacter(int32_t(i + 1), 100.0f * (i + 1), 900, player ? &PlayerController : &AiThink).level = t.levels[i];
    }
    RoundResult result{};
    result.position.x = 777.0f;
    const PositionRecord elsewhere{};
    g_camera.followed = &elsewhere;
    JudgeRoundEnd(result);
    EXPECT_EQ(result.ended, t.result >= 0);
    EXPECT_EQ(result.result, std::max(t.result, 0));
    std::vector<int32_t> levels;
    for (const Character& c : g_characters) levels.push_back(c.level);
    EXPECT_EQ(levels, t.after);
    EXPECT_EQ(result.position.x, t.kept < 0 ? 777.0f : 100.0f * (t.kept + 1));
    EXPECT_EQ(g_camera.followed, t.camera == kStays        ? &elsewhere
                                 : t.camera == kPlayersLast ? &result.position
                                                            : &g_characters.front().position);
    g_camera.followed = nullptr;
    ClearCharacters();
  }
}

// The caption is added onto black right of and below (512, 256), blinking
// from blink 0 in the frame of the end; 480 frames later the game returns to
// the title and keeps the round's time.
TEST_F(Round, TheEndShowsItsCaptionThenStoresTheTime) {
  // Pixels lit exactly in the colour; -1 when one is brighter in a channel
  // or lies elsewhere.
  const auto caption = [&](const RoundResult& result, uint32_t colour) {
    game.ClearBack();
    DrawResultText(result);
    int exact = 0;
    for (int y = 0; y < 768; y++) {
      for (int x = 0; x < 1024; x++) {
        const uint32_t p = game.BackPixel(x, y);
        if (p == 0) continue;
        for (int shift : {0, 8, 16})
          if ((p >> shift & 0xFF) > (colour >> shift & 0xFF)) return -1;
        if (x < 512 || y < 256 || y > 300) return -1;
        exact += p == colour;
      }
    }
    return exact;
  };
  const struct {
    int32_t result;
    uint32_t even, odd;
  } colours[] = {{kResultDestroyer, 0xFF2000, 0xFF20FF}, {kResultKing, 0x20FF00, 0x20FFFF},
                 {kResultLose, 0xFF0020, 0xFFFF20}};
  for (const auto& c : colours) {
    EXPECT_GT(caption({1, c.result, 0, {}}, c.even), 50) << c.result;
    EXPECT_GT(caption({1, c.result, 1, {}}, c.odd), 50) << c.result;
  }
  {
    ScriptedRandom random({0x40, 0x80, 0xC0});  // peace: blue, green, red, fresh each frame
    EXPECT_GT(caption({1, kResultPeace, 0, {}}, 0xC08040), 50);
    EXPECT_EQ(random.maxima, (std::vector<int>{255, 255, 255}));
  }
  EXPECT_EQ(caption({1, 4, 0, {}}, 0), 0);
  EXPECT_EQ(caption({0, kResultLose, 0, {}}, 0), 0);

  g_gameState.settings.difficulty = kDifficultyNormal;
  AddCharacter(1, 1024, 1024, &PlayerController);
  g_bestTimes[kDifficultyNormal][kResultDestroyer] = {};
  RoundClock = {1, 2, 0.5f, 0};
  RoundResult& result = g_gameState.roundResult;
  for (int frame = 0; frame < 480; frame++) JudgeRoundEnd(result);
  EXPECT_EQ(result.framesSinceEnd, 479);
  EXPECT_EQ(g_gameState.scene, kSceneRound);
  JudgeRoundEnd(result);
  EXPECT_EQ(g_gameState.scene, kSceneReturnToTitle);
  const ClockRecord stored = g_bestTimes[kDifficultyNormal][kResultDestroyer].entries[0];
  EXPECT_EQ(stored.minutes * 100 + stored.seconds, 102);
  EXPECT_EQ(stored.fraction, 0.5f);
  EXPECT_EQ(stored.valid, 1);
}

// The kind is the largest of one draw per enabled kind, ties by coin flips;
// then the field point's angle and distance (here 0 and 100).
TEST_F(Round, TheSpawnersWeightedDraw) {
  const struct {
    const char* name;
    std::vector<int> values, maxima;
    std::array<uint8_t, 6> disabled;
    int32_t hardWeight, kind;  // kind -1: nothing comes
  } cases[] = {
      {"a tie won by the coin", {10, 40, 40, 5, 0, 0, 1, 0, 100}, {50, 50, 50, 50, 50, 50, 1, 628318, 1024}, {}, 50, 2},
      {"a tie lost by the coin", {10, 40, 40, 5, 0, 0, 0, 0, 100}, {50, 50, 50, 50, 50, 50, 1, 628318, 1024}, {}, 50, 1},
      {"disabled kinds are not drawn", {10, 40, 99, 5, 0, 0, 100}, {50, 50, 100, 50, 50, 628318, 1024},
       {0, 0, 1, 0, 0, 0}, 100, 3},
      {"a disabled first kind kept by losing coins", {}, {50, 50, 50, 50, 50, 1, 1, 1, 1, 1}, {1}, 50, -1},
      {"every kind disabled", {}, {}, {1, 1, 1, 1, 1, 1}, 50, -1},
  };
  GameSettings& settings = g_gameState.settings;
  settings.itemInterval = 600;
  settings.boxInterval = 10;
  settings.boxLimit = 1;
  ResetSpawner();
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    std::copy(t.disabled.begin(), t.disabled.end(), settings.itemDisabled);
    settings.itemWeights[3] = t.hardWeight;
    g_foodField.items.clear();
    g_spawner.itemTimer = 599;
    g_spawner.boxTimer = 0;
    ScriptedRandom random(t.values);
    TickSpawner(g_spawner);
    EXPECT_EQ(random.maxima, t.maxima);
    EXPECT_EQ(g_spawner.itemTimer, 0);
    ASSERT_EQ(g_foodField.items.size(), t.kind < 0 ? 0u : 1u);
    if (t.kind < 0) continue;
    EXPECT_EQ(g_foodField.items.front().kind, t.kind);
    EXPECT_EQ(g_foodField.items.front().position.x, 1124.0f);
  }
  // The box timer waits while the list is full and goes on where it stood.
  ScriptedRandom random({});
  for (int frame = 0; frame < 10; frame++) TickSpawner(g_spawner);
  ASSERT_EQ(g_foodField.boxes.size(), 1u);
  EXPECT_EQ(g_foodField.boxes.front().height, 512.0f);
  g_spawner.boxTimer = 7;
  for (int frame = 0; frame < 49; frame++) TickSpawner(g_spawner);
  g_foodField.boxes.clear();
  for (int frame = 0; frame < 3; frame++) TickSpawner(g_spawner);
  EXPECT_EQ(g_foodField.boxes.size(), 1u);
}

TEST_F(Round, FoodBoxesAndFood) {
  SpawnFoodBox(1000, 1000);
  FoodBox& box = g_foodField.boxes.front();
  Character& c = AddCharacter(1, 1000, 1030);  // touching: 30 < 16 + 16
  SpawnBullet(1000, 1000, 0.0f, 2, 1);
  // Down by a tenth a frame from 512: 4.02 after 46 frames, landed at 47;
  // nothing hits or touches a falling box.
  for (int frame = 1; frame <= 47; frame++) {
    UpdateFoodField();
    EXPECT_EQ(box.height == 0.0f, frame == 47) << frame;
  }
  EXPECT_EQ(box.hitPoints, 5);
  EXPECT_EQ(c.life, 30);
  EXPECT_EQ(g_bullets.front().finished, 0);
  // A bullet on the square's corner hits and knocks the box toward the
  // shooter; one a pixel past it does not. The creature touching the box is
  // hurt, pushed back and blames itself.
  g_bullets.front() = {2, 1, 1016.9f, 984.0f, 0, 0.0f, 0, 0};
  SpawnBullet(1017.0f, 1000, 0.0f, 3, 2);
  c.lastAttackerId = 5;
  UpdateFoodField();
  EXPECT_EQ(box.hitPoints, 3);
  EXPECT_EQ(box.x, 996.0f);
  EXPECT_EQ(box.lastShooterId, 2);
  EXPECT_EQ(g_bullets.front().finished, 1);
  EXPECT_EQ(g_bullets.back().finished, 0);
  EXPECT_EQ(c.life, 29);
  EXPECT_NEAR(c.knockX, -6.0f, 1e-4);
  EXPECT_EQ(c.lastAttackerId, 1);
  EXPECT_EQ(c.boxContact, 1);
  // Two touching a box at 2 break it once into eight pieces for its last
  // shooter, sliding out of their reach; after the end nobody is hurt.
  AddCharacter(2, 1000, 975);
  g_gameState.roundResult.ended = 1;
  ClearBullets();
  box.hitPoints = 2;
  std::vector<int> slides;
  for (int i = 0; i < 8; i++) slides.insert(slides.end(), {0, 10});
  ScriptedRandom random(slides);
  UpdateFoodField();
  EXPECT_TRUE(g_foodField.boxes.empty());
  EXPECT_EQ(c.life, 29);
  ASSERT_EQ(g_foodField.foods.size(), 8u);
  EXPECT_EQ(g_foodField.foods.front().ownerId, 2);

  // Sliding at 10, 8.8, 7.744: each step 0.88 of the last.
  Food& food = g_foodField.foods.front();
  food = {500, 500, 0, 0.0f, 10.0f, 0, 0, 0};
  for (float x : {510.0f, 518.8f, 526.544f}) {
    UpdateFoods(food);
    EXPECT_NEAR(food.x, x, 1e-3);
  }
  // Rotten at 1200 frames.
  food.age = 1198;
  UpdateFoods(food);
  EXPECT_EQ(food.finished, 0);
  UpdateFoods(food);
  EXPECT_EQ(food.finished, 1);
  // Its owner (2, radius 16, at 1000, 975) pulls it 2 a frame within 8 radii;
  // nobody else does, nor anyone food of nobody's.
  const struct {
    float x;
    int32_t owner;
    float after;
  } drifts[] = {{1127.9f, 2, 1125.9f}, {1128.0f, 2, 1128.0f}, {1100, 3, 1100}, {1100, 0, 1100}};
  for (const auto& d : drifts) {
    Food piece{d.x, 975, 0, 0, 0.0f, 0, d.owner, 0};
    UpdateFoods(piece);
    EXPECT_NEAR(piece.x, d.after, 1e-3) << d.x << " " << d.owner;
  }
  // Two creatures on one piece both eat it; a dead one does not.
  g_gameState.roundResult.ended = 0;
  Character& other = AddCharacter(3, 1010, 1030);
  AddCharacter(4, 1005, 1030).dead = 1;
  Food shared{1005, 1030, 0, 0, 0.0f, 0, 0, 0};
  UpdateFoods(shared);
  EXPECT_EQ(c.food, 11);
  EXPECT_EQ(other.food, 11);
  EXPECT_EQ(g_characters.back().food, 10);
}

TEST_F(Round, EachItemsEffectAndDuration) {
  for (int k = 0; k < 6; k++) item_effect_message[k] = 1000 + k;
  Character& c = AddCharacter(1, 1000, 1000);
  Character& second = AddCharacter(2, 973, 1000);  // 27 < 16 + 12 from the item
  const auto take = [&](int32_t kind, int frames) {
    c.messages.messages.clear();
    c.itemEffects.push_back({{}, kind, 0, 0.0f, 0});
    for (int frame = 0; frame < frames; frame++) UpdateItemEffects(c.itemEffects, c);
  };
  const auto captions = [&] {
    std::vector<int32_t> graphs;
    for (const ItemMessage& m : c.messages.messages) graphs.push_back(m.spin == -0.02f ? m.graphic : -1);
    return graphs;
  };
  // Once and done: life by 10 up to the most, a full magazine.
  c.maxLife = 40;
  for (auto [life, after] : {std::pair{10, 20}, {38, 40}}) {
    c.life = life;
    take(kItemLife, 1);
    EXPECT_EQ(c.life, after);
    EXPECT_TRUE(c.itemEffects.empty());
    EXPECT_EQ(captions(), std::vector<int32_t>{1000});
  }
  c.ammunition = 3;
  take(kItemBullet, 1);
  EXPECT_EQ(c.ammunition, 10);
  // Sixty bullets from the rim the way the last shot went, all round.
  c.shotAngle = 0.5f;
  take(kItemLionshot, 1);
  ASSERT_EQ(g_bullets.size(), 60u);
  int i = 0;
  for (const Bullet& b : g_bullets) {
    EXPECT_EQ(b.x, 1000.0f + std::cos(0.5f) * 16.0f);
    EXPECT_NEAR(b.angle, i++ * 6.28318 / 60, 1e-6);
  }
  // come_foods: a piece of nobody's every tenth frame 4 radii out, 36 in
  // 360 frames; its caption at frame 1.
  ScriptedRandom random({});
  take(kItemComeFoods, 1);
  EXPECT_EQ(captions(), std::vector<int32_t>{1002});
  for (int frame = 1; frame < 10; frame++) UpdateItemEffects(c.itemEffects, c);
  ASSERT_EQ(g_foodField.foods.size(), 1u);
  EXPECT_EQ(g_foodField.foods.front().x, 1064.0f);
  for (int frame = 10; frame < 359; frame++) UpdateItemEffects(c.itemEffects, c);
  EXPECT_EQ(c.itemEffects.size(), 1u);
  UpdateItemEffects(c.itemEffects, c);
  EXPECT_TRUE(c.itemEffects.empty());
  EXPECT_EQ(g_foodField.foods.size(), 36u);
  EXPECT_EQ(captions(), std::vector<int32_t>{1002});
  // speed: a step along the wanted heading, however it faces, for 600 frames.
  c.speed = 1.5f;
  c.position.heading = 2.0f;
  take(kItemSpeed, 599);
  EXPECT_EQ(c.position.x, 1000.0f + 1.5f * 599);
  EXPECT_EQ(captions(), std::vector<int32_t>{1003});
  UpdateItemEffects(c.itemEffects, c);
  EXPECT_TRUE(c.itemEffects.empty());
  // move: a push of a third of the way to a field point 300 right of the
  // creature, then 128 sparks of four draws each around the way.
  c.position = {1024, 1024, 0, 0, 0};
  c.knockX = 0;
  ScriptedRandom point({0, 300});
  take(kItemMove, 1);
  EXPECT_EQ(c.knockX, 100.0f);
  ASSERT_EQ(point.maxima.size(), 2u + 4 * 128);
  EXPECT_EQ(std::vector<int>(point.maxima.begin(), point.maxima.begin() + 6),
            (std::vector<int>{628318, 1024, 30000000, 16, 16, 1}));
  EXPECT_EQ(g_effects.front().x, 1016.0f);
  EXPECT_EQ(g_effects.front().targetX, 1016.0f + 48.0f * std::cos(-3.14159f));

  // Items go to the first creature in the list that touches them; one that
  // has just expired goes to nobody.
  c.position = {1000, 1000, 0, 0, 0};
  c.itemEffects.clear();
  SpawnItem(g_foodField.items, kItemLife, {1000, 1000, 0, 0, 0});
  SpawnItem(g_foodField.items, kItemBullet, {1000, 1000, 0, 0, 0});
  g_foodField.items.back().age = 1799;
  UpdateItems(g_foodField.items);
  EXPECT_TRUE(g_foodField.items.empty());
  ASSERT_EQ(c.itemEffects.size(), 1u);
  EXPECT_EQ(c.itemEffects.front().kind, kItemLife);
  EXPECT_TRUE(second.itemEffects.empty());
}

TEST_F(Round, ComputerCreaturesThink) {
  Character& c = AddCharacter(1, 1000, 1000);
  Character& foe = AddCharacter(2, 1100, 1000);
  SpawnFood(g_foodField, 1000, 1100, 0);
  c.maxLife = 20;
  c.aggression[2] = 50;
  c.lastAttackerId = 2;
  // Hit while going for food it holds on to 40 % of its life; elsewhere it
  // fights back from 50 % and runs below; a box touched wins over both
  // (none about: on to food, thinking again next frame).
  const struct {
    int32_t state, life, after;
    uint8_t box;
  } hits[] = {{kAiGoToFood, 9, kAiGoToFood, 0}, {kAiGoToFood, 7, kAiFlee, 0}, {kAiDecide, 10, kAiAttack, 0},
              {kAiWander, 9, kAiFlee, 0}, {kAiWander, 9, kAiGoToFood, 1}};
  for (const auto& h : hits) {
    c.aiState = h.state;
    c.life = h.life;
    c.boxContact = h.box;
    c.thinkTimer = 0;
    AiThink(kControllerHit, c, g_characters, g_characters.begin());
    EXPECT_EQ(c.aiState, h.after) << h.state << " " << h.life;
  }
  EXPECT_EQ(c.thinkTimer, c.thinkInterval);
  c.boxContact = 0;
  // A friend beside the line of fire (to twice the aim, within twice its
  // radius: 31 off, radius 16) holds the shot; a neutral there does not.
  for (auto [feeling, fires] : {std::pair{-1, 0}, {0, 1}}) {
    c.aggression[2] = feeling;
    c.aiming = 1;
    c.aimGoal = {1060, 1000, 0, 0, 0};
    foe.position = {1100, 1031, 0, 0, 0};
    c.shotFlag = 0;
    c.shotCooldownCounter = 8;
    c.thinkTimer = 0;
    AiThink(kControllerFrame, c, g_characters, g_characters.begin());
    EXPECT_EQ(c.shotFlag, fires) << feeling;
  }
  // A wander goal on the rim less the radius and 8 is replaced by one 51.2
  // to 179.2 from the creature, away from the old goal; one a unit inside
  // stays. Then the two draws for a change of mind.
  c.aiming = 0;
  c.position = {1024, 1024, 0, 0, 0};
  for (auto [goal, replaced] : {std::pair{2024.0f, true}, {2023.0f, false}}) {
    c.aiState = kAiWander;
    c.moveGoal = {goal, 1024, 0, 0, 0};
    c.thinkTimer = 11;
    ScriptedRandom random({100, 28, 1, 1});
    AiThink(kControllerFrame, c, g_characters, g_characters.begin());
    const std::vector<int> draws = replaced ? std::vector<int>{128, 128, 50, 25} : std::vector<int>{50, 25};
    EXPECT_EQ(random.maxima, draws);
    EXPECT_NEAR(c.moveGoal.x, replaced ? 1024 - 151.2f : goal, 1e-3);
  }
  // With nothing about, the nearest goal falls back to a box, then food,
  // then deciding again, each of the last two thinking again at once.
  ClearCharacters();
  ClearFoodBoxesAndFoods();
  Character& alone = AddCharacter(1, 1000, 1000);
  alone.aiState = kAiNearestGoal;
  for (int32_t state : {kAiGoToFoodBox, kAiGoToFood, kAiDecide}) {
    alone.thinkTimer = std::max(alone.thinkTimer, 11);
    AiThink(kControllerFrame, alone, g_characters, g_characters.begin());
    EXPECT_EQ(alone.aiState, state);
  }
  EXPECT_EQ(alone.thinkTimer, alone.thinkInterval);
}

// A watched round from a seed, in a fresh process: the state's hash each frame.
std::vector<uint64_t> WatchedRound(int32_t difficulty, int cap) {
  return RunInFreshProcess([difficulty, cap](std::vector<uint64_t>& hashes) {
    GameHarness game(HarnessOptions().Seed(1000 + difficulty).NoData());
    game.presenter.keepFrames = false;
    ApplyDifficultyRow(g_gameState.settings, kDifficultyRows[difficulty], 1);
    SwitchScene(g_gameState, kSceneRound);
    for (int frame = 0; frame < cap && g_gameState.scene == kSceneRound; frame++) {
      game.Frame();
      hashes.push_back(GameStateHash());
    }
  });
}

class WatchedRoundReplay : public ::testing::TestWithParam<int32_t> {};

TEST_P(WatchedRoundReplay, FrameForFrame) {
  const std::vector<uint64_t> first = WatchedRound(GetParam(), 1500);
  ASSERT_EQ(first.size(), 1500u);
  EXPECT_EQ(WatchedRound(GetParam(), 1500), first);
  EXPECT_GT(std::set<uint64_t>(first.begin(), first.end()).size(), 1400u);
}
INSTANTIATE_TEST_SUITE_P(EachDifficulty, WatchedRoundReplay, ::testing::Range(0, 4));

// Thirty-two computer creatures for ten minutes, a new round whenever one
// ends: every list stays within what its rules allow. Food rots within
// 1,200 frames, bullets leave the field within about 205 and effects fade
// within 256 updates; the bounds are generous multiples of what can be made
// in those times.
TEST(RoundEndurance, ThirtyTwoCreaturesForTenMinutes) {
  GameHarness game(HarnessOptions().Seed(32).NoData());
  game.presenter.keepFrames = false;
  for (int frame = 0; frame < 36000; frame++) {
    if (g_gameState.scene != kSceneRound) {
      ApplyDifficultyRow(g_gameState.settings, kDifficultyRows[kDifficultyCarnival], 1);
      SwitchScene(g_gameState, kSceneRound);
    }
    ASSERT_TRUE(game.Frame());
    ASSERT_LE(g_characters.size() + g_deadBodies.size(), 64u);
    ASSERT_LE(g_foodField.boxes.size(), 48u);
    ASSERT_LE(g_foodField.items.size(), 16u);
    ASSERT_LE(g_foodField.foods.size() + g_bullets.size(), 10000u) << frame;
    ASSERT_LE(g_effects.size(), 50000u) << frame;
    for (const Character& c : g_characters) ASSERT_LE(c.itemEffects.size() + c.messages.messages.size(), 80u);
  }
}

}  // namespace
