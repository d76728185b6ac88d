#include "tools/datagen/music.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/datagen/output.h"
#include "tools/datagen/synth.h"

namespace datagen {
namespace {

constexpr int kIntroBars = 2;
constexpr int kStepsPerBar = 16;

struct Stereo {
  std::vector<float> l, r;
  explicit Stereo(size_t n = 0) : l(n, 0.0f), r(n, 0.0f) {}
  size_t size() const { return l.size(); }
  void Set(size_t i, float v, float pan = 0.0f) {  // pan -1 left .. 1 right
    l[i] = v * std::min(1.0f, 1.0f - pan);
    r[i] = v * std::min(1.0f, 1.0f + pan);
  }
};

struct Chord {
  int offset;  // semitones above the key's tonic
  bool minor;
};

enum class BassStyle { Calm, Eighths, Driving, OomPah };
enum class Wave { Triangle, Square, Saw };

// One difficulty's track: tempo, key, chords, and how busy each part is.
struct Song {
  const char* key;
  const char* file;
  int bpm, bodyBars;
  int tonic;  // MIDI note of the key's tonic in the middle register
  bool minor;
  std::vector<Chord> chords;  // one a bar, over and over
  BassStyle bass;
  Wave arpWave, leadWave;
  int arpStep;      // sixteenths between arpeggio notes
  int leadFromBar;  // the melody enters here
  const char* kick;  // a bar of sixteenths: X accent, x normal, o ghost
  const char* snare;
  const char* hats;  // O opens the hat
  bool carnival;     // hand claps and a cowbell over the snare
  std::vector<std::array<int, 2>> rhythm;  // the melody's two-bar rhythm: {step, length}
  uint32_t seed;
};

const Song kSongs[] = {
    {"#MAINGAME_EASY", "maingame_easy.ogg", 96, 16, 62, false,
     {{0, false}, {9, true}, {5, false}, {7, false}, {0, false}, {4, true}, {5, false}, {7, false}},
     BassStyle::Calm, Wave::Triangle, Wave::Triangle, 2, 8,
     "x.......x.....o.", "........x.......", "x.o.x.o.x.o.x.o.", false,
     {{0, 6}, {6, 2}, {8, 8}, {16, 6}, {22, 2}, {24, 8}}, 0x45415359},
    {"#MAINGAME_NORMAL", "maingame_normal.ogg", 120, 24, 57, true,
     {{0, true}, {8, false}, {3, false}, {10, false}},
     BassStyle::Eighths, Wave::Square, Wave::Square, 1, 8,
     "x.....x.x.......", "....x.......x...", "x.x.x.xOx.x.x.x.", false,
     {{0, 3}, {3, 3}, {6, 2}, {8, 4}, {12, 4}, {16, 3}, {19, 3}, {22, 2}, {24, 8}}, 0x4e4f524d},
    {"#MAINGAME_HARD", "maingame_hard.ogg", 150, 32, 52, true,
     {{0, true}, {8, false}, {10, false}, {7, false}},
     BassStyle::Driving, Wave::Saw, Wave::Saw, 1, 8,
     "X.....x.X..x....", "....X.......X..o", "xoxoxoxoxoxoxoxo", false,
     {{0, 2}, {2, 2}, {4, 3}, {7, 1}, {8, 4}, {12, 2}, {14, 2}, {16, 2}, {18, 2}, {20, 4}, {24, 2}, {26, 2}, {28, 4}},
     0x48415244},
    {"#MAINGAME_CARNIVAL", "maingame_carnival.ogg", 160, 32, 65, false,
     {{0, false}, {5, false}, {7, false}, {0, false}, {9, true}, {2, true}, {7, false}, {0, false}},
     BassStyle::OomPah, Wave::Square, Wave::Square, 1, 8,
     "X...X...X...X...", "....X.......X...", "o.x.o.xOo.x.o.xO", true,
     {{0, 1}, {2, 1}, {4, 2}, {6, 2}, {8, 1}, {10, 1}, {12, 4}, {16, 1}, {18, 1}, {20, 2}, {22, 2}, {24, 6}, {30, 2}},
     0x43415256},
};

// ---- Instruments: each renders one note, release included ----

Stereo KickDrum(float velocity) {
  Oscillator body;
  Stereo out(static_cast<size_t>(0.35f * kSampleRate));
  for (size_t i = 0; i < out.size(); i++) {
    const float t = static_cast<float>(i) / kSampleRate;
    out.Set(i, velocity * (body.Sine(Glide(t, 160.0f, 45.0f, 0.03f)) * Pluck(t, 0.001f, 0.12f)));
  }
  return out;
}

Stereo SnareDrum(float velocity, Noise& noise) {
  Oscillator tone;
  Filter band;
  Stereo out(static_cast<size_t>(0.25f * kSampleRate));
  for (size_t i = 0; i < out.size(); i++) {
    const float t = static_cast<float>(i) / kSampleRate;
    const float v = band.Band(noise.White(), 1800.0f, 0.8f) * Pluck(t, 0.001f, 0.07f) * 1.4f +
                    0.5f * tone.Sine(185.0f) * Pluck(t, 0.001f, 0.04f);
    out.Set(i, velocity * v);
  }
  return out;
}

Stereo HiHat(float velocity, bool open, Noise& noise) {
  Filter air;
  Stereo out(static_cast<size_t>((open ? 0.3f : 0.08f) * kSampleRate));
  for (size_t i = 0; i < out.size(); i++) {
    const float t = static_cast<float>(i) / kSampleRate;
    out.Set(i, velocity * air.High(noise.White(), 7000.0f) * Pluck(t, 0.0005f, open ? 0.09f : 0.018f), 0.3f);
  }
  return out;
}

Stereo Clap(float velocity, Noise& noise) {
  Filter band;
  Stereo out(static_cast<size_t>(0.2f * kSampleRate));
  for (size_t i = 0; i < out.size(); i++) {
    const float t = static_cast<float>(i) / kSampleRate;
    // Three quick slaps, then the room.
    float env = Pluck(t, 0.0005f, 0.05f) * 0.6f;
    for (int k = 0; k < 3; k++) env = std::max(env, Pluck(t - 0.01f * k, 0.0005f, 0.008f));
    out.Set(i, velocity * band.Band(noise.White(), 1200.0f, 1.0f) * env, -0.1f);
  }
  return out;
}

Stereo Cowbell(float velocity) {
  Oscillator a, b;
  Filter band;
  Stereo out(static_cast<size_t>(0.25f * kSampleRate));
  for (size_t i = 0; i < out.size(); i++) {
    const float t = static_cast<float>(i) / kSampleRate;
    out.Set(i, velocity * band.Band(a.Square(540.0f) + b.Square(800.0f), 700.0f, 2.0f) * Pluck(t, 0.001f, 0.06f), -0.4f);
  }
  return out;
}

Stereo Crash(float velocity, Noise& noise) {
  Filter left, right;
  Stereo out(static_cast<size_t>(1.6f * kSampleRate));
  for (size_t i = 0; i < out.size(); i++) {
    const float t = static_cast<float>(i) / kSampleRate;
    const float env = velocity * Pluck(t, 0.002f, 0.5f);
    out.l[i] = left.High(noise.White(), 4500.0f) * env;
    out.r[i] = right.High(noise.White(), 4500.0f) * env;
  }
  return out;
}

// The envelope of a held note: attack, sustain to its end, then release.
float Held(float t, float length, float attack, float release) {
  const float rise = t < attack ? t / attack : 1.0f;
  return t < length ? rise : rise * std::exp(-(t - length) / release);
}

Stereo BassNote(float frequency, float seconds, float velocity) {
  Oscillator saw, sub;
  Filter tone;
  Stereo out(static_cast<size_t>((seconds + 0.12f) * kSampleRate));
  for (size_t i = 0; i < out.size(); i++) {
    const float t = static_cast<float>(i) / kSampleRate;
    const float raw = 0.6f * saw.Saw(frequency) + 0.7f * sub.Sine(frequency);
    const float cutoff = 280.0f + 1400.0f * velocity * std::exp(-t / 0.07f);
    out.Set(i, velocity * tone.Low(raw, cutoff, 0.9f) * Held(t, seconds, 0.004f, 0.025f));
  }
  return out;
}

// Three detuned saws a side: a soft, wide chord.
Stereo PadChord(const std::vector<float>& frequencies, float seconds, float velocity, float attack) {
  std::vector<Oscillator> oscs(frequencies.size() * 2);
  Filter left, right;
  Stereo out(static_cast<size_t>((seconds + 0.6f) * kSampleRate));
  for (size_t i = 0; i < out.size(); i++) {
    const float t = static_cast<float>(i) / kSampleRate;
    float l = 0.0f, r = 0.0f;
    for (size_t k = 0; k < frequencies.size(); k++) {
      l += oscs[2 * k].Saw(frequencies[k] * 0.996f);
      r += oscs[2 * k + 1].Saw(frequencies[k] * 1.004f);
    }
    const float env = velocity * Held(t, seconds, attack, 0.18f);
    out.l[i] = left.Low(l, 1500.0f) * env;
    out.r[i] = right.Low(r, 1500.0f) * env;
  }
  return out;
}

float WaveSample(Oscillator& osc, Wave wave, float frequency) {
  switch (wave) {
    case Wave::Triangle: return osc.Triangle(frequency);
    case Wave::Square: return 0.6f * osc.Square(frequency);
    default: return 0.6f * osc.Saw(frequency);
  }
}

Stereo ArpNote(float frequency, float velocity, Wave wave) {
  Oscillator osc;
  Filter tone;
  Stereo out(static_cast<size_t>(0.45f * kSampleRate));
  for (size_t i = 0; i < out.size(); i++) {
    const float t = static_cast<float>(i) / kSampleRate;
    const float cutoff = 900.0f + 3000.0f * std::exp(-t / 0.06f);
    out.Set(i, velocity * tone.Low(WaveSample(osc, wave, frequency), cutoff) * Pluck(t, 0.002f, 0.12f));
  }
  return out;
}

Stereo LeadNote(float frequency, float seconds, float velocity, Wave wave) {
  Oscillator osc, vibrato;
  Filter tone;
  Stereo out(static_cast<size_t>((seconds + 0.25f) * kSampleRate));
  for (size_t i = 0; i < out.size(); i++) {
    const float t = static_cast<float>(i) / kSampleRate;
    // Vibrato only on held notes, as a singer would.
    const float depth = 0.006f * Smoothstep(0.12f, 0.3f, t);
    const float f = frequency * (1.0f + depth * vibrato.Sine(5.5f));
    out.Set(i, velocity * tone.Low(WaveSample(osc, wave, f), 3200.0f) * Held(t, seconds, 0.01f, 0.06f));
  }
  return out;
}

// ---- Harmony ----

int ScaleMidi(const Song& song, int index) {
  static const int kMajor[7] = {0, 2, 4, 5, 7, 9, 11}, kMinor[7] = {0, 2, 3, 5, 7, 8, 10};
  const int octave = index >= 0 ? index / 7 : -((-index + 6) / 7);
  const int degree = index - octave * 7;
  return song.tonic + 12 * octave + (song.minor ? kMinor : kMajor)[degree];
}

bool InChord(const Chord& chord, int midi, int tonic) {
  const int pc = ((midi - tonic - chord.offset) % 12 + 12) % 12;
  return pc == 0 || pc == 7 || pc == (chord.minor ? 3 : 4);
}

// The chord tone nearest to the note (the lower one on a tie).
int NearestChordTone(const Chord& chord, int midi, int tonic) {
  for (int d = 0; d < 12; d++) {
    if (InChord(chord, midi - d, tonic)) return midi - d;
    if (InChord(chord, midi + d, tonic)) return midi + d;
  }
  return midi;
}

int NextChordTone(const Chord& chord, int midi, int direction, int tonic) {
  do midi += direction;
  while (!InChord(chord, midi, tonic));
  return midi;
}

int NearestRoot(const Chord& chord, int midi, int tonic) {
  const int below = midi - ((midi - tonic - chord.offset) % 12 + 12) % 12;
  return midi - below <= 6 ? below : below + 12;
}

// A note a semitone from a chord tone clashes with the chord under it.
bool Clashes(const Chord& chord, int midi, int tonic) {
  return !InChord(chord, midi, tonic) && (InChord(chord, midi - 1, tonic) || InChord(chord, midi + 1, tonic));
}

// ---- The arrangement: stems of exactly one loop, notes wrapping round ----

class Arrangement {
 public:
  explicit Arrangement(const Song& song)
      : song_(song),
        barSamples_(static_cast<size_t>(kSampleRate) * 240 / song.bpm),
        period_(barSamples_ * song.bodyBars),
        noise_(song.seed),
        drums(period_), hats(period_), bass(period_), pad(period_), arp(period_), lead(period_), room(period_) {}

