#include "game/effects.h"

EffectList g_effects;

namespace {

// What the creators write into until effects are kept.
Effect g_unkeptEffect;
ItemMessage g_unkeptMessage;

}  // namespace

Effect& AddEffect(int32_t graphic, EffectProc procedure) { return g_unkeptEffect = {}; }

void UpdateEffects() {}

void DrawEffects() {}

void ClearEffects() {}

void FadeEffectProc(int32_t event, Effect& effect, EffectList& list, EffectList::iterator position) {}

void MoveEffectProc(int32_t event, Effect& effect, EffectList& list, EffectList::iterator position) {}

void EaseEffectProc(int32_t event, Effect& effect, EffectList& list, EffectList::iterator position) {}

void FlickerEaseEffectProc(int32_t event, Effect& effect, EffectList& list, EffectList::iterator position) {}

void GrowEffectProc(int32_t event, Effect& effect, EffectList& list, EffectList::iterator position) {}

void ScaleEaseEffectProc(int32_t event, Effect& effect, EffectList& list, EffectList::iterator position) {}

ItemMessage& AddItemMessage(int32_t graphic, MessageList& list) { return g_unkeptMessage = {}; }

void UpdateMessageList(MessageList& list) {}

void DrawMessageList(MessageList& list) {}

void MessageEffectProc(int32_t event, ItemMessage& message) {}
