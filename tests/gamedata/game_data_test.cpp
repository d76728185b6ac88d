// The data tree the build makes for the game: every file loads through the
// library as the game loads it, pictures are cut and lit as the game draws
// them, sounds are short, levelled and faded, and the music loops cleanly.
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/varnok.h"
#include "game/bgm.h"
#include "game/resources.h"
#include "tests/support/read_file.h"
#include "tests/support/scripted_screen.h"

namespace {

const std::string kGameDir = VARNOK_GAME_DIR;

// The game's own spelling, turned into a path from here.
std::string GamePath(const std::string& spelling) { return kGameDir + "/" + spelling; }

enum Blend { kAlpha, kAdd, kNone };

struct Sheet {
  const char* path;
  int total, across, down, width, height;  // width 0: a single picture of any size
  Blend blend;
};

// The game's resource table, with how its draws blend each picture.
const Sheet kSheets[] = {
    {"data\\graphic\\character\\chara_commonParts_circle.png", 6, 6, 1, 80, 80, kAlpha},
    {"data\\graphic\\character\\chara_commonParts_bone.png", 6, 6, 1, 80, 80, kAlpha},
    {"data\\graphic\\character\\chara_commonParts_eye.png", 2, 2, 1, 48, 48, kAlpha},
    {"data\\graphic\\character\\chara_color_aura.png", 32, 8, 4, 128, 128, kAdd},
    {"data\\graphic\\character\\chara_color_bullet.png", 32, 8, 4, 48, 48, kAdd},
    {"data\\graphic\\character\\chara_color_flake00.png", 32, 8, 4, 16, 16, kAdd},
    {"data\\graphic\\character\\chara_color_flake01.png", 32, 8, 4, 16, 16, kAdd},
    {"data\\graphic\\character\\chara_color_flake02.png", 32, 8, 4, 16, 16, kAdd},
    {"data\\graphic\\caption\\status\\statusMark.png", 5, 5, 1, 24, 24, kAlpha},
    {"data\\graphic\\caption\\status\\aggressionMark.png", 6, 6, 1, 64, 64, kAlpha},
    {"data\\graphic\\field\\field_dust.png", 3, 3, 1, 16, 16, kAdd},
    {"data\\graphic\\field\\field_outline.png", 1, 1, 1, 0, 0, kNone},
    {"data\\graphic\\field\\field_foodBox.png", 4, 4, 1, 96, 96, kAdd},
    {"data\\graphic\\field\\field_food.png", 4, 4, 1, 64, 64, kAdd},
    {"data\\graphic\\item\\item_base.png", 4, 4, 1, 48, 48, kAlpha},
    {"data\\graphic\\item\\item_type.png", 10, 10, 1, 32, 32, kAlpha},
    {"data\\graphic\\item\\item_effect_message.png", 6, 6, 1, 160, 160, kAdd},
    {"data\\graphic\\effect\\marks\\chara_color_arrow.png", 32, 8, 4, 32, 32, kAdd},
    {"data\\graphic\\effect\\light000.png", 1, 1, 1, 0, 0, kAdd},
    {"data\\graphic\\caption\\num\\num16_24.png", 10, 10, 1, 16, 24, kAlpha},
    {"data\\graphic\\caption\\num\\num16_24r.png", 10, 10, 1, 16, 24, kAlpha},
    {"data\\graphic\\caption\\timer\\timerNum_mini.png", 11, 11, 1, 24, 32, kAdd},
    {"data\\graphic\\caption\\timer\\timerNum_mid.png", 11, 11, 1, 32, 48, kAdd},
    {"data\\graphic\\UI\\mouse\\ui_mouse_cursor.png", 2, 2, 1, 48, 48, kAlpha},
    {"data\\graphic\\UI\\switch\\ui_toggle.png", 3, 3, 1, 32, 32, kAlpha},
    {"data\\graphic\\title\\titleLogo_Tamblor.png", 14, 7, 2, 128, 128, kAdd},
    {"data\\graphic\\title\\titleLogo_light.png", 4, 4, 1, 256, 256, kAdd},
    {"data\\graphic\\title\\wideButton.png", 2, 1, 2, 256, 48, kAlpha},
    {"data\\graphic\\title\\title_difficultyButtonName.png", 4, 1, 4, 256, 48, kAlpha},
};

struct Rgba {
  int r, g, b, a;
};

// A picture decoded by the library's own loader.
struct Picture {
  int width = 0, height = 0;
  std::vector<Rgba> pixels;
  const Rgba& At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Picture Decode(const std::string& path) {
  GraphImage image{};
  Picture p;
  if (LoadGraphImageFromFile(path.c_str(), &image) != 0) return p;
  p.width = image.width;
  p.height = image.height;
  const ColorFormat& f = image.format;
  for (int y = 0; y < image.height; y++) {
    for (int x = 0; x < image.width; x++) {
      uint32_t v;
      std::memcpy(&v, static_cast<uint8_t*>(image.pixels) + static_cast<size_t>(y) * image.pitch + x * 4, 4);
      p.pixels.push_back({static_cast<int>((v & f.redMask) >> f.redShift), static_cast<int>((v & f.greenMask) >> f.greenShift),
                          static_cast<int>((v & f.blueMask) >> f.blueShift),
                          f.alphaMask ? static_cast<int>((v & f.alphaMask) >> f.alphaShift) : 255});
    }
  }
  ReleaseGraphImage(&image);
  return p;
}

// The cell's rectangle in its sheet, row by row.
struct Cell {
  int x, y;
};
Cell CellAt(const Sheet& s, int index) { return {index % s.across * s.width, index / s.across * s.height}; }

class GameDataTest : public ScriptedScreenTest {
 protected:
  void SetUp() override { StartScreen(64, 64, 32); }
  void TearDown() override { StopScreen(); }
};

TEST_F(GameDataTest, EveryPictureLoadsWithTheGamesCells) {
  for (const Sheet& s : kSheets) {
    SCOPED_TRACE(s.path);
    if (s.width == 0) {
      const int handle = LoadGraphFile(GamePath(s.path).c_str(), 0);
      EXPECT_GE(handle, 0);
      continue;
    }
    std::vector<int32_t> handles(s.total, -1);
    ASSERT_EQ(LoadDivGraphFile(GamePath(s.path).c_str(), s.total, s.across, s.down, s.width, s.height, handles.data(), 0), 0);
    for (int32_t h : handles) {
      int w = 0, ht = 0;
      ASSERT_EQ(QueryGraphSize(h, &w, &ht), 0);
      EXPECT_EQ(w, s.width);
      EXPECT_EQ(ht, s.height);
    }
    // Exactly the cells: nothing left over that a cut would drop.
    const Picture p = Decode(GamePath(s.path));
    EXPECT_EQ(p.width, s.across * s.width);
    EXPECT_EQ(p.height, s.down * s.height);
  }
}

// The game's own loaders, from the game's working folder: every table slot,
// sound and track it asks for is there.
TEST_F(GameDataTest, TheGamesOwnLoadersFindEveryFile) {
  std::filesystem::create_directory_symlink(kGameDir + "/data", dir.path() / "data");
  LoadGraphics();
  const std::span<const int32_t> tables[] = {
      chara_commonParts_circle, chara_commonParts_bone, chara_commonParts_eye, chara_color_aura, chara_color_bullet,
      chara_color_flake00, chara_color_flake01, chara_color_flake02, statusMark, aggressionMark, field_dust,
      {&field_outline, 1}, field_foodBox, field_food, item_base, item_type, item_effect_message, chara_color_arrow,
      {&light000, 1}, num16_24, num16_24r, timerNum_mini, timerNum_mid, ui_mouse_cursor, ui_toggle,
      titleLogo_Tamblor, titleLogo_light, wideButton, title_difficultyButtonName};
  for (size_t t = 0; t < std::size(tables); t++) {
    for (int32_t handle : tables[t]) EXPECT_GE(handle, 0) << "table " << t;
  }
  LoadSharedSounds();
  for (int32_t handle : {g_soundSet.die[0], g_soundSet.die[1], g_soundSet.boxKnock[0], g_soundSet.boxKnock[1],
                         g_soundSet.boxKnock[2], g_soundSet.boxBreak[0], g_soundSet.boxBreak[1], g_soundSet.boxBreak[2],
                         g_soundSet.itemBorn}) {
    EXPECT_GE(handle, 0);
  }
  CharacterSounds sounds{};
  LoadCharacterSounds(sounds);
  for (int32_t handle : sounds.handles) EXPECT_GE(handle, 0);
  FreeCharacterSounds(sounds);
  for (const char* key : {"#MAINGAME_EASY", "#MAINGAME_NORMAL", "#MAINGAME_HARD", "#MAINGAME_CARNIVAL"}) {
    BgmState bgm{};
    StartBgm(bgm, key);
    EXPECT_EQ(bgm.playing, 1) << key;
    EXPECT_GT(bgm.loopPosition, 0) << key;
    if (bgm.playing) DeleteSoundHandle(bgm.soundHandle);
  }
}

TEST_F(GameDataTest, MotifsKeepOffTheirCellBordersAndLightFadesToBlack) {
  for (const Sheet& s : kSheets) {
    SCOPED_TRACE(s.path);
    const Picture p = Decode(GamePath(s.path));
    ASSERT_GT(p.width, 0);
    if (s.blend == kNone) {
      // Drawn unblended: every pixel is either there or not.
      for (const Rgba& px : p.pixels) ASSERT_TRUE(px.a == 0 || px.a == 255) << px.a;
      continue;
    }
    // An add that ignores alpha must not show more than one that weighs it.
    if (s.blend == kAdd) {
      for (const Rgba& px : p.pixels) ASSERT_LE(std::max({px.r, px.g, px.b}), px.a);
    }
    const int cells = s.width ? s.total : 1;
    const int w = s.width ? s.width : p.width, h = s.width ? s.height : p.height;
    int inked = 0;
    for (int c = 0; c < cells; c++) {
      const Cell at = s.width ? CellAt(s, c) : Cell{0, 0};
      for (int i = 0; i < w; i++) {
        ASSERT_EQ(p.At(at.x + i, at.y).a, 0) << "cell " << c;
        ASSERT_EQ(p.At(at.x + i, at.y + h - 1).a, 0) << "cell " << c;
      }
      for (int j = 0; j < h; j++) {
        ASSERT_EQ(p.At(at.x, at.y + j).a, 0) << "cell " << c;
        ASSERT_EQ(p.At(at.x + w - 1, at.y + j).a, 0) << "cell " << c;
      }
      bool any = false;
      for (int j = 0; j < h && !any; j++) {
        for (int i = 0; i < w && !any; i++) any = p.At(at.x + i, at.y + j).a > 0;
      }
      inked += any;
    }
    EXPECT_EQ(inked, cells) << "every cell shows something";
  }
}

TEST_F(GameDataTest, TitleLightFallsSmoothlyToNothingBeforeItsEdge) {
  const Picture p = Decode(GamePath("data\\graphic\\title\\titleLogo_light.png"));
  ASSERT_EQ(p.width, 1024);
  // Cell 0 is drawn eight to nine times enlarged: anything left at its rim
  // would show as a square.
  for (int y = 0; y < 256; y++) {
    for (int x = 0; x < 256; x++) {
      const double r = std::hypot(x + 0.5 - 128, y + 0.5 - 128);
      const Rgba& px = p.At(x, y);
      if (r >= 127.0) {
        ASSERT_EQ(px.r + px.g + px.b + px.a, 0) << x << "," << y;
      }
    }
  }
  // From the centre outward the light only dims.
  EXPECT_GT(p.At(128, 128).a, 64);
  for (int x = 129; x < 255; x++) EXPECT_LE(p.At(x, 128).a, p.At(x - 1, 128).a) << x;
}

TEST_F(GameDataTest, TimerDigitsStayInTheMiddleSixteenColumns) {
  const Sheet& s = kSheets[21];
  ASSERT_STREQ(s.path, "data\\graphic\\caption\\timer\\timerNum_mini.png");
  const Picture p = Decode(GamePath(s.path));
  std::vector<std::vector<int>> cells;
  for (int c = 0; c < 11; c++) {
    std::vector<int> alphas;
    for (int y = 0; y < 32; y++) {
      for (int x = 0; x < 24; x++) {
        const int a = p.At(c * 24 + x, y).a;
        if (x < 4 || x >= 20) {
          ASSERT_EQ(a, 0) << "cell " << c << " x " << x;
        }
        alphas.push_back(a);
      }
    }
    cells.push_back(alphas);
  }
  // Ten different digits and a separator.
  for (int c = 0; c < 11; c++) {
    for (int d = c + 1; d < 11; d++) EXPECT_NE(cells[c], cells[d]) << c << " and " << d;
  }
}

// Oklab from 8-bit sRGB: distances there follow how far apart colours look.
std::array<double, 3> Oklab(double r, double g, double b) {
  auto lin = [](double v) { v /= 255.0; return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  r = lin(r), g = lin(g), b = lin(b);
  const double l = std::cbrt(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b);
  const double m = std::cbrt(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b);
  const double s = std::cbrt(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b);
  return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s, 1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
          0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s};
}

TEST_F(GameDataTest, ThirtyTwoCreatureColoursStandApartThePlayersMost) {
  const Picture p = Decode(GamePath(kSheets[3].path));
  ASSERT_EQ(p.width, 1024);
  // Each aura's hue: the colour of its brightest pixels, scaled to full.
  std::vector<std::array<double, 3>> colours;
  for (int c = 0; c < 32; c++) {
    const Cell at = CellAt(kSheets[3], c);
    Rgba best{0, 0, 0, 0};
    for (int y = 0; y < 128; y++) {
      for (int x = 0; x < 128; x++) {
        const Rgba& px = p.At(at.x + x, at.y + y);
        if (px.a > best.a) best = px;
      }
    }
    ASSERT_GT(best.a, 0);
    colours.push_back(Oklab(best.r * 255.0 / best.a, best.g * 255.0 / best.a, best.b * 255.0 / best.a));
  }
  auto distance = [&](int i, int j) {
    return std::hypot(colours[i][0] - colours[j][0], colours[i][1] - colours[j][1], colours[i][2] - colours[j][2]);
  };
  double others = 1e9, player = 1e9;
  for (int i = 1; i < 32; i++) {
    player = std::min(player, distance(0, i));
    for (int j = i + 1; j < 32; j++) others = std::min(others, distance(i, j));
  }
  EXPECT_GT(others, 0.04) << "two creatures look alike";
  EXPECT_GT(player, others) << "the player's colour is not the most distinctive";
}

TEST_F(GameDataTest, BodyDiscsGrowWithTheCreaturesRadius) {
  const Picture p = Decode(GamePath(kSheets[0].path));
  ASSERT_EQ(p.width, 480);
  // Radii 16 px and 5 more a level; the top level's 41 is held inside its
  // 80 px cell.
  const int expected[6] = {16, 21, 26, 31, 36, 39};
  for (int level = 0; level < 6; level++) {
    int reach = 0;
    while (40 + reach < 80 && p.At(level * 80 + 40 + reach, 40).a > 0) reach++;
    EXPECT_NEAR(reach, expected[level], 1) << "level " << level + 1;
  }
}

// Turned sprites are drawn with the creature's heading or the bullet's
// flight as their angle, which points along +x: the bone and the bullet
// carry their weight in front, the arrow's point reaches farther right than
// its barbs reach left.
TEST_F(GameDataTest, TurnedSpritesFaceRight) {
  for (int index : {1, 4, 17}) {  // bone, bullet, arrow
    const Sheet& s = kSheets[index];
    SCOPED_TRACE(s.path);
    const Picture p = Decode(GamePath(s.path));
    for (int c = 0; c < s.total; c++) {
      const Cell at = CellAt(s, c);
      double weight = 0.0, moment = 0.0, left = 0.0, right = 0.0;
      for (int y = 0; y < s.height; y++) {
        for (int x = 0; x < s.width; x++) {
          const Rgba& px = p.At(at.x + x, at.y + y);
          const double w = px.a * (px.r + px.g + px.b + 1.0), dx = x + 0.5 - s.width / 2.0;
          weight += w;
          moment += w * dx;
          if (px.a > 128) left = std::min(left, dx), right = std::max(right, dx);
        }
      }
      ASSERT_GT(weight, 0.0);
      if (index == 17) {
        EXPECT_GT(right, -left + 2.0) << "cell " << c;
      } else {
        EXPECT_GT(moment / weight, 0.5) << "cell " << c;
      }
    }
  }
}

TEST_F(GameDataTest, ItemCaptionsRingAClearMiddleAndTitleLettersLightUp) {
  // A caption turns around the creature that took the item, which shows
  // through the middle (a top-level body reaches 41 px).
  const Sheet& captions = kSheets[16];
  const Picture p = Decode(GamePath(captions.path));
  for (int c = 0; c < captions.total; c++) {
    for (int y = 0; y < 160; y++) {
      for (int x = 0; x < 160; x++) {
        if (std::hypot(x + 0.5 - 80, y + 0.5 - 80) < 42.0) {
          ASSERT_EQ(p.At(c * 160 + x, y).a, 0) << "caption " << c << " at " << x << "," << y;
        }
      }
    }
  }
  // Cells 7..13 are cells 0..6 lit up: brighter, over the same letter.
  const Picture title = Decode(GamePath(kSheets[25].path));
  for (int letter = 0; letter < 7; letter++) {
    double plain = 0.0, lit = 0.0;
    int covered = 0, inked = 0;
    for (int y = 0; y < 128; y++) {
      for (int x = 0; x < 128; x++) {
        const Rgba& a = title.At(letter * 128 + x, y);
        const Rgba& b = title.At(letter * 128 + x, 128 + y);
        plain += a.r + a.g + a.b;
        lit += b.r + b.g + b.b;
        if (a.a > 128) inked++, covered += b.a > 128;
      }
    }
    EXPECT_GT(lit, plain * 1.2) << "letter " << letter;
    EXPECT_EQ(covered, inked) << "letter " << letter;
  }
}

// ---- Sounds ----

struct Wav {
  int channels = 0, rate = 0, bits = 0, format = 0;
  std::vector<int16_t> samples;
};

Wav ReadWav(const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  Wav w;
  auto u32 = [&](size_t at) { uint32_t v; std::memcpy(&v, bytes.data() + at, 4); return v; };
  auto u16 = [&](size_t at) { uint16_t v; std::memcpy(&v, bytes.data() + at, 2); return v; };
  if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) return w;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    const uint32_t size = u32(at + 4);
    if (bytes.compare(at, 4, "fmt ") == 0) {
      w.format = u16(at + 8), w.channels = u16(at + 10), w.rate = static_cast<int>(u32(at + 12)), w.bits = u16(at + 22);
    } else if (bytes.compare(at, 4, "data") == 0 && at + 8 + size <= bytes.size()) {
      w.samples.resize(size / 2);
      std::memcpy(w.samples.data(), bytes.data() + at + 8, size / 2 * 2);
    }
    at += 8 + size + (size & 1);
  }
  return w;
}