  size_t BarSamples() const { return barSamples_; }
  size_t Period() const { return period_; }
  float StepSeconds() const { return 60.0f / song_.bpm / 4.0f; }
  const Chord& ChordAt(int bar) const { return song_.chords[bar % song_.chords.size()]; }

  // A note's sound into a stem from the step on; whatever runs past the
  // loop's end sounds at its start, as it will when the track loops.
  void Place(Stereo& stem, double step, const Stereo& sound, float gain = 1.0f) {
    const size_t start = static_cast<size_t>(std::llround(step * barSamples_ / kStepsPerBar));
    for (size_t i = 0; i < sound.size(); i++) {
      const size_t at = (start + i) % period_;
      stem.l[at] += sound.l[i] * gain;
      stem.r[at] += sound.r[i] * gain;
    }
  }

  void Compose() {
    for (int bar = 0; bar < song_.bodyBars; bar++) {
      Drums(bar);
      BassLine(bar);
      Harmony(bar);
    }
    Melody();
  }

  Noise& Rng() { return noise_; }

 private:
  static float Velocity(char c) { return c == 'X' || c == 'O' ? 1.0f : c == 'x' ? 0.75f : c == 'o' ? 0.4f : 0.0f; }

  void Drums(int bar) {
    const double at = static_cast<double>(bar) * kStepsPerBar;
    const bool fill = bar % 8 == 7;
    if (bar % 8 == 0) Place(drums, at, Crash(0.35f, noise_));
    for (int s = 0; s < kStepsPerBar; s++) {
      const float humanise = 1.0f + noise_.Uniform(-0.06f, 0.06f);
      if (float v = Velocity(song_.kick[s])) Place(drums, at + s, KickDrum(v * humanise));
      // The last beat of every eighth bar rolls into the next section.
      if (fill && s >= 12) {
        Place(drums, at + s, SnareDrum(0.35f + 0.15f * (s - 12), noise_), song_.carnival ? 0.8f : 0.7f);
      } else if (float v = Velocity(song_.snare[s])) {
        Place(drums, at + s, song_.carnival ? Clap(v * humanise, noise_) : SnareDrum(v * humanise, noise_));
      }
      if (float v = Velocity(song_.hats[s])) Place(hats, at + s, HiHat(v * humanise, song_.hats[s] == 'O', noise_));
      if (song_.carnival && (s == 2 || s == 6 || s == 10 || (s == 13 && bar % 2))) Place(drums, at + s, Cowbell(0.35f));
    }
  }

