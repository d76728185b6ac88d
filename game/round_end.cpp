#include "game/round_end.h"

void JudgeRoundEnd(RoundResult& result) {}

void DrawResultText(const RoundResult& result) {}
