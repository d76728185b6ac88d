#include "tests/game/game_harness.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <type_traits>

#include "core/helpers.h"
#include "core/window.h"
#include "game/ai.h"
#include "game/bgm.h"
#include "game/bullets.h"
#include "game/camera.h"
#include "game/character.h"
#include "game/clocks.h"
#include "game/damage.h"
#include "game/effects.h"
#include "game/food.h"
#include "game/frame_loop.h"
#include "game/title_menu.h"
#include "graphics/screen.h"
#include "input/input_system.h"
#include "platform/audio_device.h"
#include "platform/present.h"
#include "softrender/memimg.h"

namespace {

std::filesystem::path GameDataDir() { return std::filesystem::path(TAMBLOR_BUILD_DIR) / "data"; }

constexpr uint8_t kDown = 0x80;
constexpr int kVirtualButtons[3] = {0x01, 0x02, 0x04};  // left, right, middle

struct Hasher {
  uint64_t value = 1469598103934665603ull;
  void Bytes(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; i++) value = (value ^ p[i]) * 1099511628211ull;
  }
  // Eight bytes a step, for whole frames.
  void Words(const uint8_t* p, size_t size) {
    for (; size >= 8; p += 8, size -= 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      value = (value ^ word) * 1099511628211ull;
    }
    Bytes(p, size);
  }
  template <typename... T>
  void Add(const T&... fields) {
    (AddOne(fields), ...);
  }
  template <typename T>
  void AddOne(const T& field) {
    if constexpr (std::is_array_v<T>) {
      for (const auto& element : field) AddOne(element);
    } else if constexpr (std::is_pointer_v<T>) {
      AddOne(field != nullptr);  // addresses differ from run to run
    } else {
      static_assert(std::is_arithmetic_v<T> || std::is_enum_v<T>);
      Bytes(&field, sizeof(field));
    }
  }
  void AddOne(const PositionRecord& p) { Add(p.x, p.y, p.z, p.heading, p.fifth); }
  void AddOne(const Item& item) { Add(item.position, item.kind, item.age, item.spin, item.finished); }
  void AddOne(const ClockRecord& c) { Add(c.minutes, c.seconds, c.fraction, c.valid); }
  void AddOne(const MenuButton& b) { Add(b.centred, b.x, b.y, b.w, b.h, b.pressedHere, b.inside, b.state); }
  template <typename T>
  void AddOne(const std::list<T>& list) {
    AddOne(list.size());
    for (const T& element : list) AddOne(element);
  }
  void AddOne(const ItemMessage& m) { Add(m.ownerPosition, m.angle, m.spin, m.graphic, m.alpha, m.finished); }
  void AddOne(const Effect& e) {
    Add(e.x, e.y, e.z, e.angle, e.spare, e.scale, e.targetX, e.targetY, e.factor, e.moveAngle, e.step,
        e.fadeStep, e.graphic, e.alpha, e.finished);
  }
  void AddOne(const Bullet& b) { Add(b.ownerId, b.colour, b.x, b.y, b.z, b.angle, b.seventh, b.finished); }
  void AddOne(const FoodBox& b) { Add(b.x, b.y, b.height, b.unused, b.hitPoints, b.lastShooterId, b.broken); }
  void AddOne(const Food& f) { Add(f.x, f.y, f.z, f.angle, f.speed, f.age, f.ownerId, f.finished); }
  void AddOne(const DeadBody& d) {
    Add(d.level, d.position, d.scale, d.stopped);
    for (const DeadBodyPart& p : d.parts) Add(p.offsetX, p.offsetY, p.unused, p.angle, p.speed);
  }
  void AddOne(const Character& c) {
    Add(c.life, c.maxLife, c.ammunition, c.maxAmmunition, c.level, c.food, c.foodNeeded, c.radius, c.position,
        c.scale, c.knockX, c.knockY, c.wantedHeading, c.speed, c.dead, c.id, c.aggression, c.relation,
        c.relationSum, c.controller, c.messages.messages, c.lifeCounter, c.lifeInterval, c.ammunitionCounter,
        c.ammunitionInterval, c.digestionCounter, c.digestionInterval, c.itemEffects, c.shotFlag,
        c.shotCooldownCounter, c.shotCooldown, c.shotAngle, c.colour, c.eyeAngle, c.eyeLookHeading,
        c.eyeLookDistance, c.hover, c.statusAlpha, c.thinkTimer, c.thinkInterval, c.moveGoal, c.aimGoal,
        c.moving, c.aiming, c.aiState, c.lastAttackerId, c.revengeTargetId, c.revengeTimer, c.hit,
        c.boxContact, c.p1, c.p2, c.p3, c.p4, c.sightRange, c.halfSightRange, c.sounds.loaded);
    // Which controller, not where it lives.
    Add(c.controller == &AiThink);
  }
};

}  // namespace