  void BassNoteAt(double step, int midi, float steps, float velocity) {
    Place(bass, step, BassNote(NoteFrequency(static_cast<float>(midi)), steps * StepSeconds(), velocity));
  }

  void BassLine(int bar) {
    const double at = static_cast<double>(bar) * kStepsPerBar;
    // Bass between C2 and B2, whatever the key: deep, yet heard on small speakers.
    const int root = ChordNotes(ChordAt(bar), 36)[0];
    const int fifth = root + 7, fifthBelow = root - 5 >= 34 ? root - 5 : root + 7;
    switch (song_.bass) {
      case BassStyle::Calm:
        BassNoteAt(at, root, 7.0f, 0.9f);
        BassNoteAt(at + 8, bar % 2 ? fifth : root, 5.5f, 0.7f);
        BassNoteAt(at + 14, root + 12, 1.5f, 0.5f);
        break;
      case BassStyle::Eighths: {
        const int pattern[8] = {0, 0, 12, 0, 0, 0, 12, 7};
        for (int e = 0; e < 8; e++) BassNoteAt(at + 2 * e, root + pattern[e], 1.4f, e % 2 ? 0.6f : 0.85f);
        break;
      }
      case BassStyle::Driving:
        for (int s = 0; s < kStepsPerBar; s++) {
          const bool accent = s == 0 || s == 3 || s == 6 || s == 8 || s == 11 || s == 14;
          BassNoteAt(at + s, s == 14 ? root + 12 : root, 0.75f, accent ? 0.9f : 0.5f);
        }
        break;
      case BassStyle::OomPah:
        BassNoteAt(at, root, 2.0f, 0.95f);
        BassNoteAt(at + 4, fifthBelow, 2.0f, 0.8f);
        BassNoteAt(at + 8, root, 2.0f, 0.95f);
        BassNoteAt(at + 12, bar % 2 ? fifth : fifthBelow, 2.0f, 0.8f);
        break;
    }
  }

