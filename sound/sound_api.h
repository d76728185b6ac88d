// Public functions of the library's sound subsystem, as the game sees them.
// Sounds are addressed by sound handles; -1 is failure, also for a handle
// that is not valid or while the sound system is not started.
#pragma once
#include <cstddef>

// How LoadSoundFile makes sounds: 0 whole sounds (the default); 1..3 stream
// sounds whose source keeps the file image in memory (2) or decodes from the
// open file (3). Mode 1 is accepted, but such a source cannot be made.
int SetCreateSoundMode(int mode);
int GetCreateSoundMode();

// Loads a WAV, MP3 or Ogg Vorbis file (recognised by content). A whole sound
// gets min(bufferCount, 10) buffers (at least 1) that plays use in turn; a
// stream sound shares the ring of shareHandle when that is a stream sound of
// the same format (-1 for none). The handle, or -1.
int LoadSoundFile(const char* path, int bufferCount, int shareHandle);
// The same from a file image the caller keeps; a buffer count above 10 is refused.
int LoadWholeSound(const void* fileImage, size_t size, int bufferCount, int shareHandle);

// playType 0 waits until the sound has ended, 3 loops, others play in the
// background; topPositionFlag 1 starts at the beginning, 0 continues.
int PlaySoundHandle(int handle, int playType, int topPositionFlag);
// Positions are kept, so a later play with topPositionFlag 0 continues.
int StopSoundHandle(int handle);
int CheckSoundHandlePlaying(int handle);  // 1 playing, 0 not
// The second argument is accepted for the game's calls and changes nothing.
int DeleteSoundHandle(int handle, int reserved = 0);

// Value first, handle last. Volume 0..255 (0 or below is silence); pan
// -10000 (left only) .. 10000 (right only).
int SetSoundVolume(int volume, int handle);
int SetSoundPan(int pan, int handle);
// Makes the sound loop endlessly, restarting at the sample (turning a whole
// sound into a stream sound under the same handle). The sample must lie
// inside the sound; the milliseconds form returns 0 for any valid handle and
// non-negative time, also when the position lies beyond the end.
int SetSoundLoopPosition(int sample, int handle);
int SetSoundLoopPositionMs(int milliseconds, int handle);

int GetSoundTotalSamples(int handle);
int GetSoundTotalTime(int handle);    // milliseconds
int GetSoundCurrentTime(int handle);  // milliseconds
