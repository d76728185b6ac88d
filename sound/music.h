// Music handles: MIDI music played through the sequencer (music mode 0) or a
// synthesiser segment (mode 1). Nothing in this system makes one or sets the
// current music; the game's background music is a looping sound handle. What
// stands is the table, the play-state bookkeeping, stopping and deleting, and
// the three calls the library core makes: PollMusicPlaying every message
// pass, OnMusicNotify when the sequencer reports, StopMusicTrack at the end.
#pragma once
#include <cstdint>

constexpr int kMaxMidiHandles = 256;
constexpr int kTempMidiPathBytes = 4096;

struct MidiRecord {
  int32_t playing;
  int32_t playConfirmed;  // the synthesiser has reported the segment playing
  uint8_t* midiData;      // owned
  uint32_t midiSize;
  void* segment;          // synthesiser mode only
};

// What a music maker fills besides the record.
struct MusicGlobals {
  uint32_t sequencerDevice;
  int32_t sequencerPlaying;
  int32_t sequencerLoop;
  char tempMidiPath[kTempMidiPathBytes];  // library path of the MIDI file the sequencer plays
  int32_t tempMidiExists;
  int32_t currentMusic;      // 0: none
  int32_t currentMusicKind;  // 1: a sound handle; otherwise a music handle
};
extern MusicGlobals g_music;

// A new empty record in the table (the slot above the highest, as sound
// handles take theirs): its handle, or -1 when the table is full.
int AddMidiData();
// The record of a valid handle while the sound system runs, else null.
MidiRecord* GetMidiRecord(int handle);
int GetMidiHandleCount();
int GetMidiHandleHighWater();

// Sequencer mode: whether the sequencer plays; synthesiser mode: whether the
// handle's segment does. -1 for a handle that is not valid.
int GetMidiHandleState(int handle);
// Follows the synthesiser's answers for playing segments. 0; -1 when the
// sound system is not started.
int PollMusicPlaying();
// The sequencer stopped: a looping play starts again from the beginning,
// any other is closed. 0.
int OnMusicNotify();
// 0, or -1 for a handle that is not valid.
int StopMidiPlayback(int handle);
int DeleteMidiHandle(int handle);
// 0; -1 when the sound system is not started.
int DeleteAllMidiHandles();
// Stops and deletes the current music, sound or music handle. 0.
int StopMusicTrack();
// Deletes the sequencer's MIDI file when one was written.
void DeleteTempMidiFile();
