#include "game/digits.h"

#include "core/varnok.h"

void DrawNumber(int32_t value, float x, float y, const int32_t digits[10]) {
  if (value < 0) {
    DrawGraphAtFloat(x, y, digits[0], 1);
    return;
  }
  do {
    DrawGraphAtFloat(x, y, digits[value % 10], 1);
    value /= 10;
    x -= kDigitStep;
  } while (value > 0);
}

void DrawDigits(int32_t value, const int32_t digits[10], float x, float y) {
  const bool fits = value >= 0 && value < 100;
  DrawGraphAtFloat(x - kDigitStep, y, digits[fits ? value / 10 : 0], 1);
  DrawGraphAtFloat(x, y, digits[fits ? value % 10 : 0], 1);
}