  std::vector<int> ChordNotes(const Chord& chord, int low) const {
    const int root = low + ((song_.tonic + chord.offset - low) % 12 + 12) % 12;
    return {root, root + (chord.minor ? 3 : 4), root + 7};
  }

  void Harmony(int bar) {
    const double at = static_cast<double>(bar) * kStepsPerBar;
    const std::vector<int> tones = ChordNotes(ChordAt(bar), 55);
    std::vector<float> freqs;
    for (int n : tones) freqs.push_back(NoteFrequency(static_cast<float>(n)));
    if (song_.carnival) {
      // The "pah" of the oom-pah: short chord stabs on the off beats.
      for (int s : {4, 12}) Place(pad, at + s, PadChord(freqs, 1.5f * StepSeconds(), 0.8f, 0.005f));
    } else {
      Place(pad, at, PadChord(freqs, kStepsPerBar * StepSeconds(), 0.7f, 0.25f));
    }
    // Arpeggio: up and down the chord over two octaves.
    const int order[6] = {0, 1, 2, 3, 2, 1};
    const std::vector<int> up = ChordNotes(ChordAt(bar), 62);
    const int ladder[4] = {up[0], up[1], up[2], up[0] + 12};
    for (int s = 0, k = 0; s < kStepsPerBar; s += song_.arpStep, k++) {
      const float v = (s % 4 == 0 ? 0.9f : 0.6f) * (1.0f + noise_.Uniform(-0.05f, 0.05f));
      Place(arp, at + s, ArpNote(NoteFrequency(static_cast<float>(ladder[order[k % 6]])), v, song_.arpWave));
    }
  }

