#include "game/maths.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/varnok.h"

namespace {

// Beyond this a subtracted turn may no longer change the value, and the
// turn-by-turn loops would never end.
constexpr float kLoopableAngle = 1.0e6f;

float Normalise(float angle) {
  if (!(std::fabs(angle) < kLoopableAngle)) angle = std::fmod(angle, kFullTurn);
  while (angle < 0.0f) angle += kFullTurn;
  while (angle > kFullTurn) angle -= kFullTurn;
  return angle;
}

// The turn from `from` up to `to`, both normalised.
float IncreasingTurn(float from, float to) { return to >= from ? to - from : kFullTurn - (from - to); }

bool CoinFlip() { return GetRandomValue(1) != 0; }

}  // namespace

int32_t TruncateToInt(double value) {
  if (!(value == value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

bool PointInRect(int32_t x, int32_t y, int32_t w, int32_t h, int32_t px, int32_t py) {
  return x <= px && px <= x + w && y <= py && py <= y + h;
}

bool PointInCentredRect(int32_t cx, int32_t cy, int32_t w, int32_t h, int32_t px, int32_t py) {
  const int32_t hw = w / 2, hh = h / 2;
  return cx - hw <= px && px <= cx + hw && cy - hh <= py && py <= cy + hh;
}

bool InCircle(int32_t x1, int32_t y1, int32_t r, int32_t x2, int32_t y2) {
  // Each square fits 64 bits unsigned, their sum may not: compare piecewise.
  const uint64_t dx = static_cast<uint64_t>(std::llabs(static_cast<int64_t>(x1) - x2));
  const uint64_t dy = static_cast<uint64_t>(std::llabs(static_cast<int64_t>(y1) - y2));
  const uint64_t rr = static_cast<uint64_t>(static_cast<int64_t>(r) * r);
  return dx * dx < rr && dy * dy < rr - dx * dx;
}

bool SegmentTouchesCircle(float startX, float startY, float vectorX, float vectorY, float centreX,
                          float centreY, float radius) {
  const float dx = centreX - startX, dy = centreY - startY;
  const float radiusSquared = radius * radius;
  const float dSquared = dx * dx + dy * dy;
  if (vectorX * dx + vectorY * dy <= 0.0f) return dSquared <= radiusSquared;
  const float ex = centreX - (startX + vectorX), ey = centreY - (startY + vectorY);
  if (-vectorX * ex + -vectorY * ey <= 0.0f) return ex * ex + ey * ey <= radiusSquared;
  const float length = std::sqrt(vectorX * vectorX + vectorY * vectorY);
  const float along = (vectorX / length) * dx + (vectorY / length) * dy;
  return dSquared - along * along <= radiusSquared;
}

int32_t TurnDirection(float from, float to) {
  const float up = IncreasingTurn(Normalise(from), Normalise(to));
  const float down = kFullTurn - up;
  return up <= down ? 1 : -1;
}

float AngleDelta(float from, float to) {
  const float up = IncreasingTurn(Normalise(from), Normalise(to));
  const float down = kFullTurn - up;
  return up <= down ? up : -down;
}

void WrapAngle(float& angle) {
  if (!(std::fabs(angle) < kLoopableAngle)) angle = std::fmod(angle, kFullTurn);
  while (angle > kFullTurn) angle -= kFullTurn;
  while (angle < 0.0f) angle += kFullTurn;
}

float FlipAngleX(float angle) {
  const float s = std::sin(angle), c = std::cos(angle);
  return static_cast<float>(std::atan2(s + 0.00001, -c + 0.00001));
}

float FlipAngleY(float angle) {
  const float s = std::sin(angle), c = std::cos(angle);
  return static_cast<float>(std::atan2(-s + 0.00001, c + 0.00001));
}

float DistanceSquared(float x1, float y1, float x2, float y2) {
  const float dx = x1 - x2, dy = y1 - y2;
  return dx * dx + dy * dy;
}

int64_t TruncatedDistanceSquared(float x1, float y1, float x2, float y2) {
  // Held to the 32-bit range, the two squares still sum inside 64 bits, and
  // far beyond every distance the game compares with.
  const auto axis = [](float a, float b) {
    return std::clamp<int64_t>(static_cast<int64_t>(TruncateToInt(a)) - TruncateToInt(b), -INT32_MAX, INT32_MAX);
  };
  const int64_t dx = axis(x1, x2), dy = axis(y1, y2);
  return dx * dx + dy * dy;
}

int32_t IndexOfMax(const int32_t values[6]) {
  int32_t best = 0, index = 0;
  for (int32_t i = 0; i < 6; i++) {
    if (values[i] > best || (values[i] == best && CoinFlip())) {
      best = values[i];
      index = i;
    }
  }
  return index;
}

int32_t PickMaxOf4(const float scores[4]) {
  float best = 0.0f;
  int32_t index = 0;
  for (int32_t i = 0; i < 4; i++) {
    if (scores[i] > best || (scores[i] == best && CoinFlip())) {
      best = scores[i];
      index = i;
    }
  }
  return index;
}

int32_t PickMinOf(const float* scores, int32_t n) {
  float best = 999999.9f;
  int32_t index = 0;
  for (int32_t i = 0; i <= n; i++) {
    if (scores[i] < best || (scores[i] == best && CoinFlip())) {
      best = scores[i];
      index = i;
    }
  }
  return index;
}

double RandomTurn() { return GetRandomValue(628318) / 100000.0; }

float RandomFloat(float x) {
  return static_cast<float>(GetRandomValue(TruncateToInt(x * 100000.0f)) / 100000.0);
}
