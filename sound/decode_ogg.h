// Ogg Vorbis through vorbisfile, reading through the converter's copy of the
// caller's stream.
#pragma once
#include <cstddef>
#include <cstdint>

#include "sound/sound_converter.h"

// What vorbisfile reads through: the converter's copy of the caller's stream
// and its length when the decoder opened it. Short of that length a read
// that brings nothing is an error, not the end: a file that shrinks or fails
// under the decoder must not send vorbisfile's backward page search round
// for ever.
struct OggSource {
  StreamAccess stream;
  int64_t length;
};

// vorbisfile's data-source callbacks; the source is an OggSource*. Each
// gives -1 for a null source.
size_t OggStreamRead(void* buffer, size_t size, size_t count, void* source);
int OggStreamSeek(void* source, int64_t offset, int whence);
long OggStreamTell(void* source);

int OpenOggVorbisDecoder(SoundConverter* converter);
void CloseOggVorbisDecoder(SoundConverter* converter);
// Refills the output block; -1 at the end (or on a decoding error).
int DecodeOggVorbisBlock(SoundConverter* converter);
int SeekOggVorbisSample(SoundConverter* converter, int64_t sample);
// PCM bytes of the whole stream, and the larger allocation for a whole decode.
int64_t GetOggTotalBytes(SoundConverter* converter);
int64_t GetOggPcmBufferSize(SoundConverter* converter);
