#include "tools/datagen/manifest.h"

#include <cstring>

#include "tools/datagen/pictures.h"

namespace datagen {
namespace {

AlphaKind Straight(int) { return AlphaKind::Straight; }
AlphaKind Light(int) { return AlphaKind::Light; }
AlphaKind Binary(int) { return AlphaKind::Binary; }
// The item plate is alpha blended under the additive glows.
AlphaKind ItemBaseKind(int cell) { return cell == 0 ? AlphaKind::Straight : AlphaKind::Light; }
// The toggle's "on" sign is alpha blended, its frame and hover glow added.
AlphaKind ToggleKind(int cell) { return cell == 1 ? AlphaKind::Straight : AlphaKind::Light; }

const PictureSheet kSheets[] = {
    {"graphic/character/chara_commonParts_circle.png", 6, 1, 80, 80, Straight, PaintBodyCircle},
    {"graphic/character/chara_commonParts_bone.png", 6, 1, 80, 80, Straight, PaintBone},
    {"graphic/character/chara_commonParts_eye.png", 2, 1, 48, 48, Straight, PaintEye},
    {"graphic/character/chara_color_aura.png", 8, 4, 128, 128, Light, PaintAura},
    {"graphic/character/chara_color_bullet.png", 8, 4, 48, 48, Light, PaintBullet},
    {"graphic/character/chara_color_flake00.png", 8, 4, 16, 16, Light, PaintFlakeDot},
    {"graphic/character/chara_color_flake01.png", 8, 4, 16, 16, Light, PaintFlakeStar},
    {"graphic/character/chara_color_flake02.png", 8, 4, 16, 16, Light, PaintFlakeShard},
    {"graphic/caption/status/statusMark.png", 5, 1, 24, 24, Straight, PaintStatusMark},
    {"graphic/caption/status/aggressionMark.png", 6, 1, 64, 64, Straight, PaintAggressionMark},
    {"graphic/field/field_dust.png", 3, 1, 16, 16, Light, PaintDust},
    {"graphic/field/field_outline.png", 1, 1, 66, 10, Binary, PaintFieldOutline},
    {"graphic/field/field_foodBox.png", 4, 1, 96, 96, Light, PaintFoodBox},
    {"graphic/field/field_food.png", 4, 1, 64, 64, Light, PaintFood},
    {"graphic/item/item_base.png", 4, 1, 48, 48, ItemBaseKind, PaintItemBase},
    {"graphic/item/item_type.png", 10, 1, 32, 32, Straight, PaintItemSymbol},
    {"graphic/item/item_effect_message.png", 6, 1, 160, 160, Light, PaintItemCaption},
    {"graphic/effect/marks/chara_color_arrow.png", 8, 4, 32, 32, Light, PaintArrow},
    {"graphic/effect/light000.png", 1, 1, 64, 64, Light, PaintLight},
    {"graphic/caption/num/num16_24.png", 10, 1, 16, 24, Straight, PaintPanelDigit},
    {"graphic/caption/num/num16_24r.png", 10, 1, 16, 24, Straight, PaintPanelDigitRed},
    {"graphic/caption/timer/timerNum_mini.png", 11, 1, 24, 32, Light, PaintTimerDigit},
    {"graphic/caption/timer/timerNum_mid.png", 11, 1, 32, 48, Light, PaintTimerDigit},
    {"graphic/UI/mouse/ui_mouse_cursor.png", 2, 1, 48, 48, Straight, PaintCursor},
    {"graphic/UI/switch/ui_toggle.png", 3, 1, 32, 32, ToggleKind, PaintToggle},
    {"graphic/title/titleLogo_Tamblor.png", 7, 2, 128, 128, Light, PaintTitleLetter},
    {"graphic/title/titleLogo_light.png", 4, 1, 256, 256, Light, PaintTitleLight},
    {"graphic/title/wideButton.png", 1, 2, 256, 48, Straight, PaintWideButton},
    {"graphic/title/title_difficultyButtonName.png", 1, 4, 256, 48, Straight, PaintDifficultyName},
};

}  // namespace

std::span<const PictureSheet> PictureSheets() { return kSheets; }

PaintedSheet PaintSheet(const PictureSheet& sheet) {
  PaintedSheet out{&sheet, sheet.across * sheet.cellWidth, sheet.down * sheet.cellHeight, {}, {}};
  out.rgba.assign(static_cast<size_t>(out.width) * out.height * 4, 0);
  for (int cell = 0; cell < sheet.across * sheet.down; cell++) {
    Canvas canvas(sheet.cellWidth, sheet.cellHeight);
    sheet.paint(cell, canvas);
    const AlphaKind kind = sheet.kind(cell);
    out.cellKinds.push_back(kind);
    const std::vector<uint8_t> pixels = ToRgba8(canvas, kind);
    const int x0 = cell % sheet.across * sheet.cellWidth, y0 = cell / sheet.across * sheet.cellHeight;
    for (int y = 0; y < sheet.cellHeight; y++) {
      std::memcpy(&out.rgba[(static_cast<size_t>(y0 + y) * out.width + x0) * 4],
                  &pixels[static_cast<size_t>(y) * sheet.cellWidth * 4], static_cast<size_t>(sheet.cellWidth) * 4);
    }
  }
  return out;
}

}  // namespace datagen
