// The end of a round: its result judged once a frame, the blinking caption,
// and the return to the title 480 frames after the end.
#pragma once
#include "game/game_state.h"

void JudgeRoundEnd(RoundResult& result);
void DrawResultText(const RoundResult& result);
