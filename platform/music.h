// MIDI music as the sound layer drives it: a sequencer device, addressed by
// its id, that plays from a position and tells a window when it stops, and
// synthesiser segments. Nothing on this system makes music, so the real
// device opens nothing and refuses every command; tests install the
// scripted one, which records what it was asked.
#pragma once
#include <cstdint>
#include <vector>

class PlatformMusic {
 public:
  virtual ~PlatformMusic() = default;
  // Plays the sequencer from the position; notifyWindow receives MM_MCINOTIFY
  // when the play ends. 0 or -1.
  virtual int PlaySequencer(uint32_t device, uint32_t from, void* notifyWindow) = 0;
  virtual int CloseSequencer(uint32_t device) = 0;
  // 1 while the segment plays, 0 once it has ended.
  virtual int IsSegmentPlaying(void* segment) = 0;
  virtual void StopSegment(void* segment) = 0;
  // Takes the segment off the synthesiser and releases it.
  virtual void ReleaseSegment(void* segment) = 0;
};

// The music device the library uses: the real one unless a test installed another.
PlatformMusic* GetPlatformMusic();
void SetPlatformMusic(PlatformMusic* music);  // null restores the real one

class ScriptedMusic : public PlatformMusic {
 public:
  enum class Op { Play, Close, IsPlaying, Stop, Release };
  struct Command {
    Op op;
    uint32_t device;  // sequencer commands
    uint32_t from;
    void* target;     // the notify window, or the segment
    bool operator==(const Command&) const = default;
  };

  int PlaySequencer(uint32_t device, uint32_t from, void* notifyWindow) override;
  int CloseSequencer(uint32_t device) override;
  int IsSegmentPlaying(void* segment) override;
  void StopSegment(void* segment) override;
  void ReleaseSegment(void* segment) override;

  int segmentPlaying = 0;  // what IsSegmentPlaying answers
  std::vector<Command> commands;

 private:
  void Record(const Command& command);
};
