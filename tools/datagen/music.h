// The game's music: one composed, seamlessly looping Ogg Vorbis track per
// difficulty, and the list that names each with its loop point.
#pragma once
#include <string>

namespace datagen {

// Writes the tracks and list.txt under dataDir/bgm.
void WriteMusic(const std::string& dataDir);

}  // namespace datagen