// Files written with '/' in place of the game's '\'.
std::string OnDisk(std::string spelling) {
  std::replace(spelling.begin(), spelling.end(), '\\', '/');
  return kGameDir + "/" + spelling;
}

TEST_F(GameDataTest, SoundEffectsAreShortLevelledAndStartAndEndSilent) {
  std::vector<const char*> sounds(std::begin(kSharedSoundFiles), std::end(kSharedSoundFiles));
  sounds.insert(sounds.end(), std::begin(kCharacterSoundFiles), std::end(kCharacterSoundFiles));
  for (const char* path : sounds) {
    SCOPED_TRACE(path);
    const int handle = LoadSoundFile(GamePath(path).c_str(), 3, -1);
    ASSERT_GE(handle, 0);
    const int ms = GetSoundTotalTime(handle);
    EXPECT_GE(ms, 50);
    EXPECT_LE(ms, 600);
    const Wav w = ReadWav(OnDisk(path));
    EXPECT_EQ(w.format, 1);
    EXPECT_EQ(w.bits, 16);
    EXPECT_TRUE(w.rate == 44100 || w.rate == 22050) << w.rate;
    EXPECT_EQ(w.channels, std::string(path).find("foodbox") != std::string::npos ? 2 : 1);
    ASSERT_FALSE(w.samples.empty());
    int peak = 0;
    for (int16_t s : w.samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    const double dbfs = 20.0 * std::log10(peak / 32768.0);
    EXPECT_NEAR(dbfs, -7.0, 0.5);
    // No click where a play starts or stops: the ends lie below -40 dBFS.
    for (int c = 0; c < w.channels; c++) {
      EXPECT_LT(std::abs(w.samples[c]), 328);
      EXPECT_LT(std::abs(w.samples[w.samples.size() - w.channels + c]), 328);
    }
    DeleteSoundHandle(handle);
  }
}

TEST_F(GameDataTest, BoxSoundTriplesLeanLeftSitCentredAndLeanRight) {
  for (const char* stem : {"data\\se\\foodbox\\damaged\\small_knock002", "data\\se\\foodbox\\break\\small_open000"}) {
    double energy[3][2] = {};
    const char* suffixes[3] = {"_l.wav", "_c.wav", "_r.wav"};
    for (int v = 0; v < 3; v++) {
      const Wav w = ReadWav(OnDisk(std::string(stem) + suffixes[v]));
      ASSERT_EQ(w.channels, 2);
      for (size_t i = 0; i < w.samples.size(); i++) energy[v][i % 2] += static_cast<double>(w.samples[i]) * w.samples[i];
    }
    SCOPED_TRACE(stem);
    // At least 6 dB toward the side; the centre within 0.1 dB.
    EXPECT_GT(energy[0][0], 4.0 * energy[0][1]);
    EXPECT_NEAR(10.0 * std::log10(energy[1][0] / energy[1][1]), 0.0, 0.1);
    EXPECT_GT(energy[2][1], 4.0 * energy[2][0]);
  }
}

// ---- Music ----

std::vector<float> DecodeOgg(const std::string& path, int* rate) {
  OggVorbis_File file;
  std::vector<float> out;
  if (ov_fopen(path.c_str(), &file) != 0) return out;
  *rate = static_cast<int>(ov_info(&file, -1)->rate);
  for (;;) {
    float** pcm;
    int section;
    const long n = ov_read_float(&file, &pcm, 1024, &section);
    if (n <= 0) break;
    for (long i = 0; i < n; i++) out.push_back(pcm[0][i]), out.push_back(pcm[1][i]);
  }
  ov_clear(&file);
  return out;
}

TEST_F(GameDataTest, EveryDifficultyHasATrackThatLoopsCleanly) {
  const std::string list = ReadWholeFile(OnDisk("data\\bgm\\list.txt"));
  std::vector<std::string> lines;
  size_t from = 0;
  for (size_t at; (at = list.find("\r\n", from)) != std::string::npos; from = at + 2) lines.push_back(list.substr(from, at - from));
  EXPECT_EQ(from, list.size()) << "every line ends in CR LF";
  for (const std::string& line : lines) EXPECT_EQ(line.find('\n'), std::string::npos);
  const char* keys[4] = {"#MAINGAME_EASY", "#MAINGAME_NORMAL", "#MAINGAME_HARD", "#MAINGAME_CARNIVAL"};
  ASSERT_EQ(lines.size(), 12u);
  for (int d = 0; d < 4; d++) {
    SCOPED_TRACE(keys[d]);
    EXPECT_EQ(lines[3 * d], keys[d]);
    const std::string file = "data\\bgm\\" + lines[3 * d + 1];
    ASSERT_EQ(lines[3 * d + 2].rfind("LOOP=", 0), 0u);
    const int loopMs = std::atoi(lines[3 * d + 2].c_str() + 5);
    const int handle = LoadSoundFile(GamePath(file).c_str(), 3, -1);
    ASSERT_GE(handle, 0);
    const int totalMs = GetSoundTotalTime(handle);
    EXPECT_GE(totalMs, 30000);
    EXPECT_LE(totalMs, 90000);
    EXPECT_GT(loopMs, 0);
    EXPECT_LT(loopMs, totalMs);
    EXPECT_EQ(SetSoundLoopPositionMs(loopMs, handle), 0);
    DeleteSoundHandle(handle);

    // The sample after the last is the loop point's: the jump there is no
    // larger than the steps the music takes on either side of it.
    int rate = 0;
    const std::vector<float> pcm = DecodeOgg(OnDisk(file), &rate);
    ASSERT_EQ(rate, 44100);
    const size_t frames = pcm.size() / 2, loop = static_cast<size_t>(loopMs) * 441 / 10;
    ASSERT_GT(frames, loop + 512);
    for (int c = 0; c < 2; c++) {
      float steepest = 0.0f;
      for (size_t i = 1; i < 256; i++) {
        steepest = std::max(steepest, std::fabs(pcm[2 * (frames - i) + c] - pcm[2 * (frames - i - 1) + c]));
        steepest = std::max(steepest, std::fabs(pcm[2 * (loop + i) + c] - pcm[2 * (loop + i - 1) + c]));
      }
      EXPECT_LE(std::fabs(pcm[2 * loop + c] - pcm[2 * (frames - 1) + c]), steepest * 1.5f + 0.002f) << "channel " << c;
    }
  }
}

TEST(GameDataGenerator, FailsLoudlyAndLeavesNoTreeWhenItCannotWrite) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "varnok_datagen_fail";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  // A plain file where the generator's folder should be.
  const std::filesystem::path blocked = dir / "blocked";
  { std::ofstream(blocked) << "x"; }
  const std::string command = std::string("\"") + VARNOK_DATAGEN + "\" \"" + (blocked / "out").string() + "\" 2>/dev/null";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  EXPECT_FALSE(std::filesystem::exists(blocked / "out" / "data"));
  std::filesystem::remove_all(dir);
}

}  // namespace
