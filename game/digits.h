// Numbers drawn with digit graphics whose cell k shows the digit k, each at
// its top-left corner, in the current blend mode.
#pragma once
#include <cstdint>

// Digit spacing: neighbouring digits stand this far apart.
constexpr float kDigitStep = 16.0f;

// Every digit, the last at x and each earlier one a step to the left; a
// negative value draws a single 0.
void DrawNumber(int32_t value, float x, float y, const int32_t digits[10]);
// Two digits, the units at x and the tens a step to the left; a value that
// two digits cannot show (100 or more, or below 0) shows 00.
void DrawDigits(int32_t value, const int32_t digits[10], float x, float y);
