// The game's sound effects: synthesised, 16-bit PCM WAV files.
#pragma once
#include <string>

namespace datagen {

// Writes every effect under dataDir/se.
void WriteSoundEffects(const std::string& dataDir);

}  // namespace datagen