bool HasGameData() { return std::filesystem::is_directory(GameDataDir()); }

GameHarness::GameHarness(const HarnessOptions& options) {
  if (options.data && HasGameData()) std::filesystem::create_directory_symlink(GameDataDir(), dir.path() / "data");
  if (!options.configIni.empty()) dir.Write("config.ini", options.configIni);
  SetPlatformWindow(&window);
  SetPlatformPresenter(&presenter);
  SetInputBackend(&devices);
  SetPresentPacingForTest(0);
  AudioSelectOutput(AudioOutputKind::Manual);
  if (!options.start) return;
  initResult = GameInit();
  SeedRandom(options.seed);
}

GameHarness::~GameHarness() {
  LibraryEnd();
  AudioSelectOutput(AudioOutputKind::Sdl);
  SetPresentPacingForTest(1);
  SetInputBackend(nullptr);
  SetPlatformPresenter(nullptr);
  SetPlatformWindow(nullptr);
}

void GameHarness::Feed(const FrameInput& input) {
  std::memset(devices.virtualKeys, 0, sizeof(devices.virtualKeys));
  std::memset(devices.keyboard.keys, 0, sizeof(devices.keyboard.keys));
  for (int code : input.keys) {
    devices.keyboard.keys[code] = kDown;
    for (const VirtualKeyToKeyCode& row : kVirtualKeyToKeyCodeTable)
      if (row.keyCode == code) devices.virtualKeys[row.virtualKey] = kDown;
  }
  for (int i = 0; i < 3; i++) {
    const uint8_t state = (input.buttons & (1 << i)) ? kDown : 0;
    devices.mouse.mouse.buttons[i] = state;
    devices.virtualKeys[kVirtualButtons[i]] = state;
  }
  window.mouseX = input.mouseX;
  window.mouseY = input.mouseY;
  if (input.wheel != 0) {
    // Straight to the window procedure, so that this frame's input counts it.
    WindowMessage wheel;
    wheel.message = WM_MOUSEWHEEL;
    wheel.wParam = static_cast<uint64_t>(static_cast<uint16_t>(static_cast<int16_t>(input.wheel * kWheelDelta)))
                   << 16;
    MainWindowProc(wheel);
  }
}

bool GameHarness::Frame(const FrameInput& input) {
  Feed(input);
  return RunFrame();
}

int GameHarness::Frames(int cap, const FrameInput& input) {
  int frames = 0;
  while (frames < cap) {
    frames++;
    if (!Frame(input)) break;
  }
  return frames;
}

uint64_t GameHarness::FrameHash() const {
  const MEMIMG* back = GetBackScreenImage();
  Hasher hasher;
  for (int y = 0; y < back->height; y++)
    hasher.Words(back->pixels + static_cast<int64_t>(y) * back->base->pitch, static_cast<size_t>(back->width) * 4);
  return hasher.value;
}

uint32_t GameHarness::BackPixel(int x, int y) const {
  const MEMIMG* back = GetBackScreenImage();
  uint32_t pixel;
  std::memcpy(&pixel, back->pixels + static_cast<int64_t>(y) * back->base->pitch + x * 4, 4);
  return pixel & 0x00FFFFFF;
}

void GameHarness::ClearBack() const {
  SetBlendMode(0, 255);
  DrawRectangle(0, 0, 1024, 768, 0, 1);
}

int32_t MakeSolidGraph(int width, int height, uint32_t rgb) {
  const int32_t graph = MakeEmptyGraph(width, height);
  FillGraphWithColor(graph, rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF, 255);
  return graph;
}

