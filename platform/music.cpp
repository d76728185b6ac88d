#include "platform/music.h"

#include "platform/no_throw.h"

namespace {

// No sequencer or synthesiser exists here; a segment could never have been made.
class NoMusicDevice : public PlatformMusic {
 public:
  int PlaySequencer(uint32_t, uint32_t, void*) override { return -1; }
  int CloseSequencer(uint32_t) override { return -1; }
  int IsSegmentPlaying(void*) override { return 0; }
  void StopSegment(void*) override {}
  void ReleaseSegment(void*) override {}
};

NoMusicDevice g_noMusic;
PlatformMusic* g_music = &g_noMusic;

}  // namespace

PlatformMusic* GetPlatformMusic() { return g_music; }

void SetPlatformMusic(PlatformMusic* music) { g_music = music ? music : &g_noMusic; }

void ScriptedMusic::Record(const Command& command) {
  PlatformNoThrow("ミュージックコマンドの記録", [&] { commands.push_back(command); });
}

int ScriptedMusic::PlaySequencer(uint32_t device, uint32_t from, void* notifyWindow) {
  Record({Op::Play, device, from, notifyWindow});
  return 0;
}

int ScriptedMusic::CloseSequencer(uint32_t device) {
  Record({Op::Close, device, 0, nullptr});
  return 0;
}

int ScriptedMusic::IsSegmentPlaying(void* segment) {
  Record({Op::IsPlaying, 0, 0, segment});
  return segmentPlaying;
}

void ScriptedMusic::StopSegment(void* segment) { Record({Op::Stop, 0, 0, segment}); }

void ScriptedMusic::ReleaseSegment(void* segment) { Record({Op::Release, 0, 0, segment}); }
