// Small synthesis pieces shared by the sound effects and the music: a seeded
// noise source, band-limited oscillators, filters and envelopes.
#pragma once
#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/datagen/ease.h"

namespace datagen {

constexpr int kSampleRate = 44100;
constexpr float kTwoPi = 2.0f * kPi;

// The same numbers on every machine, so every build makes the same files.
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed ? seed : 1u) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  float White() { return static_cast<float>(Next() >> 8) / 8388608.0f - 1.0f; }  // -1 .. 1
  float Uniform(float lo, float hi) { return lo + (hi - lo) * (static_cast<float>(Next() >> 8) / 16777216.0f); }

 private:
  uint32_t state_;
};

// A phase that follows a changing frequency. The square and the saw have
// their jumps smoothed (polynomial band-limited steps), so high notes and
// fast sweeps do not alias into whistles.
class Oscillator {
 public:
  // Advances by one sample and returns the phase (0..1) before the step.
  float Step(float frequency) {
    const float p = phase_;
    phase_ += frequency / kSampleRate;
    phase_ -= std::floor(phase_);
    return p;
  }
  float Sine(float frequency) { return std::sin(kTwoPi * Step(frequency)); }
  float Square(float frequency);
  float Saw(float frequency);
  float Triangle(float frequency) {
    const float p = Step(frequency);
    return 4.0f * std::fabs(p - 0.5f) - 1.0f;
  }

 private:
  float phase_ = 0.0f;
};

// A state-variable filter (trapezoidal), stable under fast cutoff sweeps.
class Filter {
 public:
  struct Out {
    float low, band, high;
  };
  Out Step(float input, float cutoff, float resonance);
  float Low(float input, float cutoff, float resonance = 0.7f) { return Step(input, cutoff, resonance).low; }
  float Band(float input, float cutoff, float resonance = 2.0f) { return Step(input, cutoff, resonance).band; }
  float High(float input, float cutoff, float resonance = 0.7f) { return Step(input, cutoff, resonance).high; }

 private:
  float ic1_ = 0.0f, ic2_ = 0.0f;
  float cutoff_ = -1.0f, g_ = 0.0f;  // the last cutoff's coefficient, kept for steady notes
};

// Linear attack, then an exponential decay with the time constant tau.
inline float Pluck(float t, float attack, float tau) {
  if (t < 0.0f) return 0.0f;
  return t < attack ? t / attack : std::exp(-(t - attack) / tau);
}

// A value gliding exponentially from start to end with the time constant tau.
inline float Glide(float t, float start, float end, float tau) { return end + (start - end) * std::exp(-t / tau); }

inline float NoteFrequency(float midiNote) { return 440.0f * std::pow(2.0f, (midiNote - 69.0f) / 12.0f); }

// The peak of every effect and of the music: -7 dBFS, which puts a busy
// round at the default volumes at about -17 dBFS RMS and every track of the
// music alone at -24 or louder. Effects that start in one frame start
// on the same sample and add up (a sound's three plays exactly), so a busy
// frame passes full scale at times: the game's mixer has a limiter for that.
// Effects and music share the level, so the balance between them stays as
// it was.
constexpr float kMixPeak = 0.45f;

// Scales so that the largest magnitude is the peak.
void NormalisePeak(std::vector<float>& samples, float peak);

}  // namespace datagen
