// libFuzzer target: arbitrary bytes through the sound converters (seed it with
// the ogg files of tests/data/sound and tests/data/bad_sounds).
#include <cstring>

#include "sound_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Other inputs are the other targets' work.
  if (size < 4 || std::memcmp(data, "OggS", 4) != 0) return 0;
  FuzzSoundConverter(data, size);
  return 0;
}
