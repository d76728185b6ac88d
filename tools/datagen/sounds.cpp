#include "tools/datagen/sounds.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/datagen/output.h"
#include "tools/datagen/synth.h"

namespace datagen {
namespace {

using Mono = std::vector<float>;

// A sound of the length, each sample from f(t) in seconds.
Mono Render(float seconds, const std::function<float(float t)>& f) {
  Mono out(static_cast<size_t>(seconds * kSampleRate));
  for (size_t i = 0; i < out.size(); i++) out[i] = f(static_cast<float>(i) / kSampleRate);
  return out;
}

// Adds b into a from the time offset on (a grows as needed).
void MixIn(Mono& a, const Mono& b, float offset, float gain) {
  const size_t start = static_cast<size_t>(offset * kSampleRate);
  if (a.size() < start + b.size()) a.resize(start + b.size(), 0.0f);
  for (size_t i = 0; i < b.size(); i++) a[start + i] += b[i] * gain;
}

// A short noise click through a band, the attack of knocks and cracks.
Mono Click(uint32_t seed, float centre, float tau, float seconds = 0.03f) {
  Noise noise(seed);
  Filter band;
  return Render(seconds, [&](float t) { return band.Band(noise.White(), centre, 1.5f) * Pluck(t, 0.0005f, tau); });
}

// A struck body: a few decaying modes.
Mono Knock(float base, const std::vector<float>& ratios, const std::vector<float>& taus, float seconds, float sag = 0.0f) {
  std::vector<Oscillator> modes(ratios.size());
  return Render(seconds, [&](float t) {
    float s = 0.0f;
    const float pitch = base * (1.0f - sag * (1.0f - std::exp(-t / 0.05f)));
    for (size_t m = 0; m < ratios.size(); m++) s += modes[m].Sine(pitch * ratios[m]) * Pluck(t, 0.001f, taus[m]) / (1 + m);
    return s;
  });
}

// A bell note: a struck partial set that rings out.
Mono Bell(float frequency, float seconds, float ring) {
  Oscillator a, b, c;
  return Render(seconds, [&](float t) {
    return a.Sine(frequency) * Pluck(t, 0.002f, ring) + 0.35f * b.Sine(frequency * 2.76f) * Pluck(t, 0.002f, ring * 0.4f) +
           0.15f * c.Sine(frequency * 5.40f) * Pluck(t, 0.001f, ring * 0.2f);
  });
}

// Eating: a quick rising "bip" with a soft click, three pitches.
Mono Munch(int variant) {
  const float base = 520.0f * std::pow(1.19f, static_cast<float>(variant));
  Oscillator tone, overtone;
  Mono s = Render(0.09f, [&](float t) {
    const float f = base * (1.0f + 0.8f * (1.0f - std::exp(-t / 0.02f)));
    return (tone.Sine(f) + 0.3f * overtone.Sine(2.0f * f)) * Pluck(t, 0.003f, 0.025f);
  });
  MixIn(s, Click(11 + variant, 3000.0f, 0.002f, 0.01f), 0.0f, 0.4f);
  return s;
}

// Firing: a bright falling "pew" with a puff of air.
Mono Shot(int variant) {
  const float high = variant == 0 ? 1500.0f : 1300.0f, low = variant == 0 ? 280.0f : 220.0f;
  const float tau = variant == 0 ? 0.035f : 0.045f;
  Oscillator osc;
  Filter soften;
  Mono s = Render(0.16f, [&](float t) {
    const float f = Glide(t, high, low, tau);
    return soften.Low(osc.Square(f), 5000.0f) * Pluck(t, 0.002f, 0.05f);
  });
  Noise air(21 + variant);
  Filter hiss;
  MixIn(s, Render(0.02f, [&](float t) { return hiss.High(air.White(), 3000.0f) * Pluck(t, 0.001f, 0.005f); }), 0.0f, 0.5f);
  return s;
}

// A creature hit: a thump with a crunch.
Mono Hit() {
  Oscillator body;
  Mono s = Render(0.22f, [&](float t) { return body.Sine(Glide(t, 190.0f, 60.0f, 0.04f)) * Pluck(t, 0.002f, 0.06f); });
  MixIn(s, Click(31, 1200.0f, 0.03f, 0.12f), 0.0f, 1.6f);
  return s;
}

// The player hit: a harsher buzzing drop under a thump, two versions.
Mono PlayerHit(int variant) {
  const float high = variant == 0 ? 320.0f : 260.0f, low = variant == 0 ? 90.0f : 70.0f;
  const float buzz = variant == 0 ? 35.0f : 28.0f;
  Oscillator a, b, tremolo, thump;
  Filter tone;
  Mono s = Render(0.35f, [&](float t) {
    const float f = Glide(t, high, low, 0.12f);
    const float saws = a.Saw(f) + b.Saw(f * 1.015f);
    const float grit = 0.6f + 0.4f * tremolo.Sine(buzz);
    return tone.Low(saws, 2500.0f) * grit * Pluck(t, 0.003f, 0.12f) * 0.6f +
           thump.Sine(Glide(t, 150.0f, 50.0f, 0.05f)) * Pluck(t, 0.002f, 0.07f);
  });
  MixIn(s, Click(41 + variant, 900.0f, 0.02f, 0.08f), 0.0f, 1.2f);
  return s;
}

// Two bodies bumping: a soft rubbery bonk.
Mono Bump(int variant) {
  Mono s = Knock(variant == 0 ? 150.0f : 175.0f, {1.0f, 2.7f}, {0.03f, 0.015f}, 0.1f, 0.1f);
  Noise n(51 + variant);
  Filter dull;
  MixIn(s, Render(0.006f, [&](float t) { return dull.Low(n.White(), 2000.0f) * Pluck(t, 0.0005f, 0.002f); }), 0.0f, 0.5f);
  return s;
}

// Life: a rising major arpeggio of bells.
Mono GetLife() {
  Mono s;
  const float notes[4] = {84, 88, 91, 96};
  for (int i = 0; i < 4; i++) MixIn(s, Bell(NoteFrequency(notes[i]), 0.55f - 0.07f * i, 0.18f), 0.07f * i, 1.0f);
  return s;
}

// Bullets refilled: two mechanical clicks and a rising ring.
Mono GetBullet() {
  Mono s;
  MixIn(s, Click(61, 2500.0f, 0.006f, 0.03f), 0.0f, 1.0f);
  MixIn(s, Knock(900.0f, {1.0f, 2.3f}, {0.012f, 0.006f}, 0.04f), 0.0f, 0.5f);
  MixIn(s, Click(62, 1800.0f, 0.008f, 0.03f), 0.09f, 1.0f);
  MixIn(s, Knock(700.0f, {1.0f, 2.3f}, {0.012f, 0.006f}, 0.04f), 0.09f, 0.5f);
  Oscillator ring;
  Filter soften;
  MixIn(s, Render(0.24f, [&](float t) {
          const float f = t < 0.04f ? 660.0f + 330.0f * (t / 0.04f) : 990.0f;
          return soften.Low(ring.Square(f), 3500.0f) * Pluck(t, 0.004f, 0.08f);
        }), 0.16f, 0.45f);
  return s;
}

// Food called in: a short bright plink (heard once for every piece).
Mono ComeFoods() {
  Oscillator a, b;
  return Render(0.14f, [&](float t) {
    const float f = 1760.0f * (1.0f + 0.1f * std::min(t / 0.01f, 1.0f));
    return (a.Sine(f) + 0.5f * b.Sine(f * 1.5f)) * Pluck(t, 0.002f, 0.035f);
  });
}

// Speed: air rushing past, rising.
Mono GetSpeed() {
  Noise n(71);
  Filter sweep;
  Oscillator tone;
  return Render(0.5f, [&](float t) {
    const float centre = 400.0f * std::pow(10.0f, std::min(t / 0.35f, 1.0f));
    const float swell = std::min(t / 0.15f, 1.0f) * std::exp(-std::max(t - 0.2f, 0.0f) / 0.1f);
    return (sweep.Band(n.White(), centre, 2.5f) * 1.5f + 0.3f * tone.Sine(300.0f * std::pow(4.0f, t / 0.5f))) * swell;
  });
}

// The ring of sixty shots: a boom, a blast and a volley of chirps.
Mono LionShot() {
  Oscillator boom;
  Mono s = Render(0.6f, [&](float t) { return boom.Sine(Glide(t, 90.0f, 40.0f, 0.08f)) * Pluck(t, 0.003f, 0.2f); });
  Noise n(81);
  Filter blast;
  MixIn(s, Render(0.5f, [&](float t) { return blast.Low(n.White(), Glide(t, 8000.0f, 800.0f, 0.1f)) * Pluck(t, 0.002f, 0.15f); }),
        0.0f, 0.8f);
  for (int i = 0; i < 6; i++) {
    Oscillator chirp;
    MixIn(s, Render(0.06f, [&](float t) { return chirp.Square(Glide(t, 1800.0f - 90.0f * i, 500.0f, 0.015f)) * Pluck(t, 0.001f, 0.015f); }),
          0.01f + 0.035f * i, 0.25f);
  }
  return s;
}

// Move: a warbling swoop up and back down.
Mono GetMove() {
  Oscillator carrier, modulator, vibrato;
  Noise n(91);
  Filter shimmer;
  return Render(0.45f, [&](float t) {
    const float f = t < 0.25f ? 300.0f * std::pow(1400.0f / 300.0f, t / 0.25f) : 1400.0f * std::pow(600.0f / 1400.0f, (t - 0.25f) / 0.2f);
    const float wobble = 1.0f + 0.03f * vibrato.Sine(18.0f);
    const float index = 2.0f * std::exp(-t / 0.2f);
    const float fm = carrier.Sine(f * wobble + index * f * modulator.Sine(f * 0.5f));
    const float level = std::min(t / 0.01f, 1.0f) * std::min((0.45f - t) / 0.08f, 1.0f) * (1.0f - 0.6f * t / 0.45f);
    return (fm + 0.15f * shimmer.High(n.White(), 6000.0f)) * level;
  });
}

// A death: a pop, then the body's tone collapsing under a thud.
Mono Die(int variant) {
  const float high = variant == 0 ? 700.0f : 600.0f, low = variant == 0 ? 55.0f : 45.0f;
  Oscillator tone, thud, wobble;
  Filter soften;
  Mono s = Render(0.55f, [&](float t) {
    const float f = Glide(t, high, low, 0.12f);
    const float bubble = variant == 0 ? 1.0f : 0.7f + 0.3f * wobble.Sine(12.0f);
    return soften.Low(tone.Square(f), 3000.0f) * Pluck(t, 0.003f, 0.2f) * bubble * 0.6f +
           thud.Sine(Glide(t, 80.0f, 35.0f, 0.06f)) * Pluck(t, 0.003f, 0.15f);
  });
  MixIn(s, Click(101 + variant, 1500.0f, 0.012f, 0.06f), 0.0f, 2.0f);
  return s;
}

// A food box hit: a hollow wooden knock.
Mono BoxKnock() {
  Mono s = Knock(240.0f, {1.0f, 2.125f, 4.7f}, {0.05f, 0.03f, 0.012f}, 0.14f);
  MixIn(s, Click(111, 2500.0f, 0.003f, 0.02f), 0.0f, 0.6f);
  return s;
}

// A food box breaking: a crack, falling splinters, and the food popping out.
Mono BoxBreak() {
  Mono s = Click(121, 1800.0f, 0.03f, 0.15f);
  Noise scatter(122);
  for (int i = 0; i < 8; i++) {
    const float at = 0.05f + 0.03f * i + scatter.Uniform(0.0f, 0.02f);
    const Mono piece = Knock(scatter.Uniform(300.0f, 900.0f), {1.0f, 2.4f}, {0.02f, 0.01f}, 0.06f);
    MixIn(s, piece, at, 0.5f * std::pow(0.8f, static_cast<float>(i)));
  }
  Oscillator pop;
  MixIn(s, Render(0.12f, [&](float t) { return pop.Sine(Glide(t, 900.0f, 1500.0f, 0.02f)) * Pluck(t, 0.002f, 0.03f); }), 0.04f, 0.5f);
  s.resize(static_cast<size_t>(0.36f * kSampleRate), 0.0f);
  return s;
}

// An item appearing: a quick strum of bells over a glittering hiss.
Mono ItemBorn() {
  Mono s;
  const float notes[4] = {79, 84, 88, 91};
  for (int i = 0; i < 4; i++) MixIn(s, Bell(NoteFrequency(notes[i]), 0.55f - 0.04f * i, 0.15f), 0.04f * i, 0.8f);
  Noise n(131);
  Filter glitter;
  Oscillator tremolo;
  MixIn(s, Render(0.5f, [&](float t) {
          return glitter.High(n.White(), 7000.0f) * (0.5f + 0.5f * tremolo.Sine(30.0f)) * Pluck(t, 0.05f, 0.12f);
        }), 0.0f, 0.25f);
  return s;
}

// Finishing: a few milliseconds of fade at each end so no play starts or
// stops with a click, then the level.
void Finish(Mono& s) {
  const size_t in = kSampleRate / 1000, out = kSampleRate * 8 / 1000;
  for (size_t i = 0; i < in && i < s.size(); i++) s[i] *= static_cast<float>(i) / in;
  for (size_t i = 0; i < out && i < s.size(); i++) {
    s[s.size() - 1 - i] *= 0.5f - 0.5f * std::cos(kPi * i / out);
  }
  NormalisePeak(s, kMixPeak);
}

void PutLe(std::vector<uint8_t>& b, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; i++) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A 16-bit PCM WAV of one or two interleaved channels.
void WriteWav(const std::string& path, const std::vector<float>& interleaved, int channels) {
  std::vector<uint8_t> b;
  const uint32_t dataBytes = static_cast<uint32_t>(interleaved.size() * 2);
  b.insert(b.end(), {'R', 'I', 'F', 'F'});
  PutLe(b, 36 + dataBytes, 4);
  b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  PutLe(b, 16, 4);
  PutLe(b, 1, 2);  // PCM
  PutLe(b, channels, 2);
  PutLe(b, kSampleRate, 4);
  PutLe(b, kSampleRate * channels * 2, 4);
  PutLe(b, channels * 2, 2);
  PutLe(b, 16, 2);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  PutLe(b, dataBytes, 4);
  for (float v : interleaved) {
    PutLe(b, static_cast<uint16_t>(static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f))), 2);
  }
  WriteFileBytes(path, b.data(), b.size());
}