  // Two two-bar motifs in the pattern A A' B A'' for every eight bars. A
  // motif is a contour of scale steps, rising in its first half and falling
  // in its second, mostly by step; the chords under its notes bend it:
  // strong beats land on chord tones, clashing notes move onto them, and A'
  // and A'' come home to the chord's root.
  void Melody() {
    auto draw = [&](size_t count) {
      std::vector<int> moves;
      for (size_t i = 0; i < count; i++) {
        const bool rising = noise_.Uniform(0.0f, 1.0f) < (i < count / 2 ? 0.7f : 0.3f);
        const int size = noise_.Uniform(0.0f, 1.0f) < 0.7f ? 1 : 2 + static_cast<int>(noise_.Next() % 2);
        moves.push_back(rising ? size : -size);
      }
      return moves;
    };
    const std::vector<int> a = draw(song_.rhythm.size()), b = draw(song_.rhythm.size());
    for (int bar = song_.leadFromBar; bar + 1 < song_.bodyBars; bar += 2) {
      const int phrase = (bar / 2) % 4;
      const std::vector<int>& moves = phrase == 2 ? b : a;
      const int lift = (bar / 8) % 2 ? 2 : 0;  // every other section sits a third higher
      const int low = 3 + lift, high = 12 + lift;
      int index = 7 + lift, previous = -1;
      for (size_t n = 0; n < song_.rhythm.size(); n++) {
        const int step = song_.rhythm[n][0], length = song_.rhythm[n][1];
        const Chord& chord = ChordAt(bar + step / kStepsPerBar);
        index = std::clamp(index + moves[n], low, high);
        int midi = ScaleMidi(song_, index);
        if (step % 8 == 0 || Clashes(chord, midi, song_.tonic)) {
          midi = NearestChordTone(chord, midi, song_.tonic);
          // Moving onto the chord must not stall the line on one note.
          if (midi == previous) midi = NextChordTone(chord, midi, moves[n] > 0 ? 1 : -1, song_.tonic);
        }
        if (n + 1 == song_.rhythm.size() && phrase != 0) midi = NearestRoot(chord, midi, song_.tonic);
        index = NearestIndex(midi, low, high);
        previous = midi;
        const float v = (step % 4 == 0 ? 0.85f : 0.7f) * (1.0f + noise_.Uniform(-0.05f, 0.05f));
        Place(lead, static_cast<double>(bar) * kStepsPerBar + step,
              LeadNote(NoteFrequency(static_cast<float>(midi)), (length - 0.3f) * StepSeconds(), v, song_.leadWave));
      }
    }
  }

