#include "game/resources.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/varnok.h"
#include "game/maths.h"

int32_t chara_commonParts_circle[6];
int32_t chara_commonParts_bone[6];
int32_t chara_commonParts_eye[2];
int32_t chara_color_aura[32];
int32_t chara_color_bullet[32];
int32_t chara_color_flake00[32];
int32_t chara_color_flake01[32];
int32_t chara_color_flake02[32];
int32_t statusMark[5];
int32_t aggressionMark[6];
int32_t field_dust[3];
int32_t field_outline = -1;
int32_t field_foodBox[4];
int32_t field_food[4];
int32_t item_base[4];
int32_t item_type[10];
int32_t item_effect_message[6];
int32_t chara_color_arrow[32];
int32_t light000 = -1;
int32_t num16_24[10];
int32_t num16_24r[10];
int32_t timerNum_mini[11];
int32_t timerNum_mid[11];
int32_t ui_mouse_cursor[2];
int32_t ui_toggle[3];
int32_t titleLogo_Tamblor[14];
int32_t titleLogo_light[4];
int32_t wideButton[2];
int32_t title_difficultyButtonName[4];

SoundSet g_soundSet = {{-1, -1}, {-1, -1, -1}, {-1, -1, -1}, -1, nullptr, 0, 0};

namespace {

// One picture file: divided into total cells of cellWidth x cellHeight, or
// (total 0) loaded whole into the one handle.
struct GraphFile {
  const char* path;
  int32_t* handles;
  int32_t total, across, down, cellWidth, cellHeight;
};

const GraphFile kGraphFiles[] = {
    {"data\\graphic\\character\\chara_commonParts_circle.png", chara_commonParts_circle, 6, 6, 1, 80, 80},
    {"data\\graphic\\character\\chara_commonParts_bone.png", chara_commonParts_bone, 6, 6, 1, 80, 80},
    {"data\\graphic\\character\\chara_commonParts_eye.png", chara_commonParts_eye, 2, 2, 1, 48, 48},
    {"data\\graphic\\character\\chara_color_aura.png", chara_color_aura, 32, 8, 4, 128, 128},
    {"data\\graphic\\character\\chara_color_bullet.png", chara_color_bullet, 32, 8, 4, 48, 48},
    {"data\\graphic\\character\\chara_color_flake00.png", chara_color_flake00, 32, 8, 4, 16, 16},
    {"data\\graphic\\character\\chara_color_flake01.png", chara_color_flake01, 32, 8, 4, 16, 16},
    {"data\\graphic\\character\\chara_color_flake02.png", chara_color_flake02, 32, 8, 4, 16, 16},
    {"data\\graphic\\caption\\status\\statusMark.png", statusMark, 5, 5, 1, 24, 24},
    {"data\\graphic\\caption\\status\\aggressionMark.png", aggressionMark, 6, 6, 1, 64, 64},
    {"data\\graphic\\field\\field_dust.png", field_dust, 3, 3, 1, 16, 16},
    {"data\\graphic\\field\\field_outline.png", &field_outline, 0, 0, 0, 0, 0},
    {"data\\graphic\\field\\field_foodBox.png", field_foodBox, 4, 4, 1, 96, 96},
    {"data\\graphic\\field\\field_food.png", field_food, 4, 4, 1, 64, 64},
    {"data\\graphic\\item\\item_base.png", item_base, 4, 4, 1, 48, 48},
    {"data\\graphic\\item\\item_type.png", item_type, 10, 10, 1, 32, 32},
    {"data\\graphic\\item\\item_effect_message.png", item_effect_message, 6, 6, 1, 160, 160},
    {"data\\graphic\\effect\\marks\\chara_color_arrow.png", chara_color_arrow, 32, 8, 4, 32, 32},
    {"data\\graphic\\effect\\light000.png", &light000, 0, 0, 0, 0, 0},
    {"data\\graphic\\caption\\num\\num16_24.png", num16_24, 10, 10, 1, 16, 24},
    {"data\\graphic\\caption\\num\\num16_24r.png", num16_24r, 10, 10, 1, 16, 24},
    {"data\\graphic\\caption\\timer\\timerNum_mini.png", timerNum_mini, 11, 11, 1, 24, 32},
    {"data\\graphic\\caption\\timer\\timerNum_mid.png", timerNum_mid, 11, 11, 1, 32, 48},
    {"data\\graphic\\UI\\mouse\\ui_mouse_cursor.png", ui_mouse_cursor, 2, 2, 1, 48, 48},
    {"data\\graphic\\UI\\switch\\ui_toggle.png", ui_toggle, 3, 3, 1, 32, 32},
    {"data\\graphic\\title\\titleLogo_Tamblor.png", titleLogo_Tamblor, 14, 7, 2, 128, 128},
    {"data\\graphic\\title\\titleLogo_light.png", titleLogo_light, 4, 4, 1, 256, 256},
    {"data\\graphic\\title\\wideButton.png", wideButton, 2, 1, 2, 256, 48},
    {"data\\graphic\\title\\title_difficultyButtonName.png", title_difficultyButtonName, 4, 1, 4, 256, 48},
};

}  // namespace

