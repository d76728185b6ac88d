// Small helpers the game shares: hit tests, angles on a turn of 6.28318,
// random choices whose ties go by a coin flip, and a random float.
#pragma once
#include <cstdint>

// The game's own turn and half turn (not 2 pi).
constexpr float kFullTurn = 6.28318f;
constexpr float kHalfTurn = 3.14159f;
constexpr float kQuarterTurn = 1.570795f;

// Truncates toward zero; values beyond the 32-bit range hold at its ends and
// NaN gives 0, where a plain conversion would be undefined.
int32_t TruncateToInt(double value);

// ---- Hit tests (edges included unless said) --------------------------------
bool PointInRect(int32_t x, int32_t y, int32_t w, int32_t h, int32_t px, int32_t py);
// Half sizes by integer division: width 17 reaches 8 each side.
bool PointInCentredRect(int32_t cx, int32_t cy, int32_t w, int32_t h, int32_t px, int32_t py);
// Strictly inside: a point on the circle is out.
bool InCircle(int32_t x1, int32_t y1, int32_t r, int32_t x2, int32_t y2);
// Whether the segment from start to start + vector comes within radius of
// the centre (a centre exactly at the radius touches).
bool SegmentTouchesCircle(float startX, float startY, float vectorX, float vectorY, float centreX,
                          float centreY, float radius);

// ---- Angles ---------------------------------------------------------------
// +1 when turning up from `from` to `to` is no longer than turning down, else -1.
int32_t TurnDirection(float from, float to);
// The shorter signed turn from `from` to `to`; a half turn gives the positive value.
float AngleDelta(float from, float to);
// Into 0 .. 6.28318.
void WrapAngle(float& angle);
// The direction with its x part reversed (a bounce off a left or right wall).
float FlipAngleX(float angle);
// The direction with its y part reversed (a bounce off a top or bottom wall).
float FlipAngleY(float angle);
float DistanceSquared(float x1, float y1, float x2, float y2);
// The squared distance between two points each truncated to ints first, in 64
// bits so that a point pushed far off the field cannot overflow it.
int64_t TruncatedDistanceSquared(float x1, float y1, float x2, float y2);

// ---- Random choices ---------------------------------------------------------
// Index of the largest of six values, from best 0 at index 0: all zero favours
// the later indexes, all negative gives 0. Equal values flip a coin.
int32_t IndexOfMax(const int32_t values[6]);
// The same over four scores from best 0.0.
int32_t PickMaxOf4(const float scores[4]);
// Index of the smallest of scores[0..n] from best 999999.875 at index 0; 0
// without a look at the scores when n is negative.
int32_t PickMinOf(const float* scores, int32_t n);
// 0 .. x in steps of 0.00001.
float RandomFloat(float x);
// 0 .. 6.28318 in steps of 0.00001, as the game's random angles are drawn.
double RandomTurn();
