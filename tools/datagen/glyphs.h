// Letters and digits from the outlines of the installed IPAGothic face, laid
// into coverage masks: straight lines of text and letters turned to any angle.
#pragma once
#include <string>

#include "tools/datagen/canvas.h"

namespace datagen {

struct TextStyle {
  float size;            // em size in pixels
  float bold = 0.0f;     // outline widening in pixels
  float tracking = 0.0f; // extra pixels between letters
  float widen = 1.0f;    // horizontal stretch of the letters
};

// Opens the face once (found through fontconfig); throws when it is missing.
void OpenGothicFace();
void CloseGothicFace();

// The text centred at (x, y) in the mask's local coordinates: across by its
// advances, down by the capital height, so that digits and words of one
// style share one baseline.
void DrawText(Mask& mask, const std::string& text, const TextStyle& style, float x, float y);
// Pixels the text advances.
float TextWidth(const std::string& text, const TextStyle& style);
// One letter centred the same way (the middle of its advance at half the
// capital height) at (x, y), turned by angle radians (clockwise on screen).
void DrawLetter(Mask& mask, char letter, const TextStyle& style, float x, float y, float angle);

}  // namespace datagen
