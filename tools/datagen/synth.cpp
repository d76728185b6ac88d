#include "tools/datagen/synth.h"

#include <algorithm>

namespace datagen {
namespace {

// The correction that turns a hard jump at phase 0 into a band-limited one.
float BandLimitedStep(float phase, float increment) {
  if (phase < increment) {
    const float t = phase / increment;
    return t + t - t * t - 1.0f;
  }
  if (phase > 1.0f - increment) {
    const float t = (phase - 1.0f) / increment;
    return t * t + t + t + 1.0f;
  }
  return 0.0f;
}

}  // namespace

float Oscillator::Saw(float frequency) {
  const float increment = frequency / kSampleRate;
  const float p = Step(frequency);
  return 2.0f * p - 1.0f - BandLimitedStep(p, increment);
}

float Oscillator::Square(float frequency) {
  const float increment = frequency / kSampleRate;
  const float p = Step(frequency);
  float half = p + 0.5f;
  half -= std::floor(half);
  return (p < 0.5f ? 1.0f : -1.0f) + BandLimitedStep(p, increment) - BandLimitedStep(half, increment);
}

Filter::Out Filter::Step(float input, float cutoff, float resonance) {
  cutoff = std::clamp(cutoff, 10.0f, kSampleRate * 0.45f);
  if (cutoff != cutoff_) {
    cutoff_ = cutoff;
    g_ = std::tan(kPi * cutoff / kSampleRate);
  }
  const float g = g_;
  const float k = 1.0f / resonance;
  const float a1 = 1.0f / (1.0f + g * (g + k)), a2 = g * a1, a3 = g * a2;
  const float v3 = input - ic2_;
  const float v1 = a1 * ic1_ + a2 * v3;
  const float v2 = ic2_ + a2 * ic1_ + a3 * v3;
  ic1_ = 2.0f * v1 - ic1_;
  ic2_ = 2.0f * v2 - ic2_;
  return {v2, v1, input - k * v1 - v2};
}

void NormalisePeak(std::vector<float>& samples, float peak) {
  float largest = 0.0f;
  for (float s : samples) largest = std::max(largest, std::fabs(s));
  if (largest <= 0.0f) return;
  for (float& s : samples) s *= peak / largest;
}

}  // namespace datagen
