#include "game/round_end.h"

#include "core/varnok.h"
#include "game/bgm.h"
#include "game/camera.h"
#include "game/character.h"
#include "game/clocks.h"
#include "game/frame_loop.h"

namespace {

constexpr int32_t kFramesShown = 480;  // from the end to the return to the title
constexpr int32_t kPeaceLevel = 5;

constexpr const char* kCaptions[4] = {
    "YOU WIN !!   You are DESTROYER !!",
    "YOU WIN !!   You are KING !!",
    "We gotta PEACENESS !!",
    "YOU LOSE !!   GAME OVER !!",
};

void End(RoundResult& result, int32_t code) {
  result.ended = 1;
  result.result = code;
}

void LookAt(const PositionRecord& position) {
  g_camera.followed = &position;
  SnapCamera();
}

// Everyone still alive and at least at level 5: the ones above are set back
// to 5, and when any was, nobody has won. A creature below 5 stops the scan;
// the ones before it stay set back.
bool SetBackForPeace(CharacterList& list) {
  bool setBack = false;
  for (Character& c : list) {
    if (c.level < kPeaceLevel) return false;
    if (c.level > kPeaceLevel) {
      c.level = kPeaceLevel;
      setBack = true;
    }
  }
  return setBack;
}

void CountDownToTitle(RoundResult& result) {
  result.framesSinceEnd += 1;
  if (result.framesSinceEnd != kFramesShown) return;
  GameState& state = g_gameState;
  SwitchScene(state, kSceneReturnToTitle);  // stops the music
  StoreRoundRecord(state.settings.difficulty, result.result);
}

}  // namespace

void JudgeRoundEnd(RoundResult& result) {
  if (result.ended) return CountDownToTitle(result);
  const GameSettings& settings = g_gameState.settings;
  CharacterList& list = g_characters;
  if (list.empty()) {
    // Everyone gone in one frame: nobody won, and the round must still end.
    End(result, kResultLose);
    if (!settings.watchMode) LookAt(result.position);
    return;
  }
  if (!settings.watchMode && !IsPlayer(list.front())) {
    End(result, kResultLose);
    LookAt(result.position);
    return;
  }
  if (list.size() == 1) {
    Character& last = list.front();
    if (IsPlayer(last)) {
      End(result, kResultDestroyer);
    } else {
      End(result, kResultLose);
      LookAt(last.position);
    }
    return;
  }
  if (static_cast<int64_t>(list.size()) == settings.characterCount && SetBackForPeace(list)) {
    End(result, kResultPeace);
    return;
  }
  for (Character& c : list) {
    if (c.level <= kPeaceLevel) continue;
    c.level = kPeaceLevel;
    result.position = c.position;
    End(result, IsPlayer(c) ? kResultKing : kResultLose);
    return;
  }
}

void DrawResultText(const RoundResult& result) {
  if (!result.ended) return;
  SetGameBlendMode(2, 255);
  const int32_t blink = result.framesSinceEnd % 2 * 255;
  int32_t colour;
  switch (result.result) {
    case kResultDestroyer:
      colour = PackRgbToScreenColor(255, 32, blink);
      break;
    case kResultKing:
      colour = PackRgbToScreenColor(32, 255, blink);
      break;
    case kResultPeace: {
      // Every colour at once, new each frame.
      const int32_t blue = GetRandomValue(255);
      const int32_t green = GetRandomValue(255);
      const int32_t red = GetRandomValue(255);
      colour = PackRgbToScreenColor(red, green, blue);
      break;
    }
    case kResultLose:
      colour = PackRgbToScreenColor(255, blink, 32);
      break;
    default:
      return;
  }
  DrawStringWithDefaultFont(512, 256, kCaptions[result.result], colour, 0);
}
