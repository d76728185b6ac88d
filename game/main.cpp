#include "game/frame_loop.h"

int main() { return RunGame(); }
