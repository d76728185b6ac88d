// The creatures of a round: growing by eating, upkeep over frames, the order
// of one frame's update, bullets, damage and death, and whole rounds played
// through the frame loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "core/varnok.h"
#include "game/ai.h"
#include "game/bullets.h"
#include "game/camera.h"
#include "game/character.h"
#include "game/character_draw.h"
#include "game/character_update.h"
#include "game/damage.h"
#include "game/food.h"
#include "game/frame_loop.h"
#include "game/maths.h"
#include "game/player_control.h"
#include "tests/game/game_harness.h"
#include "tests/game/game_world_test.h"

namespace {

class Creatures : public GameWorldTest {
 protected:
  void SetUp() override {
    GameWorldTest::SetUp();
    g_gameState.settings.characterCount = kMaxCharacters;
    g_gameState.roundResult = {};
    g_spawner.highestLevel = 1;
  }
  // A level-1 creature at (x, y), heading right, standing still.
  static Character& Add(int32_t id, float x, float y, CharacterController controller = &AiThink) {
    return AddCharacter(id, x, y, controller);
  }
  static Bullet BulletFrom(int32_t owner, float angle) { return {owner, owner - 1, 0, 0, 0, angle, 0, 0}; }
  // A square whose red channel tells it apart.
  static int32_t Solid(int red, int w, int h) {
    const int32_t graph = MakeEmptyGraph(w, h);
    FillGraphWithColor(graph, red, 0x80, 0x40, 255);
    return graph;
  }
};

TEST_F(Creatures, LevelsFromFeeding) {
  Character& c = Add(1, 1024, 1024);
  // Food starts at 10, one a meal; every even food value brings a bullet,
  // held at the magazine in force when it comes (before the level-up).
  // After meal m: level, food, max life, max ammunition, food needed,
  // ammunition interval, radius, ammunition, life.
  using Vitals = std::array<int32_t, 9>;
  const std::pair<int, Vitals> rows[] = {
      {19, {1, 29, 30, 10, 30, 120, 16, 10, 30}},     {20, {2, 30, 40, 45, 60, 100, 21, 10, 30}},
      {49, {2, 59, 40, 45, 60, 100, 21, 24, 30}},     {50, {3, 60, 60, 60, 120, 80, 26, 25, 30}},
      {110, {4, 120, 70, 90, 180, 60, 31, 55, 30}},   {170, {5, 180, 100, 160, 250, 50, 36, 85, 30}},
      {239, {5, 249, 100, 160, 250, 50, 36, 119, 30}}, {240, {6, 250, 100, 160, 250, 50, 41, 120, 30}},
      {241, {6, 250, 100, 160, 250, 50, 41, 121, 30}},
  };
  int meals = 0;
  for (const auto& [meal, vitals] : rows) {
    while (meals < meal) EatFood(c), meals++;
    EXPECT_EQ((Vitals{c.level, c.food, c.maxLife, c.maxAmmunition, c.foodNeeded, c.ammunitionInterval, c.radius,
                      c.ammunition, c.life}),
              vitals)
        << meal;
  }
  EXPECT_EQ(g_spawner.highestLevel, 6);
  // Set back a level at the top, it grows again but no bigger than before.
  c.level = 5;
  EatFood(c);
  EXPECT_EQ(c.level, 6);
  EXPECT_EQ(c.radius, 41);
  EXPECT_EQ(c.maxAmmunition, 160);
  // Once the round has ended a meal changes nothing.
  g_gameState.roundResult.ended = 1;
  EatFood(c);
  EXPECT_EQ(c.ammunition, 122);

  SetPersonality(c, 0.05f, 2.0f, 0.5f, 0.2f);
  EXPECT_EQ(c.p1, 0.1f);
  EXPECT_EQ(c.p2, 1.0f);
  EXPECT_EQ(c.p4, 0.5f);
  EXPECT_EQ(c.sightRange, 512.0f);
  EXPECT_EQ(c.halfSightRange, 256.0f);
}

TEST_F(Creatures, VitalsOverFrames) {
  // Starving at 30 of 30 with a life interval of 300: a life point every
  // 225 frames, and whoever hurt it is forgotten at each.
  Character& starving = Add(1, 1024, 1024);
  starving.food = 0;
  starving.lifeInterval = 300;
  starving.life = 2;
  starving.lastAttackerId = 5;
  for (int frame = 1; frame <= 450; frame++) {
    TickVitals(starving);
    if (frame == 224) {
      EXPECT_EQ(starving.life, 2);
      EXPECT_EQ(starving.lastAttackerId, 5);
    }
    if (frame == 225) {
      EXPECT_EQ(starving.life, 1);
      EXPECT_EQ(starving.lastAttackerId, 1);
    }
    if (frame == 449) {
      EXPECT_EQ(starving.dead, 0);
    }
  }
  EXPECT_EQ(starving.life, 0);
  EXPECT_EQ(starving.dead, 1);
  EXPECT_EQ(g_deadBodies.size(), 1u);

  // Regenerating and refilling, digestion steps three times a frame.
  Character& busy = Add(2, 1024, 1024);
  busy.life = 20;
  busy.ammunition = 5;
  busy.food = 5;
  busy.lifeInterval = 600;
  for (int frame = 1; frame <= 300; frame++) {
    TickVitals(busy);
    if (frame == 299) {
      EXPECT_EQ(busy.food, 5);
      EXPECT_EQ(busy.digestionCounter, 897);
    }
  }
  EXPECT_EQ(busy.food, 4);
  EXPECT_EQ(busy.digestionCounter, 0);
  EXPECT_EQ(busy.life, 20);
  EXPECT_EQ(busy.lifeCounter, 300);
  EXPECT_EQ(busy.ammunition, 7);  // at frames 120 and 240
  EXPECT_EQ(busy.ammunitionCounter, 60);

  // Counters that step past their mark, or whose mark dropped under them, still fire.
  busy.digestionCounter = 899;  // 900 and 901 before the digestion step, 902 at it
  busy.lifeInterval = 180;      // the life counter stands at 300
  TickVitals(busy);
  EXPECT_EQ(busy.food, 3);
  EXPECT_EQ(busy.life, 21);
  busy.food = 0;
  busy.lifeCounter = 400;  // starvation's mark: 180 / 4 * 3 = 135
  TickVitals(busy);
  EXPECT_EQ(busy.life, 20);
  EXPECT_EQ(busy.lifeCounter, 0);

  // Once the round has ended nothing changes.
  g_gameState.roundResult.ended = 1;
  TickVitals(busy);
  EXPECT_EQ(busy.lifeCounter, 0);
}

TEST_F(Creatures, OneFrameInOrder) {
  // Overlapping: the later creature is thrown harder by a bigger partner.
  // The knock-back is damped by 0.3 in the same frame.
  const struct {
    float bx;
    int32_t levelA, levelB;
    float knockA, knockB;
  } contacts[] = {
      {1032.0f, 1, 1, 0.0f, 0.0f},    // 32 apart, the sum of the radii: no contact
      {1031.9f, 1, 1, -7.0f, 7.0f},   // 31 after truncation
      {1031.9f, 3, 2, -8.4f, 12.6f},  // A pushed by 2 x 1 + 10, B by 4 x 2 + 10
  };
  for (const auto& t : contacts) {
    Character& a = Add(1, 1000.0f, 1000.0f);
    Character& b = Add(2, t.bx, 1000.0f);
    a.level = t.levelA;
    b.level = t.levelB;
    UpdateCharacters();
    EXPECT_NEAR(a.knockX, t.knockA, 1e-4) << t.bx << " " << t.levelA;
    EXPECT_NEAR(b.knockX, t.knockB, 1e-4) << t.bx << " " << t.levelA;
    EXPECT_NEAR(a.position.x, 1000.0f + t.knockA / 0.7f, 1e-3);
    ClearCharacters();
  }

  // The player mirrors how others feel about it, and relations are mutual.
  Character& player = Add(1, 500, 1024, &PlayerController);
  Character& other = Add(2, 1500, 1024);
  other.aggression[1] = -3;
  UpdateCharacters();
  EXPECT_EQ(player.aggression[2], -50);
  EXPECT_EQ(player.relation[2], -1);
  EXPECT_EQ(other.relation[1], -1);
  EXPECT_EQ(player.relationSum, -1);
  other.aggression[1] = 0;
  UpdateCharacters();
  EXPECT_EQ(player.aggression[2], 0);
  EXPECT_EQ(other.relation[1], 0);

  // A call for help goes out once a revenge timer is still above 600 after
  // its step, to friends near enough that are short of ammunition.
  Character& caller = Add(3, 1024, 1024);
  Character& friendly = Add(4, 1124, 1024);
  Character& full = Add(5, 1024, 1124);
  Character& attacker = Add(6, 1024, 900);
  caller.lastAttackerId = 6;
  friendly.aggression[3] = full.aggression[3] = -10;
  friendly.ammunition = 9;
  friendly.p3 = full.p3 = 0.99999f;
  for (int32_t timer : {601, 602}) {
    caller.revengeTimer = timer;
    friendly.aiState = full.aiState = 0;
    UpdateCharacters();
    EXPECT_EQ(caller.revengeTimer, timer == 601 ? 600 : 300);
    EXPECT_EQ(friendly.aiState, timer == 601 ? 0 : kAiRevenge);
    EXPECT_EQ(full.aiState, 0);  // 10 of 10 is above any p3
  }
  EXPECT_EQ(friendly.revengeTargetId, 6);
  EXPECT_EQ(attacker.aiState, 0);

  // Of 1, 2, 3 with 2 dead, 2 leaves and 3 still has its turn.
  ClearCharacters();
  Add(1, 300, 1024);
  Add(2, 600, 1024).dead = 1;
  Character& third = Add(3, 900, 1024);
  third.shotCooldownCounter = 0;
  UpdateCharacters();
  ASSERT_EQ(g_characters.size(), 2u);
  EXPECT_EQ(g_characters.back().id, 3);
  EXPECT_EQ(third.shotCooldownCounter, 1);
}

TEST_F(Creatures, PlayerSteersAndAims) {
  Character& c = Add(1, 1024, 1024, &PlayerController);
  g_input = {};
  // With no key held a speed of 1.5 is down to 0.45 or less after 15 frames.
  c.speed = 1.5f;
  for (int frame = 1; frame <= 15; frame++) {
    PlayerController(kControllerFrame, c, g_characters, g_characters.begin());
    if (frame == 14) {
      EXPECT_GT(c.speed, 0.45f);
    }
  }
  EXPECT_LE(c.speed, 0.45f);
  // At level 3 with a key held it closes on 1.7.
  c.level = 3;
  g_input.moving = 1;
  g_input.moveAngle = 1.0f;
  for (int frame = 0; frame < 60; frame++) PlayerController(kControllerFrame, c, g_characters, g_characters.begin());
  EXPECT_NEAR(c.speed, 1.7f, 1e-5);
  EXPECT_EQ(c.wantedHeading, 1.0f);
  PlayerController(kControllerHit, c, g_characters, g_characters.begin());  // any other event does nothing
  EXPECT_NEAR(c.speed, 1.7f, 1e-5);

  // Facing the aim, the shot goes straight; cooldown and ammunition gate it.
  ScriptedRandom random({});
  c.position.heading = 0.5f;
  TryShoot(c, 0.5f);
  EXPECT_EQ(c.shotFlag, 1);
  EXPECT_EQ(c.shotAngle, 0.5f);
  EXPECT_EQ(c.ammunition, 9);
  TryShoot(c, 0.5f);  // cooldown counter 0 of 8
  EXPECT_EQ(c.shotFlag, 0);
  // Facing away, the spread is a quarter turn, centred on the aim.
  c.shotCooldownCounter = 8;
  c.position.heading = 0.0f;
  TryShoot(c, kHalfTurn);
  EXPECT_EQ(random.maxima.back(), 78539);
  EXPECT_NEAR(c.shotAngle, 3.14159 - 0.39269875, 1e-6);
}

TEST_F(Creatures, DamageAndTakingSides) {
  Character& victim = Add(1, 1000, 1000);
  Add(2, 1300, 1300);  // the shooter
  Character& friendOfVictim = Add(3, 1511, 1000);  // 511 away
  Character& outOfRange = Add(4, 1512, 1000);      // 512 away
  Character& enemyOfVictim = Add(5, 1000, 1400);
  Character& warmish = Add(6, 1000, 600);
  Character& player = Add(7, 900, 1000, &PlayerController);
  friendOfVictim.aggression[1] = -60;
  friendOfVictim.radius = 21;
  outOfRange.aggression[1] = -60;
  outOfRange.aggression[2] = 130;  // brought back into range all the same
  enemyOfVictim.aggression[1] = 51;
  enemyOfVictim.aggression[2] = 60;
  enemyOfVictim.radius = 26;
  warmish.aggression[1] = 10;
  warmish.radius = 31;
  ScriptedRandom random({});
  Bullet bullet = BulletFrom(2, 0.0f);
  DamageCharacter(victim, bullet);
  EXPECT_EQ(victim.life, 29);
  EXPECT_EQ(victim.knockX, 5.0f);
  EXPECT_EQ(victim.knockY, 0.0f);
  EXPECT_EQ(victim.hit, 1);
  EXPECT_EQ(victim.revengeTimer, 200);
  EXPECT_EQ(victim.lastAttackerId, 2);
  EXPECT_EQ(victim.aggression[2], 16);
  EXPECT_EQ(bullet.finished, 1);
  EXPECT_EQ(friendOfVictim.aggression[2], 4);
  EXPECT_EQ(outOfRange.aggression[2], 100);
  EXPECT_EQ(enemyOfVictim.aggression[2], 56);
  EXPECT_EQ(warmish.aggression[2], -2);
  EXPECT_EQ(player.aggression[2], 0);
  // Three arrows over the victim, one over each bystander in reach, each
  // placed by two draws within 1.5 radii.
  EXPECT_EQ(random.maxima, (std::vector<int>{48, 48, 48, 48, 48, 48, 63, 63, 78, 78, 93, 93}));

  // A fatal hit credits the shooter before it: friends of the victim within
  // 819 turn on the killer (6 here), not on the last shooter.
  victim.life = 1;
  victim.lastAttackerId = 6;
  friendOfVictim.aggression[6] = 0;
  Bullet fatal = BulletFrom(2, 0.0f);
  DamageCharacter(victim, fatal);
  EXPECT_EQ(victim.dead, 1);
  EXPECT_EQ(friendOfVictim.aggression[6], 8);
  EXPECT_EQ(outOfRange.aggression[6], 8);
  EXPECT_EQ(enemyOfVictim.aggression[6], 0);  // hostile to the victim
  EXPECT_EQ(g_deadBodies.size(), 1u);
  // Dead already: hurt again, but neither killed twice nor credited again.
  Bullet again = BulletFrom(2, 0.0f);
  DamageCharacter(victim, again);
  EXPECT_EQ(victim.life, -1);
  EXPECT_EQ(g_deadBodies.size(), 1u);
  EXPECT_EQ(friendOfVictim.aggression[6], 8);

  // After the round's end a bullet does nothing and flies on.
  g_gameState.roundResult.ended = 1;
  Bullet late = BulletFrom(2, 0.0f);
  DamageCharacter(player, late);
  EXPECT_EQ(player.life, 30);
  EXPECT_EQ(late.finished, 0);
}

TEST_F(Creatures, DeadBodyPartsFlyApartAndStop) {
  Character& c = Add(1, 700, 800);
  c.level = 2;
  c.radius = 25;  // the eyes start 23 out
  c.position.heading = 0.25f;
  // Angles all 0; speeds 18, 8, 13 and 8.
  ScriptedRandom random({100000, 100000, 100000, 100000, 1000000, 0, 500000, 0});
  DeadBody body = MakeDeadBody(c);
  EXPECT_EQ(body.level, 2);
  EXPECT_EQ(body.position.heading, 0.25f);
  EXPECT_NEAR(body.parts[2].offsetX, 23 * std::cos(-0.45), 1e-5);
  EXPECT_NEAR(body.parts[3].offsetY, 23 * std::sin(0.45), 1e-5);
  // parts[0] at speed 18: cos 0 + speed onto x, sin 0 + speed onto y, the speed halved each frame.
  const float partZero[][2] = {{19, 18}, {29, 27}, {34.5f, 31.5f}, {37.75f, 33.75f}, {39.875f, 34.875f}};
  for (int frame = 0; frame < 8; frame++) {
    UpdateDeadBody(body);
    const int row = frame < 5 ? frame : 4;
    EXPECT_EQ(body.parts[0].offsetX, partZero[row][0]) << frame;
    EXPECT_EQ(body.parts[0].offsetY, partZero[row][1]) << frame;
    // Parts at 8 and 13 are slow after four frames; the one at 18 after five.
    EXPECT_EQ(body.stopped, frame >= 4 ? 1 : 0) << frame;
  }
  EXPECT_EQ(body.parts[1].offsetX, 20.5f);  // five frames: 8 + 4 + 2 + 1 + 0.5, plus 1 a frame
}

TEST_F(Creatures, BulletsHitTheFirstOtherAndEndAtTheEdge) {
  Add(1, 500, 1024);
  Character& first = Add(2, 540, 1024);
  Character& second = Add(3, 541, 1024);
  SpawnBullet(500, 1024, 0.0f, 1, 0);  // inside its owner, which it never hits
  for (int frame = 1; frame <= 3; frame++) {
    UpdateBullets();
    EXPECT_EQ(g_bullets.size(), frame < 3 ? 1u : 0u) << frame;
  }
  EXPECT_EQ(first.life, 29);  // 10 away at frame 3; the second was 11 away
  EXPECT_EQ(second.life, 30);

  // The field's edge, on the position truncated after the move.
  const struct {
    int32_t fieldMode;
    float startX;
    bool flies;
  } edges[] = {
      {kFieldDisc, 2037.5f, true},        {kFieldDisc, 2038.0f, false},  // 1024 from the centre ends it
      {kFieldRectangle, 2038.9f, true},   {kFieldRectangle, 2039.0f, false},
      {kFieldRectangle, -10.5f, true},    {kFieldRectangle, -11.0f, false},
      {0, 1.0e9f, true},  // no field: no edge
  };
  ClearCharacters();
  for (const auto& edge : edges) {
    g_gameState.settings.fieldMode = edge.fieldMode;
    SpawnBullet(edge.startX, 1024, 0.0f, 1, 0);
    UpdateBullets();
    EXPECT_EQ(g_bullets.size(), edge.flies ? 1u : 0u) << edge.fieldMode << " " << edge.startX;
    ClearBullets();
  }
  g_gameState.settings.fieldMode = kFieldDisc;
}

// Drawn at the view point, the creature's centre falls on the screen's (512, 384).
TEST_F(Creatures, EyesAndStatusPanelInPlace) {
  const auto clear = [] {
    SetBlendMode(0, 255);
    DrawRectangle(0, 0, 1024, 768, PackRgbToScreenColor(0, 0, 0), 1);
  };
  g_camera.viewX = g_camera.viewY = 1000;
  Character& c = Add(1, 1000, 1000, &PlayerController);
  c.radius = 25;  // eyes 23 out, at angles -0.45 and 0.45
  c.life = 27;
  chara_commonParts_eye[0] = Solid(0x40, 9, 9);
  chara_commonParts_eye[1] = Solid(0xC0, 3, 3);
  // The pupil sits on the white at speed 0, and 3 pixels toward the wanted
  // heading (here straight down) from speed 1.5 on.
  for (float speed : {0.0f, 1.5f}) {
    clear();
    c.speed = speed;
    c.wantedHeading = kHalfTurn / 2;
    DrawCharacterBody(c);
    for (int side = 0; side < 2; side++) {
      const int eyeX = 512 + 21, eyeY = 384 + (side == 0 ? -10 : 10);
      double whiteX = 0, whiteY = 0, pupilX = 0, pupilY = 0;
      int white = 0, pupil = 0;
      for (int y = eyeY - 8; y <= eyeY + 8; y++)
        for (int x = eyeX - 8; x <= eyeX + 8; x++) {
          const uint32_t red = game.BackPixel(x, y) >> 16;
          if (red == 0x40 || red == 0xC0) whiteX += x, whiteY += y, white++;
          if (red == 0xC0) pupilX += x, pupilY += y, pupil++;
        }
      ASSERT_EQ(white, 81) << side;
      ASSERT_EQ(pupil, 9) << side;
      EXPECT_NEAR(pupilX / pupil - whiteX / white, 0.0, 0.5) << side;
      EXPECT_NEAR(pupilY / pupil - whiteY / white, speed == 0 ? 0.0 : 3.0, 0.5) << side;
    }
  }
  // Rows of life, ammunition and food: label at x - 80, the value ending at
  // x - 16, the separator at x, the most it can be ending at x + 60.
  for (int k = 0; k < 10; k++) num16_24[k] = Solid(0x10 + 0x10 * k, 16, 24);
  for (int k = 0; k < 4; k++) statusMark[k] = Solid(0xB0 + 0x10 * k, 24, 24);
  c.statusAlpha = 1.0f;
  clear();
  DrawStatusMarks(c);
  const struct {
    int y;
    int label, current[2], upper[2];
  } rows[] = {{256, 1, {2, 7}, {3, 0}}, {284, 2, {1, 0}, {1, 0}}, {312, 3, {1, 0}, {3, 0}}};
  for (const auto& row : rows) {
    const auto at = [&](int x) { return game.BackPixel(x + 2, row.y + 2) >> 16; };
    EXPECT_EQ(at(432), 0xB0u + 0x10 * row.label) << row.y;
    EXPECT_EQ(at(480), 0x10u + 0x10 * row.current[0]) << row.y;
    EXPECT_EQ(at(496), 0x10u + 0x10 * row.current[1]) << row.y;
    EXPECT_EQ(at(512), 0xB0u) << row.y;
    EXPECT_EQ(at(556), 0x10u + 0x10 * row.upper[0]) << row.y;
    EXPECT_EQ(at(572), 0x10u + 0x10 * row.upper[1]) << row.y;
  }
  c.statusAlpha = 0.005f;  // below the mark: nothing
  clear();
  DrawStatusMarks(c);
  EXPECT_EQ(game.BackPixel(434, 258), 0u);
  std::fill(std::begin(num16_24), std::end(num16_24), -1);
  std::fill(std::begin(statusMark), std::end(statusMark), -1);
  std::fill(std::begin(chara_commonParts_eye), std::end(chara_commonParts_eye), -1);
}

// A round of six on the easy row, the player steering, firing and dying.
TEST_F(Creatures, PlayerRoundThroughTheFrameLoop) {
  ApplyDifficultyRow(g_gameState.settings, kDifficultyRows[kDifficultyEasy], 0);
  SwitchScene(g_gameState, kSceneRound);
  ASSERT_EQ(g_characters.size(), 6u);
  Character& player = g_characters.front();
  ASSERT_TRUE(IsPlayer(player));
  EXPECT_EQ(g_camera.followed, &player.position);
  player.position = {1024, 1024, 0, 0, 0};
  float y = 700;
  for (Character& c : g_characters)
    if (!IsPlayer(c)) c.position = {400, y += 120, 0, 0, 0};  // out of the way

  FrameInput right;
  right.keys = {kKeyD};
  game.Frames(40, right);
  EXPECT_GT(player.position.x, 1024 + 40);
  EXPECT_NEAR(player.position.heading, 0.0f, 1e-3);

  // Holding the left button fires every 8 frames toward the mouse, on the right.
  FrameInput fire;
  fire.buttons = kMouseLeft;
  fire.mouseX = 1000;
  const int32_t ammunition = player.ammunition;
  game.Frames(17, fire);
  EXPECT_EQ(player.ammunition, ammunition - 3);
  for (const Bullet& b : g_bullets) EXPECT_GT(std::cos(b.angle), 0.5f);

  // Shot by creature 2 until dead; gone the frame after.
  const float x = player.position.x;
  y = player.position.y;
  player.life = 2;
  for (int i = 0; i < 2; i++) SpawnBullet(x - 40 - 10 * i, y, 0.0f, 2, 1);
  // Killed by the bullets' update, it is still listed until its next turn.
  bool deadBeforeItsTurn = false;
  for (int frame = 0; frame < 10 && IsPlayer(g_characters.front()); frame++) {
    deadBeforeItsTurn = player.dead;
    game.Frame();
  }
  EXPECT_TRUE(deadBeforeItsTurn);
  ASSERT_FALSE(g_characters.empty());
  EXPECT_FALSE(IsPlayer(g_characters.front()));
  EXPECT_EQ(g_deadBodies.size(), 1u);
  EXPECT_EQ(g_camera.followed, &g_gameState.roundResult.position);
  EXPECT_NEAR(g_gameState.roundResult.position.x, x, 20);  // thrown on a little by the hits
}

// Thirty-two creatures crowded in the middle under fire from every side,
// all at death's door; then one thrown far out of the field.
TEST_F(Creatures, CarnivalUnderHeavyFire) {
  ApplyDifficultyRow(g_gameState.settings, kDifficultyRows[kDifficultyCarnival], 0);
  SwitchScene(g_gameState, kSceneRound);
  ASSERT_EQ(g_characters.size(), 32u);
  EXPECT_EQ(g_characters.back().id, 32);
  EXPECT_EQ(g_characters.back().colour, 31);
  for (Character& c : g_characters) c.life = 1;
  // Bodies, the dead and the bullets drawn, also far off the screen.
  const auto paint = [](int32_t graph) {
    for (auto table : {std::span<int32_t>(chara_commonParts_circle), std::span<int32_t>(chara_commonParts_bone),
                       std::span<int32_t>(chara_color_bullet)})
      std::fill(table.begin(), table.end(), graph);
  };
  paint(Solid(0x80, 40, 40));
  for (int frame = 0; frame < 90 && !g_characters.empty(); frame++) {
    for (int i = 0; i < 16; i++) {
      const float angle = i * 0.39269908f + frame * 0.05f;
      SpawnBullet(1024 - 900 * std::cos(angle), 1024 - 900 * std::sin(angle), angle, 1 + (i + frame) % 32, i);
    }
    if (frame == 60) {
      Character& far = g_characters.back();
      far.position.x = -1.0e7f;
      far.knockY = 3.0e8f;
    }
    FrameInput in;
    in.buttons = frame % 2 ? kMouseLeft : 0;
    in.wheel = 1;
    game.Frame(in);
  }
  size_t alive = 0;
  for (const Character& c : g_characters) alive += c.dead == 0;
  EXPECT_LT(alive, 32u);
  EXPECT_EQ(g_deadBodies.size() + alive, 32u);
  paint(-1);
}

}  // namespace
