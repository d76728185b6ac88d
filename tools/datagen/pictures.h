// The painters of the game's pictures: each paints one cell of its sheet
// into a canvas of the cell's size, centred on the cell. Every sprite that the
// game turns faces +x at angle 0.
#pragma once
#include "tools/datagen/canvas.h"

namespace datagen {

// The 32 creature colours; 0 is the player's.
Rgb CreatureColour(int index);

// Creatures (cells per level, or per creature colour).
void PaintBodyCircle(int cell, Canvas& c);
void PaintBone(int cell, Canvas& c);
void PaintEye(int cell, Canvas& c);
void PaintAura(int cell, Canvas& c);
void PaintBullet(int cell, Canvas& c);
void PaintFlakeDot(int cell, Canvas& c);
void PaintFlakeStar(int cell, Canvas& c);
void PaintFlakeShard(int cell, Canvas& c);
void PaintArrow(int cell, Canvas& c);

// Field, food, items and effects.
void PaintDust(int cell, Canvas& c);
void PaintFieldOutline(int cell, Canvas& c);
void PaintFoodBox(int cell, Canvas& c);
void PaintFood(int cell, Canvas& c);
void PaintItemBase(int cell, Canvas& c);
void PaintItemSymbol(int cell, Canvas& c);
void PaintItemCaption(int cell, Canvas& c);
void PaintLight(int cell, Canvas& c);

// Captions, interface and title.
void PaintStatusMark(int cell, Canvas& c);
void PaintAggressionMark(int cell, Canvas& c);
void PaintPanelDigit(int cell, Canvas& c);
void PaintPanelDigitRed(int cell, Canvas& c);
void PaintTimerDigit(int cell, Canvas& c);
void PaintCursor(int cell, Canvas& c);
void PaintToggle(int cell, Canvas& c);
void PaintTitleLetter(int cell, Canvas& c);
void PaintTitleLight(int cell, Canvas& c);
void PaintWideButton(int cell, Canvas& c);
void PaintDifficultyName(int cell, Canvas& c);

// Shared by the painters.
// An item kind's symbol (ten, the six kinds first) at a scale of its 32 px
// design, and its colour.
Mask ItemShape(int kind, int width, int height, float scale);
Rgb ItemColour(int kind);
// A colour lit from the top left over a shape of about the size.
Paint Shaded(Rgb colour, float size);
// A shape in a colour with a dark rim around it, so that it reads on the
// dark field and on light bodies alike.
void OverOutlined(Canvas& c, const Mask& shape, const Paint& paint, float rim, Rgb rimColour = {0.03f, 0.04f, 0.07f});
// The mask as light: a blurred halo in the colour under a whiter core.
void AddGlowing(Canvas& c, const Mask& core, Rgb colour, float sigma, float haloStrength, float coreWhiteness);

}  // namespace datagen
