// Short-lived sprites (sparks, dust, flashes, rings) in one effect list, each
// driven by its own procedure, and the item captions that follow a creature
// in its own message list.
#pragma once
#include <cstdint>
#include <list>

#include "game/game_state.h"

// Events sent to effect and message procedures.
constexpr int32_t kEffectUpdate = 1;
constexpr int32_t kEffectDraw = 2;
constexpr int32_t kEffectInit = 8;

struct Effect;
using EffectList = std::list<Effect>;
using EffectProc = void (*)(int32_t event, Effect& effect, EffectList& list, EffectList::iterator position);

struct Effect {
  float x, y;
  float z;      // depth of the projection
  float angle;  // drawing angle
  float spare;
  float scale;
  float targetX, targetY;  // what the easing procedures move toward
  float factor;            // easing factor of ScaleEaseEffectProc
  float moveAngle;         // direction of MoveEffectProc
  float step;              // speed, easing factor, growth or target scale, by procedure
  float fadeStep;          // alpha lost per update, truncated when applied
  int32_t graphic;
  int32_t alpha;  // blend parameter; finished below 1
  uint8_t finished;
  EffectProc procedure;
};

// Newest first.
extern EffectList g_effects;

// A new effect at the front of the list, sent its init event. The creator
// sets x, y and whatever else its procedure reads before the next update.
Effect& AddEffect(int32_t graphic, EffectProc procedure);
void UpdateEffects();
void DrawEffects();
void ClearEffects();

void FadeEffectProc(int32_t event, Effect& effect, EffectList& list, EffectList::iterator position);
void MoveEffectProc(int32_t event, Effect& effect, EffectList& list, EffectList::iterator position);
void EaseEffectProc(int32_t event, Effect& effect, EffectList& list, EffectList::iterator position);
void FlickerEaseEffectProc(int32_t event, Effect& effect, EffectList& list, EffectList::iterator position);
void GrowEffectProc(int32_t event, Effect& effect, EffectList& list, EffectList::iterator position);
void ScaleEaseEffectProc(int32_t event, Effect& effect, EffectList& list, EffectList::iterator position);

struct ItemMessage;
using MessageProc = void (*)(int32_t event, ItemMessage& message);

struct ItemMessage {
  const PositionRecord* ownerPosition;  // drawn at the owner's x, y, z
  float angle;
  float spin;  // angle change per frame
  int32_t graphic;
  int32_t alpha;
  uint8_t finished;
  MessageProc procedure;
};

// A creature's captions, and the position record each new caption follows.
struct MessageList {
  std::list<ItemMessage> messages;
  const PositionRecord* owner;
};

// A new caption at the end of the list, following the list's owner. The
// caller then sets its spin.
ItemMessage& AddItemMessage(int32_t graphic, MessageList& list);
void UpdateMessageList(MessageList& list);
void DrawMessageList(MessageList& list);
void MessageEffectProc(int32_t event, ItemMessage& message);
