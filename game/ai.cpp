#include "game/ai.h"

#include <cmath>

#include "core/varnok.h"
#include "game/character_update.h"
#include "game/maths.h"
#include "game/player_control.h"

namespace {

// 2048 squared: what a missing goal counts as, and where the nearest-searches
// begin, so that nothing farther than the field is wide is ever "nearer".
constexpr float kNoGoal = 4194304.0f;
constexpr int64_t kSearchLimit = 4194304;
constexpr float kQuarterTurn = 1.570795f;

float DistanceSquaredTo(const Character& c, float x, float y) {
  return DistanceSquared(c.position.x, c.position.y, x, y);
}

void SetMoveGoal(Character& c, float x, float y) {
  c.moving = 1;
  c.moveGoal.x = x;
  c.moveGoal.y = y;
}

void SetAimGoal(Character& c, float x, float y) {
  c.aiming = 1;
  c.aimGoal.x = x;
  c.aimGoal.y = y;
}

// The next frame runs a think step at once.
void ThinkAgain(Character& c) { c.thinkTimer = c.thinkInterval; }

WorldPoint Where(const FoodBox& box) { return {box.x, box.y}; }
WorldPoint Where(const Food& food) { return {food.x, food.y}; }
WorldPoint Where(const Item& item) { return {item.position.x, item.position.y}; }

// The nearest of the things kept, by the squared distance truncated to an
// integer, starting from `start` with the field's width squared as the limit.
template <typename T, typename Keep>
const T* Nearest(const std::list<T>& things, const Character& c, const T* start, Keep keep) {
  const T* nearest = start;
  int64_t limit = kSearchLimit;
  for (const T& thing : things) {
    if (!keep(thing)) continue;
    const WorldPoint p = Where(thing);
    const int64_t d = TruncateToInt(DistanceSquaredTo(c, p.x, p.y));
    if (d < limit) {
      nearest = &thing;
      limit = d;
    }
  }
  return nearest;
}

// Boxes and items: when none is nearer than the field is wide, the first.
template <typename T>
const T* NearestOrFirst(const std::list<T>& things, const Character& c) {
  if (things.empty()) return nullptr;
  return Nearest(things, c, &things.front(), [](const T&) { return true; });
}

bool FoodInsideField(const Food& food) {
  const int32_t x = TruncateToInt(food.x), y = TruncateToInt(food.y);
  switch (g_gameState.settings.fieldMode) {
    case kFieldRectangle:
      return !(x < 0 || y < 0 || x > kFieldWidth || y > kFieldHeight);
    case kFieldDisc:
      return TruncatedDistanceSquared(kDiscCentre, kDiscCentre, food.x, food.y) < kDiscRadiusSquared;
    default:
      return true;
  }
}

// ---- Steering, every frame -------------------------------------------------

// Never fires through a friend: the line of fire runs to twice the aim
// distance and a friend within twice its radius of it holds every shot.
bool FriendInLineOfFire(const Character& c, const CharacterList& list) {
  const float vx = (c.aimGoal.x - c.position.x) * 2.0f, vy = (c.aimGoal.y - c.position.y) * 2.0f;
  for (const Character& other : list) {
    if (other.id == c.id || c.aggression[other.id] >= 0) continue;
    if (SegmentTouchesCircle(c.position.x, c.position.y, vx, vy, other.position.x, other.position.y,
                             static_cast<float>(other.radius * 2)))
      return true;
  }
  return false;
}

void Steer(Character& c, CharacterList& list) {
  if (c.moving) {
    c.wantedHeading = std::atan2(c.moveGoal.y - c.position.y, c.moveGoal.x - c.position.x);
    Accelerate(c);
    const int64_t radius = c.radius;
    if (TruncatedDistanceSquared(c.position.x, c.position.y, c.moveGoal.x, c.moveGoal.y) < radius * radius)
      c.moving = 0;
  } else {
    Coast(c);
  }
  if (c.aiming && !FriendInLineOfFire(c, list))
    TryShoot(c, std::atan2(c.aimGoal.y - c.position.y, c.aimGoal.x - c.position.x));
}

// ---- The state handlers ------------------------------------------------------

void Decide(Character& c, const CharacterList& list) {
  c.moving = 0;
  c.aiming = 0;
  float scores[4];
  scores[0] = 0.4f;
  scores[1] = (1.0f - static_cast<float>(c.food) / static_cast<float>(c.foodNeeded)) * 2.2f + c.p2;
  const float ammunition = static_cast<float>(1.2 * c.ammunition);
  scores[2] = 2.0f * ammunition / static_cast<float>(c.maxAmmunition) + c.p1;
  scores[3] = c.p3;
  // Boxes enough for everyone, or nearly grown: hunger wins more often.
  if (list.size() <= g_foodField.boxes.size()) scores[1] += 0.7f;
  if (c.food >= 2 * (c.foodNeeded / 3)) scores[1] += 0.7f;
  // The biggest in the round has nothing to fear.
  if (c.level == g_spawner.highestLevel) scores[2] += 1.0f;
  static constexpr int32_t kNext[4] = {kAiDecide, kAiLookForFood, kAiChooseTarget, kAiPlanWander};
  c.aiState = kNext[PickMaxOf4(scores)];
}

void GoToNearestGoal(Character& c, CharacterList& list, CharacterList::iterator position) {
  const FoodBox* box = FindNearestFoodBox(list, position);
  const Food* food = FindNearestFood(list, position);
  const Item* item = FindNearestItem(list, position);
  const Character* target = ChooseAttackTarget(list, position);
  const float scores[4] = {
      box ? DistanceSquaredTo(c, box->x, box->y) : kNoGoal,
      food ? DistanceSquaredTo(c, food->x, food->y) : kNoGoal,
      item ? DistanceSquaredTo(c, item->position.x, item->position.y) : kNoGoal,
      target ? DistanceSquaredTo(c, target->position.x, target->position.y) : kNoGoal,
  };
  static constexpr int32_t kNext[4] = {kAiGoToFoodBox, kAiGoToFood, kAiWantItem, kAiChooseTarget};
  c.aiState = kNext[PickMinOf(scores, 3)];
}

void LookForFood(Character& c, CharacterList& list, CharacterList::iterator position) {
  const FoodBox* box = FindNearestFoodBox(list, position);
  const Food* food = FindNearestFood(list, position);
  const auto inSight = [&c](float x, float y) {
    return InCircle(TruncateToInt(c.position.x), TruncateToInt(c.position.y), TruncateToInt(c.sightRange), TruncateToInt(x), TruncateToInt(y));
  };
  if (box == nullptr && food == nullptr) {
    c.aiState = kAiPlanWander;
  } else if (box == nullptr) {
    if (inSight(food->x, food->y)) {
      c.aiState = kAiGoToFood;
      c.aiming = 0;
    } else {
      c.aiState = kAiPlanWander;
    }
  } else if (food == nullptr) {
    c.aiState = inSight(box->x, box->y) ? kAiGoToFoodBox : kAiPlanWander;
  } else {
    const float distances[2] = {DistanceSquaredTo(c, box->x, box->y), DistanceSquaredTo(c, food->x, food->y)};
    const int32_t picked = PickMinOf(distances, 1);
    if (distances[picked] < c.sightRange * c.sightRange) c.aiState = picked == 0 ? kAiGoToFoodBox : kAiGoToFood;
    else c.aiState = kAiPlanWander;
  }
}

void GoToFoodBox(Character& c, CharacterList& list, CharacterList::iterator position) {
  const FoodBox* box = FindNearestFoodBox(list, position);
  if (box == nullptr) {
    c.aiState = kAiGoToFood;
    c.aiming = 0;
    ThinkAgain(c);
    return;
  }
  const int32_t d = TruncateToInt(DistanceSquaredTo(c, box->x, box->y));
  if (static_cast<float>(d) > c.sightRange * c.sightRange) {
    c.aiState = kAiLookForFood;
    c.aiming = 0;
    ThinkAgain(c);
    return;
  }
  const Food* food = FindNearestFood(list, position);
  if (food != nullptr && DistanceSquaredTo(c, food->x, food->y) <= static_cast<float>(d)) {
    c.aiState = kAiGoToFood;
    c.aiming = 0;
    return;
  }
  SetMoveGoal(c, box->x, box->y);
  if (static_cast<float>(d) <= c.halfSightRange * c.halfSightRange) SetAimGoal(c, box->x, box->y);
}

void GoToFood(Character& c, CharacterList& list, CharacterList::iterator position) {
  const Food* food = FindNearestFood(list, position);
  if (food == nullptr) {
    c.aiState = kAiDecide;
    c.aiming = 0;
    ThinkAgain(c);
    return;
  }
  if (static_cast<float>(TruncateToInt(DistanceSquaredTo(c, food->x, food->y))) > c.sightRange * c.sightRange) {
    c.aiState = kAiDecide;
    ThinkAgain(c);
    return;
  }
  SetMoveGoal(c, food->x, food->y);
}

void GoToItem(Character& c, CharacterList& list, CharacterList::iterator position) {
  const Item* item = FindNearestItem(list, position);
  if (item == nullptr) {
    c.aiState = kAiDecide;
    return;
  }
  SetMoveGoal(c, item->position.x, item->position.y);
}

// Chases the target and, within half its sight, aims where the target is going.
void Chase(Character& c, const Character& target) {
  SetMoveGoal(c, target.position.x, target.position.y);
  if (DistanceSquaredTo(c, target.position.x, target.position.y) <= c.halfSightRange * c.halfSightRange) {
    const WorldPoint ahead = PointAheadOfCharacter(target);
    SetAimGoal(c, ahead.x, ahead.y);
  } else {
    c.aiming = 0;
  }
}

void Attack(Character& c, CharacterList& list, CharacterList::iterator position) {
  const Character* target = ChooseAttackTarget(list, position);
  if (target == nullptr) {
    c.aiState = kAiDecide;
    c.aiming = 0;
    return;
  }
  Chase(c, *target);
  if (AmmunitionRatio(c) < c.p2) {
    c.aiState = kAiPlanWander;
    c.aiming = 0;
  }
}

// Runs off at a slant from the attacker, as far as the attacker can see
// past where it stands, shooting back while the magazine allows.
void Flee(Character& c) {
  const Character* attacker = FindCharacterById(c.lastAttackerId);
  if (attacker == nullptr) {
    c.aiState = kAiPlanWander;
    return;
  }
  const float heading = c.position.heading;
  const float away = std::atan2(c.position.y - attacker->position.y, c.position.x - attacker->position.x);
  const int32_t turn = TurnDirection(heading, away);
  const float slant = away - static_cast<float>(turn) * kQuarterTurn;
  const float run = away + 0.8f * AngleDelta(heading, slant);
  const float distance = std::sqrt(DistanceSquaredTo(c, attacker->position.x, attacker->position.y));
  const int32_t length = TruncateToInt(attacker->halfSightRange * 1.3f - distance);
  if (length <= c.radius) {
    c.aiState = kAiDecide;
    ThinkAgain(c);
    return;
  }
  SetMoveGoal(c, c.position.x + std::cos(run) * static_cast<float>(length),
              c.position.y + std::sin(run) * static_cast<float>(length));
  if (AmmunitionRatio(c) >= 0.5f * c.p2) {
    const WorldPoint ahead = PointAheadOfCharacter(*attacker);
    SetAimGoal(c, ahead.x, ahead.y);
  } else {
    c.aiming = 0;
  }
}

void Revenge(Character& c) {
  const Character* target = FindCharacterById(c.revengeTargetId);
  if (target == nullptr) {
    c.aiState = kAiDecide;
    return;
  }
  Chase(c, *target);
  if (AmmunitionRatio(c) < 1.0f - c.p3) {
    c.aiState = kAiPlanWander;
    c.aiming = 0;
  }
}

// Every creature in sight pulls the wander point toward the far side of
// itself, friends sideways one way and foes the other; the creature's own
// term pulls it a sight range toward +x.
void PlanWander(Character& c, const CharacterList& list) {
  const float sight = c.sightRange;
  float gx = c.position.x, gy = c.position.y;
  for (const Character& other : list) {
    if (std::sqrt(DistanceSquaredTo(c, other.position.x, other.position.y)) > sight) continue;
    const float k = static_cast<float>(c.aggression[other.id]) / 100.0f * 0.5f;
    const float b = std::atan2(c.position.y - other.position.y, c.position.x - other.position.x);
    const float vx = sight * std::cos(b) + sight * k, vy = sight * std::sin(b) + sight * k;
    gx = (other.position.x + vx + gx) * 0.5f;
    gy = (other.position.y + vy + gy) * 0.5f;
  }
  SetMoveGoal(c, gx, gy);
  c.aiState = kAiWander;
}

bool GoalOutsideField(const Character& c) {
  const int32_t gx = TruncateToInt(c.moveGoal.x), gy = TruncateToInt(c.moveGoal.y);
  switch (g_gameState.settings.fieldMode) {
    case kFieldRectangle:
      return !PointInRect(0, 0, static_cast<int32_t>(kFieldWidth), static_cast<int32_t>(kFieldHeight), gx, gy);
    case kFieldDisc: {
      // Short of the rim by the radius and a little more, so that the
      // creature is not pushed back by the edge on its way.
      const int64_t inner = TruncateToInt(kDiscRadius - static_cast<float>(c.radius) - 8.0f);
      return TruncatedDistanceSquared(kDiscCentre, kDiscCentre, c.moveGoal.x, c.moveGoal.y) >= inner * inner;
    }
    default:
      return false;
  }
}

void Wander(Character& c) {
  c.moving = 1;
  if (GoalOutsideField(c)) {
    // A short walk back the way the goal does not lie.
    const float a = std::atan2(c.position.y - c.moveGoal.y, c.position.x - c.moveGoal.x);
    const float alongX = static_cast<float>(GetRandomValue(128)) + 51.2f;
    c.moveGoal.x = c.position.x + std::cos(a) * alongX;
    const float alongY = static_cast<float>(GetRandomValue(128)) + 51.2f;
    c.moveGoal.y = c.position.y + std::sin(a) * alongY;
  }
  const int64_t radius = c.radius;
  if (TruncatedDistanceSquared(c.position.x, c.position.y, c.moveGoal.x, c.moveGoal.y) < radius * radius) {
    c.aiState = GetRandomValue(1) == 0 ? kAiNearestGoal : kAiDecide;
    return;
  }
  if (GetRandomValue(50) == 0) c.aiState = kAiNearestGoal;
  if (GetRandomValue(25) == 0) c.aiState = kAiLookForFood;
}

void RunThinkStep(Character& c, CharacterList& list, CharacterList::iterator position) {
  switch (c.aiState) {
    case kAiDecide:
      return Decide(c, list);
    case kAiNearestGoal:
      return GoToNearestGoal(c, list, position);
    case kAiLookForFood:
      return LookForFood(c, list, position);
    case kAiGoToFoodBox:
      return GoToFoodBox(c, list, position);
    case kAiGoToFood:
      return GoToFood(c, list, position);
    case kAiWantItem:
      // The item is sought at the next think.
      c.aiState = kAiGoToItem;
      return;
    case kAiGoToItem:
      return GoToItem(c, list, position);
    case kAiChooseTarget:
      c.aiState = ChooseAttackTarget(list, position) != nullptr ? kAiAttack : kAiPlanWander;
      return;
    case kAiAttack:
      return Attack(c, list, position);
    case kAiFlee:
      return Flee(c);
    case kAiRevenge:
      return Revenge(c);
    case kAiPlanWander:
      return PlanWander(c, list);
    case kAiWander:
      return Wander(c);
    default:
      c.aiState = kAiDecide;
      c.moving = 0;
      c.aiming = 0;
      return;
  }
}

}  // namespace

