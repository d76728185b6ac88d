// The game's pictures and sound effects: graphic handle tables loaded once
// at start-up, the shared sound set, each character's sixteen sounds, and
// the three ways a sound effect is played. A file that does not load leaves
// -1, which the library refuses to draw or play: the game runs without it.
#pragma once
#include <cstdint>

// ---- Graphic handle tables, named after their files ----------------------
extern int32_t chara_commonParts_circle[6];
extern int32_t chara_commonParts_bone[6];
extern int32_t chara_commonParts_eye[2];
extern int32_t chara_color_aura[32];
extern int32_t chara_color_bullet[32];
extern int32_t chara_color_flake00[32];
extern int32_t chara_color_flake01[32];
extern int32_t chara_color_flake02[32];
extern int32_t statusMark[5];
extern int32_t aggressionMark[6];
extern int32_t field_dust[3];
extern int32_t field_outline;
extern int32_t field_foodBox[4];
extern int32_t field_food[4];
extern int32_t item_base[4];
extern int32_t item_type[10];
extern int32_t item_effect_message[6];
extern int32_t chara_color_arrow[32];
extern int32_t light000;
extern int32_t num16_24[10];
extern int32_t num16_24r[10];
extern int32_t timerNum_mini[11];  // cell 10: the separator
extern int32_t timerNum_mid[11];
extern int32_t ui_mouse_cursor[2];
extern int32_t ui_toggle[3];
extern int32_t titleLogo_Tamblor[14];
extern int32_t titleLogo_light[4];
extern int32_t wideButton[2];
extern int32_t title_difficultyButtonName[4];

// Loads every table above, in order; the number of picture files that loaded.
int LoadGraphics();
// Says on the standard error that the data tree was not found in the working
// folder, and where the game must be started from; the game runs on.
void ReportMissingData();

// ---- Sound effects -------------------------------------------------------

// The shared sound effects. Volume, range and range squared serve every
// positioned sound, also those of the characters.
struct SoundSet {
  int32_t die[2];
  int32_t boxKnock[3];  // left, centre, right
  int32_t boxBreak[3];  // left, centre, right
  int32_t itemBorn;
  const int32_t* volume;  // the settings file's SEVOL
  int32_t range;
  int32_t rangeSquared;
};

extern SoundSet g_soundSet;

enum CharacterSoundSlot {
  kSoundEat = 0,          // 3 of them
  kSoundShot = 3,         // 2
  kSoundDamaged = 5,      // 1
  kSoundMeDamaged = 6,    // 2, heard when the player is hit
  kSoundKnock = 8,        // 2
  kSoundItemEffect = 10,  // 6, one per item kind
  kCharacterSoundCount = 16,
};

struct CharacterSounds {
  int32_t handles[kCharacterSoundCount];
  uint8_t loaded;
};

// The files, in load order: the shared set's fields in order, and the slots.
constexpr int kSharedSoundCount = 9;
extern const char* const kSharedSoundFiles[kSharedSoundCount];
extern const char* const kCharacterSoundFiles[kCharacterSoundCount];

void LoadSharedSounds();
void LoadCharacterSounds(CharacterSounds& sounds);
// Deletes the sixteen sounds when they were loaded; the flag stays set.
void FreeCharacterSounds(CharacterSounds& sounds);

// A point of the world, as the sound positions are read.
struct WorldPoint {
  float x, y;
};

// Plays at the set's volume (nothing when it is 0), neither panned nor faded.
void PlaySe(const SoundSet& set, int32_t handle);
// Panned by the source's side of the listener and faded with the square of
// the distance; the pan is set even when the volume is 0.
void PlaySeAt(WorldPoint source, WorldPoint listener, int32_t handle, const SoundSet& set);
// The left, centre or right variant by the screen third the box is in, when
// it is on screen around the listener.
void PlayBoxSe(const int32_t handles[3], WorldPoint box, WorldPoint listener, const SoundSet& set);

// ---- Paths ---------------------------------------------------------------

constexpr int kPathBytes = 256;
// Formats into the buffer; -1 (and an empty buffer) when the result would not
// fit in 255 characters, so a cut path is never opened.
int FormatPath(char (&buffer)[kPathBytes], const char* format, ...) __attribute__((format(printf, 2, 3)));
