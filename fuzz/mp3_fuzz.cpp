// libFuzzer target: arbitrary bytes through the MPEG tag and frame scan, then
// the sound converters (seed it with the mp3 files of tests/data/sound and
// tests/data/bad_sounds).
#include "sound/decode_mp3.h"
#include "sound_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint64_t start = 0, end = 0;
  FindMp3AudioRange(data, size, &start, &end);
  Mp3ScanResult scan;
  ScanMp3Frames(data + start, end - start, &scan);
  FuzzSoundConverter(data, size);
  return 0;
}
