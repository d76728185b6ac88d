#include "sound/decode_acm.h"

#include <algorithm>

#include "core/memory.h"
#include "platform/audio_codec.h"

namespace {

constexpr uint32_t kPieceBytes = 2048;
// The loop stream waits this many PCM bytes before the loop point.
constexpr int64_t kLoopLead = 10240;

AudioCodecStream* OpenCodec(const SoundConverter* c) {
  return AudioCodecOpen(c->acm.sourceFormat, c->acm.sourceFormatSize, c->format);
}

void ReopenLoopStream(SoundConverter* c) {
  AudioCodecClose(c->acm.loopStream);
  c->acm.loopStream = OpenCodec(c);
  c->acm.loopSourcePosition = 0;
  c->acm.loopOutputPosition = 0;
}

// One piece for the loop stream, which keeps pace with playback up to just
// before the loop point. Idle while there is no loop point.
void AdvanceLoopStream(SoundConverter* c) {
  SoundConverterAcm& a = c->acm;
  if (c->loopPoint == 0) return;
  if (a.loopOutputPosition > c->loopPoint) ReopenLoopStream(c);
  if (!a.loopStream || a.loopSourcePosition >= a.dataSize) return;
  if (static_cast<int64_t>(c->loopPoint) - kLoopLead <= static_cast<int64_t>(a.loopOutputPosition)) return;
  uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(a.pieceSize, a.dataSize - a.loopSourcePosition));
  uint32_t room = static_cast<uint32_t>(std::min<uint64_t>(c->outputSize, c->loopPoint - a.loopOutputPosition));
  uint32_t consumed = 0, produced = 0;
  AudioCodecConvert(a.loopStream, a.data + a.loopSourcePosition, piece, &consumed, a.loopOutput, room, &produced);
  a.loopSourcePosition += consumed;
  a.loopOutputPosition += produced;
}

}  // namespace

int OpenAcmStreams(SoundConverter* c, uint8_t* sourceFormat, uint32_t sourceFormatSize, uint8_t* data,
                   uint64_t dataSize, uint32_t sourceBlockAlign) {
  SoundConverterAcm& a = c->acm;
  a.sourceFormat = sourceFormat;
  a.sourceFormatSize = sourceFormatSize;
  a.data = data;
  a.dataSize = dataSize;
  a.pieceSize = std::max(kPieceBytes, sourceBlockAlign);
  a.mainStream = OpenCodec(c);
  a.loopStream = OpenCodec(c);
  uint64_t blockOutput = 0;
  if (a.mainStream) AudioCodecOutputSize(a.mainStream, sourceBlockAlign, &blockOutput);
  // The output block takes at least one whole converted block.
  c->outputSize = static_cast<uint32_t>(std::max<uint64_t>(c->outputSize, blockOutput));
  a.loopOutput = static_cast<uint8_t*>(VN_ALLOC(std::max<uint32_t>(c->outputSize, 1)));
  if (!a.mainStream || !a.loopStream || !a.loopOutput || c->outputSize == 0) {
    CloseAcmConverter(c);
    return -1;
  }
  return 0;
}

int ConvertAcmBlock(SoundConverter* c) {
  SoundConverterAcm& a = c->acm;
  AdvanceLoopStream(c);
  c->held = 0;
  if (!a.mainStream) return -1;
  for (;;) {
    uint32_t consumed = 0, produced = 0;
    if (a.sourcePosition >= a.dataSize) {
      // The data is all in; take what the codec still holds of the last frames.
      AudioCodecConvert(a.mainStream, nullptr, 0, &consumed, c->output, c->outputSize, &produced);
      c->held = produced;
      return produced > 0 ? 0 : -1;
    }
    uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(a.pieceSize, a.dataSize - a.sourcePosition));
    AudioCodecConvert(a.mainStream, a.data + a.sourcePosition, piece, &consumed, c->output, c->outputSize, &produced);
    a.sourcePosition += consumed;
    if (produced > 0) {
      c->held = produced;
      return 0;
    }
    if (consumed == 0) {
      // Nothing taken and nothing given: a broken or partial block ends the sound.
      a.sourcePosition = a.dataSize;
      return -1;
    }
    // Taken without output yet (a decoder still gathering a frame): go on.
  }
}

void SeekAcmConverter(SoundConverter* c, uint64_t target) {
  SoundConverterAcm& a = c->acm;
  if (target < c->pcmPosition) {
    if (!a.loopStream || target < a.loopOutputPosition) {
      AudioCodecClose(a.mainStream);
      a.mainStream = OpenCodec(c);
      a.sourcePosition = 0;
      c->pcmPosition = 0;
    } else {
      // The loop stream stands just before the target: it takes over.
      AudioCodecClose(a.mainStream);
      a.mainStream = a.loopStream;
      a.sourcePosition = a.loopSourcePosition;
      c->pcmPosition = a.loopOutputPosition;
      a.loopStream = nullptr;
      ReopenLoopStream(c);
    }
    c->held = 0;
    c->readOffset = 0;
  }
  while (target - c->pcmPosition >= c->held) {
    c->pcmPosition += c->held;
    c->held = 0;
    c->readOffset = 0;
    if (ConvertAcmBlock(c) != 0) {
      c->endFlag = 1;
      return;
    }
  }
  uint32_t skip = static_cast<uint32_t>(target - c->pcmPosition);
  c->readOffset += skip;
  c->held -= skip;
  c->pcmPosition = target;
}

int64_t GetAcmPcmSize(SoundConverter* c) {
  if (c->acm.totalSamples >= 0) return static_cast<int64_t>(c->format.blockAlign) * c->acm.totalSamples;
  uint64_t size = 0;
  if (!c->acm.mainStream || AudioCodecOutputSize(c->acm.mainStream, c->acm.dataSize, &size) != 0) return 0;
  return static_cast<int64_t>(size);
}

void CloseAcmConverter(SoundConverter* c) {
  SoundConverterAcm& a = c->acm;
  AudioCodecClose(a.mainStream);
  AudioCodecClose(a.loopStream);
  MemFree(a.sourceFormat);
  MemFree(a.data);
  MemFree(a.loopOutput);
  a = SoundConverterAcm{};
}