// The box sounds come as left, centre and right copies, since the game
// plays them unpanned: constant-power placement, then the same level.
void WritePannedTriple(const std::string& stem, const Mono& sound) {
  const struct {
    const char* suffix;
    float pan;  // -1 left .. 1 right
  } places[3] = {{"_l", -0.75f}, {"_c", 0.0f}, {"_r", 0.75f}};
  for (const auto& place : places) {
    const float angle = (place.pan + 1.0f) * kPi / 4.0f;
    std::vector<float> stereo;
    for (float v : sound) {
      stereo.push_back(v * std::cos(angle));
      stereo.push_back(v * std::sin(angle));
    }
    NormalisePeak(stereo, kMixPeak);
    WriteWav(stem + place.suffix + ".wav", stereo, 2);
  }
}

}  // namespace

void WriteSoundEffects(const std::string& dataDir) {
  const std::string se = dataDir + "/se/";
  const struct {
    const char* path;
    std::function<Mono()> make;
  } effects[] = {
      {"character/die/die000.wav", [] { return Die(0); }},
      {"character/die/die001.wav", [] { return Die(1); }},
      {"item/born000.wav", ItemBorn},
      {"character/food/paku000.wav", [] { return Munch(0); }},
      {"character/food/paku001.wav", [] { return Munch(1); }},
      {"character/food/paku002.wav", [] { return Munch(2); }},
      {"character/shot/shot000.wav", [] { return Shot(0); }},
      {"character/shot/shot001.wav", [] { return Shot(1); }},
      {"character/damaged/damaged000.wav", Hit},
      {"character/damaged/meDamaged000.wav", [] { return PlayerHit(0); }},
      {"character/damaged/meDamaged001.wav", [] { return PlayerHit(1); }},
      {"character/knock/small_knock000.wav", [] { return Bump(0); }},
      {"character/knock/small_knock001.wav", [] { return Bump(1); }},
      {"character/itemEffect/get_life.wav", GetLife},
      {"character/itemEffect/get_bullet.wav", GetBullet},
      {"character/itemEffect/come_foods.wav", ComeFoods},
      {"character/itemEffect/get_speed.wav", GetSpeed},
      {"character/itemEffect/lionshot.wav", LionShot},
      {"character/itemEffect/get_move.wav", GetMove},
  };
  for (const auto& effect : effects) {
    Mono s = effect.make();
    Finish(s);
    WriteWav(se + effect.path, s, 1);
  }
  Mono knock = BoxKnock(), crack = BoxBreak();
  Finish(knock);
  Finish(crack);
  WritePannedTriple(se + "foodbox/damaged/small_knock002", knock);
  WritePannedTriple(se + "foodbox/break/small_open000", crack);
}

}  // namespace datagen
