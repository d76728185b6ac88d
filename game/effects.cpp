#include "game/effects.h"

#include <algorithm>
#include <cmath>

#include "core/varnok.h"
#include "game/camera.h"
#include "game/maths.h"

EffectList g_effects;

namespace {

constexpr float kStillFade = 1.0f, kDefaultFade = 4.0f;
// Alpha a caption loses a frame: it lasts 128 frames.
constexpr int32_t kMessageFade = 2;

// The alpha left after a fade step, held in range whatever the step.
int32_t Faded(int32_t alpha, int64_t step) {
  return static_cast<int32_t>(std::clamp<int64_t>(alpha - step, INT32_MIN, INT32_MAX));
}

void FadeAfterUpdate(Effect& effect) {
  effect.alpha = Faded(effect.alpha, TruncateToInt(effect.fadeStep));
  if (effect.alpha < 1) effect.finished = 1;
}

void DrawEffect(const Effect& effect, int32_t alpha) {
  SetBlendMode(CurrentBlendMode, alpha);
  DrawAtWorldPoint(effect.x, effect.y, effect.z, effect.scale, effect.angle, effect.graphic);
}

void EaseTowardTarget(Effect& effect) {
  effect.x += (effect.targetX - effect.x) * effect.step;
  effect.y += (effect.targetY - effect.y) * effect.step;
}

// The events common to every effect: the fade step chosen at init, the
// procedure's own motion then the fade at update, the plain draw.
void StandardEffect(int32_t event, Effect& effect, float fade, void (*motion)(Effect&)) {
  switch (event) {
    case kEffectInit:
      effect.fadeStep = fade;
      break;
    case kEffectUpdate:
      motion(effect);
      FadeAfterUpdate(effect);
      break;
    case kEffectDraw:
      DrawEffect(effect, effect.alpha);
      break;
  }
}

void Still(Effect&) {}
void Move(Effect& effect) {
  effect.x += std::cos(effect.moveAngle) * effect.step;
  effect.y += std::sin(effect.moveAngle) * effect.step;
}
void Grow(Effect& effect) { effect.scale += effect.step; }
void ScaleEase(Effect& effect) { effect.scale += (effect.step - effect.scale) * effect.factor; }

}  // namespace

Effect& AddEffect(int32_t graphic, EffectProc procedure) {
  Effect& effect = g_effects.emplace_front();
  effect = {};
  effect.scale = 1.0f;
  effect.graphic = graphic;
  effect.alpha = 255;
  effect.procedure = procedure;
  if (procedure) procedure(kEffectInit, effect, g_effects, g_effects.begin());
  return effect;
}

void UpdateEffects() {
  CurrentBlendMode = 2;
  for (auto it = g_effects.begin(); it != g_effects.end();) {
    Effect& effect = *it;
    if (effect.procedure) effect.procedure(kEffectUpdate, effect, g_effects, it);
    it = effect.finished ? g_effects.erase(it) : std::next(it);
  }
}

void DrawEffects() {
  for (auto it = g_effects.begin(); it != g_effects.end(); ++it)
    if (it->procedure) it->procedure(kEffectDraw, *it, g_effects, it);
}

void ClearEffects() { g_effects.clear(); }

void FadeEffectProc(int32_t event, Effect& effect, EffectList&, EffectList::iterator) {
  StandardEffect(event, effect, kStillFade, Still);
}

void MoveEffectProc(int32_t event, Effect& effect, EffectList&, EffectList::iterator) {
  StandardEffect(event, effect, kDefaultFade, Move);
}

void EaseEffectProc(int32_t event, Effect& effect, EffectList&, EffectList::iterator) {
  StandardEffect(event, effect, kDefaultFade, EaseTowardTarget);
}

void FlickerEaseEffectProc(int32_t event, Effect& effect, EffectList&, EffectList::iterator) {
  if (event == kEffectDraw)
    DrawEffect(effect, GetRandomValue(effect.alpha));
  else
    StandardEffect(event, effect, kDefaultFade, EaseTowardTarget);
}

void GrowEffectProc(int32_t event, Effect& effect, EffectList&, EffectList::iterator) {
  StandardEffect(event, effect, kDefaultFade, Grow);
}

void ScaleEaseEffectProc(int32_t event, Effect& effect, EffectList&, EffectList::iterator) {
  StandardEffect(event, effect, kDefaultFade, ScaleEase);
}

ItemMessage& AddItemMessage(int32_t graphic, MessageList& list) {
  ItemMessage& message = list.messages.emplace_back();
  message = {nullptr, 0.0f, 0.0f, graphic, 255, 0, &MessageEffectProc};
  message.procedure(kEffectInit, message);
  message.ownerPosition = list.owner;
  return message;
}

void UpdateMessageList(MessageList& list) {
  for (auto it = list.messages.begin(); it != list.messages.end();) {
    ItemMessage& message = *it;
    if (message.procedure) message.procedure(kEffectUpdate, message);
    it = message.finished ? list.messages.erase(it) : std::next(it);
  }
}

void DrawMessageList(MessageList& list) {
  for (ItemMessage& message : list.messages)
    if (message.procedure) message.procedure(kEffectDraw, message);
}

void MessageEffectProc(int32_t event, ItemMessage& message) {
  switch (event) {
    case kEffectUpdate:
      message.angle += message.spin;
      message.alpha = Faded(message.alpha, kMessageFade);
      if (message.alpha < 1) message.finished = 1;
      break;
    case kEffectDraw:
      if (!message.ownerPosition) break;
      SetBlendMode(CurrentBlendMode, message.alpha);
      DrawAtWorldPoint(message.ownerPosition->x, message.ownerPosition->y, message.ownerPosition->z, 1.0,
                       message.angle, message.graphic);
      break;
  }
}