uint64_t GameStateHash() {
  Hasher h;
  const GameState& s = g_gameState;
  const GameSettings& g = s.settings;
  h.Add(s.config.SEVOL, s.config.BGMVOL, s.config.FULLSCREEN_MODE, s.config.DRAW_TIMESCORE_MAINGAME);
  h.Add(g.difficulty, g.recordsOff, g.watchMode, g.characterCount, g.boxInterval, g.boxLimit, g.itemInterval,
        g.itemLimit, g.lifeInterval, g.contactAggression, g.targetOption, g.fieldMode, g.itemDisabled,
        g.itemWeights);
  h.Add(s.watchPoint.position, s.watchPoint.followed);
  h.Add(s.roundResult.ended, s.roundResult.result, s.roundResult.framesSinceEnd, s.roundResult.position, s.scene);
  h.Add(CurrentBlendMode, CursorIndex, g_bgm.playing, g_bgm.loopPosition);
  const InputState& in = g_input;
  h.Add(in.left, in.right, in.middle, in.wheel, in.keys, in.mouseX, in.mouseY, in.escape, in.moving, in.moveAngle);
  for (const TitleLetter& t : g_titleLetters)
    h.Add(t.x, t.y, t.homeX, t.homeY, t.driftAngle, t.driftSpeed, t.state, t.timer, t.glow);
  h.Add(g_difficultyButtons, g_watchToggle.button, g_watchToggle.on, g_watchToggle.disabled);
  h.Add(g_camera.viewX, g_camera.viewY, g_camera.targetX, g_camera.targetY, g_camera.followed, PickedCharacter);
  h.Add(RoundClock, RunClock);
  for (const auto& byDifficulty : g_bestTimes)
    for (const BestTimeTable& table : byDifficulty) h.Add(table.entries);
  h.Add(g_fieldPhase);
  for (const FieldDust& d : g_foodField.dust) h.Add(d.x, d.y, d.z, d.graphic);
  h.Add(g_foodField.boxes, g_foodField.foods, g_foodField.items);
  h.Add(g_spawner.boxTimer, g_spawner.boxInterval, g_spawner.itemTimer, g_spawner.itemInterval,
        g_spawner.highestLevel);
  h.Add(g_characters, g_bullets, g_deadBodies, g_effects);
  return h.value;
}

Character& AddCharacter(int32_t id, float x, float y, CharacterController controller) {
  Character c;
  ConstructCharacter(c);
  SetupCharacter(c, id);
  c.position = {x, y, 0.0f, 0.0f, 0.0f};
  c.colour = id - 1;
  c.controller = controller;
  Character& listed = g_characters.emplace_back(std::move(c));
  listed.messages.owner = &listed.position;
  return listed;
}

ScriptedRandom* ScriptedRandom::active_ = nullptr;

ScriptedRandom::ScriptedRandom(std::vector<int> values) : values_(std::move(values)) {
  active_ = this;
  SetRandomSourceForTest(&Draw);
}

ScriptedRandom::~ScriptedRandom() {
  SetRandomSourceForTest(nullptr);
  active_ = nullptr;
}

int ScriptedRandom::Draw(int max) {
  ScriptedRandom& self = *active_;
  self.maxima.push_back(max);
  return self.next_ < self.values_.size() ? self.values_[self.next_++] : 0;
}

std::vector<uint64_t> RunInFreshProcess(const std::function<void(std::vector<uint64_t>&)>& scenario) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    std::vector<uint64_t> hashes;
    scenario(hashes);
    const auto* bytes = reinterpret_cast<const char*>(hashes.data());
    size_t left = hashes.size() * sizeof(uint64_t);
    while (left > 0) {
      const ssize_t wrote = write(fds[1], bytes, left);
      if (wrote <= 0) _exit(1);
      bytes += wrote;
      left -= static_cast<size_t>(wrote);
    }
    _exit(0);
  }
  close(fds[1]);
  std::vector<uint64_t> hashes;
  uint64_t value;
  size_t have = 0;
  for (;;) {
    const ssize_t got = read(fds[0], reinterpret_cast<char*>(&value) + have, sizeof(value) - have);
    if (got <= 0) break;
    have += static_cast<size_t>(got);
    if (have == sizeof(value)) {
      hashes.push_back(value);
      have = 0;
    }
  }
  close(fds[0]);
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  return hashes;
}
