// The program's start-up on the game's terms, its one frame loop and the
// scene switch between the title, a round and the return to the title.
#pragma once
#include <cstdint>

#include "game/game_state.h"

// Reads config.ini, starts the library and loads everything; 0, or -1 when
// the screen mode or the library start fails.
int GameInit();
// One frame: present the last one, read input, quit on Escape or when the
// window is gone (false), else run the scene and draw the cursor (true).
bool RunFrame();
// Frames until the player quits or the window is gone.
void MainLoop();
// The two halves of a round's frame: the world's update (frozen while the
// right button is held), then its drawing, back to front.
void UpdateRound();
void DrawRound();
// Enters a scene: 0 the title, 2 a new round, 30 the one-frame return to
// the title; any other code is only stored.
void SwitchScene(GameState& state, int32_t scene);
// The whole program: -1 when the start fails (nothing is written), else the
// frames, config.ini written back, the library ended, and 0.
int RunGame();