  // The scale position within the range whose note is nearest to midi.
  int NearestIndex(int midi, int low, int high) const {
    int best = low;
    for (int i = low; i <= high; i++) {
      if (std::abs(ScaleMidi(song_, i) - midi) < std::abs(ScaleMidi(song_, best) - midi)) best = i;
    }
    return best;
  }

  const Song& song_;
  size_t barSamples_, period_;
  Noise noise_;

 public:
  Stereo drums, hats, bass, pad, arp, lead;
  Stereo room;  // the reverberation of the others
};

// An echo that bounces between the sides. Run over two passes of the loop
// so that its tail at the loop's start is the one its end leaves.
void PingPongEcho(Stereo& stem, size_t delay, float feedback, float wet) {
  std::vector<float> left(delay, 0.0f), right(delay, 0.0f);
  size_t pos = 0;
  Stereo out(stem.size());
  for (int pass = 0; pass < 2; pass++) {
    for (size_t i = 0; i < stem.size(); i++) {
      const float dl = left[pos], dr = right[pos];
      left[pos] = (stem.l[i] + stem.r[i]) * 0.5f + dr * feedback;
      right[pos] = dl * feedback;
      pos = (pos + 1) % delay;
      if (pass == 1) {
        out.l[i] = stem.l[i] + dl * wet;
        out.r[i] = stem.r[i] + dr * wet;
      }
    }
  }
  stem = out;
}

// A small hall: parallel damped combs into series all-passes, each side
// with its own lengths so that the two differ. Like the echo, run over two
// passes so that the loop's start rings with its own end.
Stereo Reverberate(const Stereo& send) {
  struct Comb {
    std::vector<float> buffer;
    size_t pos = 0;
    float store = 0.0f;
    float Step(float in) {
      const float out = buffer[pos];
      store = out * 0.75f + store * 0.25f;
      buffer[pos] = in + store * 0.84f;
      pos = (pos + 1) % buffer.size();
      return out;
    }
  };
  struct AllPass {
    std::vector<float> buffer;
    size_t pos = 0;
    float Step(float in) {
      const float delayed = buffer[pos];
      buffer[pos] = in + delayed * 0.5f;
      pos = (pos + 1) % buffer.size();
      return delayed - in;
    }
  };
  const size_t combLengths[4] = {1557, 1617, 1491, 1422}, allPassLengths[2] = {556, 441}, spread = 23;
  std::vector<Comb> combs[2];
  std::vector<AllPass> allPasses[2];
  for (int side = 0; side < 2; side++) {
    for (size_t n : combLengths) combs[side].push_back(Comb{std::vector<float>(n + side * spread, 0.0f)});
    for (size_t n : allPassLengths) allPasses[side].push_back(AllPass{std::vector<float>(n + side * spread, 0.0f)});
  }
  Stereo out(send.size());
  for (int pass = 0; pass < 2; pass++) {
    for (size_t i = 0; i < send.size(); i++) {
      const float in = (send.l[i] + send.r[i]) * 0.03f;
      for (int side = 0; side < 2; side++) {
        float v = 0.0f;
        for (Comb& c : combs[side]) v += c.Step(in);
        for (AllPass& a : allPasses[side]) v = a.Step(v);
        if (pass == 1) (side == 0 ? out.l : out.r)[i] = v;
      }
    }
  }
  return out;
}

// The whole track: the intro is the loop's last bars, its parts faded in
// one after another, so it flows into the loop's start exactly as the
// loop's end does; the loop point is the bar where the loop begins.
std::vector<float> Mixdown(Arrangement& arrangement, size_t* loopSample) {
  const size_t period = arrangement.Period(), intro = arrangement.BarSamples() * kIntroBars;
  struct Part {
    const Stereo* stem;
    float gain, fadeFrom, fadeTo;  // fade-in over this span of the intro (fractions)
  } parts[] = {
      {&arrangement.pad, 0.16f, 0.0f, 1.0f},     {&arrangement.hats, 0.50f, 0.0f, 0.5f},
      {&arrangement.arp, 0.26f, 0.25f, 1.0f},    {&arrangement.bass, 0.62f, 0.5f, 0.625f},
      {&arrangement.drums, 0.80f, 0.875f, 1.0f}, {&arrangement.lead, 0.40f, 0.97f, 1.0f},
      {&arrangement.room, 1.0f, 0.0f, 1.0f},
  };
  std::vector<float> out(2 * (intro + period), 0.0f);
  for (size_t i = 0; i < intro + period; i++) {
    const size_t at = (i + period - intro) % period;
    const float x = i < intro ? static_cast<float>(i) / intro : 1.0f;
    for (const Part& p : parts) {
      const float g = p.gain * (i < intro ? Smoothstep(p.fadeFrom, p.fadeTo, x) : 1.0f);
      out[2 * i] += p.stem->l[at] * g;
      out[2 * i + 1] += p.stem->r[at] * g;
    }
  }
  NormalisePeak(out, kMixPeak);
  *loopSample = intro;
  return out;
}

void AppendPage(std::vector<uint8_t>& bytes, const ogg_page& page) {
  bytes.insert(bytes.end(), page.header, page.header + page.header_len);
  bytes.insert(bytes.end(), page.body, page.body + page.body_len);
}

std::vector<uint8_t> EncodeVorbis(const std::vector<float>& interleaved, int serial) {
  vorbis_info info;
  vorbis_info_init(&info);
  if (vorbis_encode_init_vbr(&info, 2, kSampleRate, 0.3f) != 0) {
    vorbis_info_clear(&info);
    throw std::runtime_error("the Vorbis encoder refused its settings");
  }
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_comment_add_tag(&comment, "TITLE", "Tamblor");
  vorbis_dsp_state dsp;
  vorbis_block block;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, serial);
  std::vector<uint8_t> bytes;
  ogg_packet header, headerComment, headerCode;
  vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
  ogg_stream_packetin(&stream, &header);
  ogg_stream_packetin(&stream, &headerComment);
  ogg_stream_packetin(&stream, &headerCode);
  ogg_page page;
  while (ogg_stream_flush(&stream, &page)) AppendPage(bytes, page);