const char* const kCharacterSoundFiles[kCharacterSoundCount] = {
    "data\\se\\character\\food\\paku000.wav",
    "data\\se\\character\\food\\paku001.wav",
    "data\\se\\character\\food\\paku002.wav",
    "data\\se\\character\\shot\\shot000.wav",
    "data\\se\\character\\shot\\shot001.wav",
    "data\\se\\character\\damaged\\damaged000.wav",
    "data\\se\\character\\damaged\\meDamaged000.wav",
    "data\\se\\character\\damaged\\meDamaged001.wav",
    "data\\se\\character\\knock\\small_knock000.wav",
    "data\\se\\character\\knock\\small_knock001.wav",
    "data\\se\\character\\itemEffect\\get_life.wav",
    "data\\se\\character\\itemEffect\\get_bullet.wav",
    "data\\se\\character\\itemEffect\\come_foods.wav",
    "data\\se\\character\\itemEffect\\get_speed.wav",
    "data\\se\\character\\itemEffect\\lionshot.wav",
    "data\\se\\character\\itemEffect\\get_move.wav",
};

const char* const kSharedSoundFiles[kSharedSoundCount] = {
    "data\\se\\character\\die\\die000.wav",
    "data\\se\\character\\die\\die001.wav",
    "data\\se\\foodbox\\damaged\\small_knock002_l.wav",
    "data\\se\\foodbox\\damaged\\small_knock002_c.wav",
    "data\\se\\foodbox\\damaged\\small_knock002_r.wav",
    "data\\se\\foodbox\\break\\small_open000_l.wav",
    "data\\se\\foodbox\\break\\small_open000_c.wav",
    "data\\se\\foodbox\\break\\small_open000_r.wav",
    "data\\se\\item\\born000.wav",
};

namespace {

// Three playback buffers, so up to three plays of one sound overlap.
int32_t LoadSe(const char* path) { return LoadSoundFile(path, 3, -1); }

}  // namespace

int LoadGraphics() {
  int loaded = 0;
  for (const GraphFile& file : kGraphFiles) {
    if (file.total == 0) {
      *file.handles = LoadGraphFile(file.path, 0);
      loaded += *file.handles != -1;
      continue;
    }
    // A failed load writes no handles: the slots must already say -1.
    for (int i = 0; i < file.total; i++) file.handles[i] = -1;
    loaded += LoadDivGraphFile(file.path, file.total, file.across, file.down, file.cellWidth, file.cellHeight,
                               file.handles, 0) == 0;
  }
  return loaded;
}

void ReportMissingData() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error) / "data";
  std::fprintf(stderr,
               "Tamblor: no game data in %s; start the game from the folder that holds data/ "
               "(build/ after tools/run-game.sh)\n",
               folder.c_str());
}

void LoadSharedSounds() {
  SoundSet& set = g_soundSet;
  int32_t* const slots[kSharedSoundCount] = {&set.die[0],      &set.die[1],      &set.boxKnock[0],
                                             &set.boxKnock[1], &set.boxKnock[2], &set.boxBreak[0],
                                             &set.boxBreak[1], &set.boxBreak[2], &set.itemBorn};
  for (int i = 0; i < kSharedSoundCount; i++) *slots[i] = LoadSe(kSharedSoundFiles[i]);
}

void LoadCharacterSounds(CharacterSounds& sounds) {
  for (int i = 0; i < kCharacterSoundCount; i++) sounds.handles[i] = LoadSe(kCharacterSoundFiles[i]);
  sounds.loaded = 1;
}

void FreeCharacterSounds(CharacterSounds& sounds) {
  if (!sounds.loaded) return;
  for (int32_t handle : sounds.handles) DeleteSoundHandle(handle, 0);
}

void PlaySe(const SoundSet& set, int32_t handle) {
  if (*set.volume == 0) return;
  SetSoundVolume(*set.volume, handle);
  PlaySoundHandle(handle, 1, 1);
}

void PlaySeAt(WorldPoint source, WorldPoint listener, int32_t handle, const SoundSet& set) {
  const float dx = source.x - listener.x;
  const float dy = source.y - listener.y;
  const float side = dx / static_cast<float>(set.range);
  SetSoundPan(TruncateToInt(static_cast<double>(side) * 10000.0), handle);
  if (*set.volume == 0) return;
  const float distanceSquared = dx * dx + dy * dy;
  const float nearness = 1.0f - distanceSquared / static_cast<float>(set.rangeSquared);
  SetSoundVolume(TruncateToInt(nearness * static_cast<float>(*set.volume)), handle);
  PlaySoundHandle(handle, 1, 1);
}

void PlayBoxSe(const int32_t handles[3], WorldPoint box, WorldPoint listener, const SoundSet& set) {
  const float h = box.x - listener.x;
  if (!(std::fabs(h) <= 512.0f && std::fabs(box.y - listener.y) <= 384.0f)) return;
  if (h < -341.0f) PlaySe(set, handles[0]);
  else if (h > 341.0f) PlaySe(set, handles[2]);
  else PlaySe(set, handles[1]);
}

int FormatPath(char (&buffer)[kPathBytes], const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(buffer, kPathBytes, format, arguments);
  va_end(arguments);
  if (length < 0 || length >= kPathBytes) {
    buffer[0] = '\0';
    return -1;
  }
  return 0;
}
