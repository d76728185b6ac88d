// The game under test, frame by frame.
//
//   GameHarness game(HarnessOptions().Seed(7));  // GameInit on scripted devices, in a scratch folder
//   FrameInput in;                      // what the player does during one frame
//   in.keys = {kKeyD};                  // key codes held (input_record.h)
//   in.buttons = kMouseLeft;            // mouse buttons held
//   in.mouseX = 700; in.mouseY = 500;   // mouse position, screen pixels
//   in.wheel = 1;                       // notches turned during the frame
//   game.Frame(in);                     // one RunFrame; false once the game quits
//   game.Frames(600, in);               // up to 600 frames (stops when the game quits)
//   GameStateHash(); game.FrameHash();  // the game's records / the drawn frame
//
// The game starts as the program does (config.ini is read from the scratch
// folder, where HarnessOptions::configIni is written first), then
// GetRandomValue is seeded. The build's data tree is
// linked into the scratch folder when there is one; checks that need it skip
// unless HasGameData(). Sound plays on a manual output that never advances,
// and the present does not wait.
//
// ScriptedRandom replaces GetRandomValue while it lives: it returns the
// given values in order (0 once they run out) and keeps every maximum asked.
// RunInFreshProcess runs a scenario in a forked copy of the test program
// and returns the hashes it pushed, so that two runs start from the same
// game state.
#pragma once
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "game/ai.h"
#include "game/character.h"
#include "game/input_record.h"
#include "platform/input_device.h"
#include "platform/scripted_present.h"
#include "platform/scripted_window.h"
#include "tests/support/scratch_dir.h"

struct FrameInput {
  std::vector<int> keys;
  int buttons = 0;
  int mouseX = 512, mouseY = 384;
  int wheel = 0;
};

bool HasGameData();

// Scripted devices whose clock moves on at every look, so that each frame
// reads the keyboard afresh however many frames a loop runs unfed.
class TickingInputBackend : public ScriptedInputBackend {
 public:
  uint32_t Milliseconds() override { return ++now; }
};

struct HarnessOptions {
  uint32_t seed = 1;
  std::string_view configIni;  // bytes of a config.ini written first, if any
  bool start = true;  // false: the platform only, for tests that start the game themselves
  bool data = true;   // link the build's data tree in, when there is one

  HarnessOptions& Seed(uint32_t value) { return seed = value, *this; }
  HarnessOptions& Config(std::string_view bytes) { return configIni = bytes, *this; }
  HarnessOptions& NoStart() { return start = false, *this; }
  HarnessOptions& NoData() { return data = false, *this; }
};

class GameHarness {
 public:
  explicit GameHarness(const HarnessOptions& options = {});
  ~GameHarness();
  GameHarness(const GameHarness&) = delete;
  GameHarness& operator=(const GameHarness&) = delete;

  int initResult = -1;  // GameInit's
  // Sets the devices, mouse and wheel of one frame, without running it.
  void Feed(const FrameInput& input);
  bool Frame(const FrameInput& input = {});
  // Frames run before the game quit or the cap was reached.
  int Frames(int cap, const FrameInput& input = {});
  // A hash of the back screen's pixels.
  uint64_t FrameHash() const;
  uint32_t BackPixel(int x, int y) const;  // as the screen stores it: 0x00RRGGBB
  // The back screen all black, drawn without blending.
  void ClearBack() const;

  ScratchDir dir;
  ScriptedWindow window;
  ScriptedPresenter presenter;
  TickingInputBackend devices;
};

// Every game record that a frame can change.
uint64_t GameStateHash();

// A graphic of one opaque colour (0xRRGGBB).
int32_t MakeSolidGraph(int width, int height, uint32_t rgb);

// A level-1 creature of colour id - 1 at (x, y), heading right and standing
// still, appended to the round's list. Its set-up draws random numbers.
Character& AddCharacter(int32_t id, float x, float y, CharacterController controller = &AiThink);

class ScriptedRandom {
 public:
  explicit ScriptedRandom(std::vector<int> values);
  ~ScriptedRandom();
  std::vector<int> maxima;  // the argument of every call, in order

 private:
  std::vector<int> values_;
  size_t next_ = 0;
  static ScriptedRandom* active_;
  static int Draw(int max);
};

// Runs the scenario in a forked child; what it pushes comes back in order.
// Empty when the child failed.
std::vector<uint64_t> RunInFreshProcess(const std::function<void(std::vector<uint64_t>&)>& scenario);