void AiThink(int32_t event, Character& c, CharacterList& list, CharacterList::iterator position) {
  Steer(c, list);
  const bool hit = event == kControllerHit;
  c.thinkTimer = hit ? c.thinkInterval : c.thinkTimer + 1;
  if (c.thinkTimer < c.thinkInterval) return;
  c.thinkTimer = 0;
  if (hit) {
    // Going for food it stands more before it runs; anywhere else it fights
    // back while it has half its life.
    const float r = static_cast<float>(c.life) / static_cast<float>(c.maxLife);
    if (c.aiState == kAiGoToFood) {
      if (r < 0.4f) c.aiState = kAiFlee;
    } else {
      c.aiState = r < 0.5f ? kAiFlee : kAiAttack;
    }
  }
  if (c.boxContact) c.aiState = kAiGoToFoodBox;
  RunThinkStep(c, list, position);
}

Character* ChooseAttackTarget(CharacterList& list, CharacterList::iterator position) {
  if (list.empty()) return nullptr;
  const Character& c = *position;
  const int32_t least = g_gameState.settings.targetOption ? 0 : 1;
  const float sightSquared = c.sightRange * c.sightRange;
  Character* choice = nullptr;
  float best = 0.0f;
  for (Character& other : list) {
    if (other.id == c.id) continue;
    const int32_t aggression = c.aggression[other.id];
    if (aggression < least) continue;
    const float d = DistanceSquaredTo(c, other.position.x, other.position.y);
    if (d > sightSquared) continue;
    // Near, hated, big, at odds with many, or the player: the best target.
    float score = 2.0f - d / sightSquared * 3.0f + 2.0f * static_cast<float>(aggression) / 100.0f +
                  0.5f * static_cast<float>(other.level - 1) + static_cast<float>(other.relationSum);
    if (IsPlayer(other)) score += 0.7f;
    if (score > best) {
      best = score;
      choice = &other;
    }
  }
  return choice;
}

Character* FindCharacterById(int32_t id) {
  for (Character& c : g_characters)
    if (c.id == id) return &c;
  return nullptr;
}

const FoodBox* FindNearestFoodBox(CharacterList&, CharacterList::iterator position) {
  return NearestOrFirst(g_foodField.boxes, *position);
}

// Food that slid off the field is out of reach: it is not sought at all.
const Food* FindNearestFood(CharacterList&, CharacterList::iterator position) {
  return Nearest(g_foodField.foods, *position, static_cast<const Food*>(nullptr), FoodInsideField);
}

const Item* FindNearestItem(CharacterList&, CharacterList::iterator position) {
  return NearestOrFirst(g_foodField.items, *position);
}

WorldPoint PointAheadOfCharacter(const Character& c) {
  const float d = static_cast<float>(c.radius) * 0.5f * c.speed;
  return {c.position.x + std::cos(c.position.heading) * d, c.position.y + std::sin(c.position.heading) * d};
}