  const size_t frames = interleaved.size() / 2;
  constexpr size_t kChunk = 4096;
  for (size_t done = 0;; done += kChunk) {
    const size_t n = std::min(kChunk, frames - std::min(done, frames));
    if (n == 0) {
      vorbis_analysis_wrote(&dsp, 0);
    } else {
      float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(n));
      for (size_t i = 0; i < n; i++) {
        buffer[0][i] = interleaved[2 * (done + i)];
        buffer[1][i] = interleaved[2 * (done + i) + 1];
      }
      vorbis_analysis_wrote(&dsp, static_cast<int>(n));
    }
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
        ogg_stream_packetin(&stream, &packet);
        while (ogg_stream_pageout(&stream, &page)) AppendPage(bytes, page);
      }
    }
    if (n == 0) break;
  }
  while (ogg_stream_flush(&stream, &page)) AppendPage(bytes, page);
  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return bytes;
}

}  // namespace

void WriteMusic(const std::string& dataDir) {
  std::string list;
  int serial = 0x54414d00;
  for (const Song& song : kSongs) {
    Arrangement arrangement(song);
    arrangement.Compose();
    const size_t echo = static_cast<size_t>(std::llround(3.0 * arrangement.BarSamples() / kStepsPerBar));
    PingPongEcho(arrangement.arp, echo, 0.35f, 0.3f);
    PingPongEcho(arrangement.lead, echo, 0.3f, 0.28f);
    Stereo send(arrangement.Period());
    for (size_t i = 0; i < send.size(); i++) {
      send.l[i] = 0.10f * arrangement.pad.l[i] + 0.12f * arrangement.arp.l[i] + 0.14f * arrangement.lead.l[i];
      send.r[i] = 0.10f * arrangement.pad.r[i] + 0.12f * arrangement.arp.r[i] + 0.14f * arrangement.lead.r[i];
    }
    arrangement.room = Reverberate(send);
    size_t loopSample = 0;
    const std::vector<float> track = Mixdown(arrangement, &loopSample);
    const std::vector<uint8_t> ogg = EncodeVorbis(track, serial++);
    WriteFileBytes(dataDir + "/bgm/" + song.file, ogg.data(), ogg.size());
    // The loop point in whole milliseconds: the tempos make it exact.
    if (loopSample * 1000 % kSampleRate != 0) throw std::runtime_error(std::string("inexact loop point in ") + song.file);
    const size_t loopMs = loopSample * 1000 / kSampleRate;
    list += std::string(song.key) + "\r\n" + song.file + "\r\nLOOP=" + std::to_string(loopMs) + "\r\n";
  }
  WriteFileBytes(dataDir + "/bgm/list.txt", list.data(), list.size());
}

}  // namespace datagen
