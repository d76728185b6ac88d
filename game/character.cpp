#include "game/character.h"

#include <algorithm>

#include "game/ai.h"
#include "game/camera.h"
#include "game/damage.h"
#include "game/field.h"
#include "game/food.h"
#include "game/maths.h"
#include "game/player_control.h"

CharacterList g_characters;

namespace {

constexpr int32_t kTopLevel = 6;

// What a level brings; level 6 brings nothing but its size.
struct LevelRow {
  int32_t maxLife;
  int32_t maxAmmunition;
  int32_t foodNeeded;
  int32_t ammunitionIntervalStep;
};
constexpr LevelRow kLevelRows[kTopLevel + 1] = {
    {}, {}, {40, 45, 60, -20}, {60, 60, 120, -20}, {70, 90, 180, -20}, {100, 160, 250, -10}, {},
};

// The radius belongs to the level, so a creature set back a level and grown
// again does not swell past the top size.
int32_t RadiusOfLevel(int32_t level) { return 11 + 5 * level; }


}  // namespace

bool IsPlayer(const Character& character) { return character.controller == &PlayerController; }

WorldPoint SoundListener(WorldPoint source) {
  const PositionRecord* followed = g_camera.followed;
  return followed != nullptr ? WorldPoint{followed->x, followed->y} : source;
}

void PlayCharacterSe(const Character& character, int32_t slot) {
  const WorldPoint source{character.position.x, character.position.y};
  PlaySeAt(source, SoundListener(source), character.sounds.handles[slot], g_soundSet);
}

void ConstructCharacter(Character& c) {
  c = Character{};
  c.scale = 1.0f;
  c.lifeInterval = 300;
  c.ammunitionInterval = 120;
  c.digestionInterval = 900;
  c.shotCooldownCounter = 8;
  c.shotCooldown = 8;
  c.thinkInterval = 12;
  SetPersonality(c, 0.5f, 0.5f, 0.5f, 0.6f);
  std::fill(std::begin(c.sounds.handles), std::end(c.sounds.handles), -1);
}

void SetupCharacter(Character& c, int32_t id) {
  c.life = 30;
  c.maxLife = 30;
  c.ammunition = 10;
  c.maxAmmunition = 10;
  c.level = 1;
  c.food = 10;
  c.foodNeeded = 30;
  c.radius = RadiusOfLevel(1);
  c.id = id;
  c.itemEffects.clear();
  std::fill(std::begin(c.aggression) + 1, std::end(c.aggression), 0);
  const float p4 = 0.5f + RandomFloat(0.5f);
  const float p3 = 0.1f + RandomFloat(0.89999f);
  const float p2 = 0.1f + RandomFloat(0.89999f);
  const float p1 = 0.1f + RandomFloat(0.89999f);
  SetPersonality(c, p1, p2, p3, p4);
  c.lastAttackerId = id;
  c.revengeTargetId = id;
}

void SetPersonality(Character& c, float p1, float p2, float p3, float p4) {
  c.p1 = std::clamp(p1, 0.1f, 1.0f);
  c.p2 = std::clamp(p2, 0.1f, 1.0f);
  c.p3 = std::clamp(p3, 0.1f, 1.0f);
  c.p4 = std::clamp(p4, 0.5f, 1.0f);
  c.sightRange = c.p4 * 1024.0f;
  c.halfSightRange = c.p4 * 1024.0f * 0.5f;
}

void LevelUp(Character& c) {
  if (c.level >= kTopLevel) return;
  c.level += 1;
  c.radius = RadiusOfLevel(c.level);
  g_spawner.highestLevel = std::max(g_spawner.highestLevel, c.level);
  const LevelRow& row = kLevelRows[c.level];
  if (c.level < kTopLevel) {
    c.maxLife = row.maxLife;
    c.maxAmmunition = row.maxAmmunition;
    c.foodNeeded = row.foodNeeded;
    c.ammunitionInterval += row.ammunitionIntervalStep;
  }
  // A ring of the new size swells out from the creature and fades.
  Effect& ring = AddEffect(chara_commonParts_circle[c.level - 1], &ScaleEaseEffectProc);
  ring.x = c.position.x;
  ring.y = c.position.y;
  ring.z = c.position.z;
  ring.angle = c.position.heading;
  ring.spare = c.position.fifth;
  ring.step = 2.5f;
  ring.factor = 0.2f;
  ring.alpha = 128;
  ring.fadeStep = 8.0f;
}

void CreateRoundCharacters() {
  GameState& state = g_gameState;
  const int32_t count = std::min<int32_t>(state.settings.characterCount, kMaxCharacters);
  for (int32_t i = 1; i <= count; i++) {
    Character c;
    ConstructCharacter(c);
    PositionRecord start{};
    RandomFieldPoint(start);
    c.position = start;
    c.moveGoal = start;
    c.aimGoal = start;
    c.controller = &AiThink;
    c.level = 1;
    c.lifeInterval = state.settings.lifeInterval;
    c.colour = i - 1;
    SetupCharacter(c, i);
    Character& listed = g_characters.emplace_back(std::move(c));
    LoadCharacterSounds(listed.sounds);
    listed.messages.owner = &listed.position;
  }
  if (state.settings.watchMode) {
    g_camera.followed = &state.watchPoint.position;
  } else if (!g_characters.empty()) {
    Character& player = g_characters.front();
    g_camera.followed = &player.position;
    player.controller = &PlayerController;
  }
  SnapCamera();
}

void ClearCharacters() {
  GameState& state = g_gameState;
  for (Character& c : g_characters) {
    if (IsPlayer(c)) state.roundResult.position = c.position;
    FreeCharacterSounds(c.sounds);
    // Nothing may go on reading the records about to be freed.
    if (g_camera.followed == &c.position) g_camera.followed = &state.roundResult.position;
  }
  g_characters.clear();
  g_deadBodies.clear();
  PickedCharacter = nullptr;
  state.watchPoint.followed = nullptr;
}
