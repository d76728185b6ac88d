// The game program itself, as a player starts it, on X servers of the test's
// own: full screen on screens of several sizes with and without a window
// manager (and a bare screen made smaller under the running game), a window
// asked for by a config.ini written with bare LF line ends, and a start with
// no display at all. Everything is read from the X server (window geometry
// and the screen's pixels) and the pointer and keys go through it, so the
// test sees what a player would. Screenshots go to the build folder's
// screenshots for review.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/image_files.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/x_server.h"

// Last: Xlib's macros would clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

extern char** environ;

namespace {

const char kTitle[] = "Tamblor  ver0.7";

// A bound far beyond what a start, a frame or an X round trip needs on a
// loaded machine; the tests wait for what they see, never for a time.
constexpr auto kPatience = std::chrono::seconds(60);

bool WaitFor(const std::function<bool()>& condition) {
  const auto until = std::chrono::steady_clock::now() + kPatience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The game started in a scratch folder holding the build's data, its
// standard error kept in a file there. The environment is the player's: no
// video driver named (the test programs name the dummy one), the display
// given, and only the sound silent.
class GameProcess {
 public:
  GameProcess(const std::string& display, const char* configIni) {
    std::filesystem::create_directory_symlink(std::filesystem::path(TAMBLOR_BUILD_DIR) / "data", dir_.path() / "data");
    if (configIni) dir_.Write("config.ini", configIni);
    std::vector<std::string> env;
    for (char** e = environ; *e; e++) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('='));
      if (name != "SDL_VIDEODRIVER" && name != "SDL_AUDIODRIVER" && name != "DISPLAY" &&
          name != "WAYLAND_DISPLAY" && name != "XDG_RUNTIME_DIR") {
        env.push_back(entry);
      }
    }
    env.push_back("SDL_AUDIODRIVER=dummy");
    // The lock of a running copy lives here, so parallel tests never meet.
    env.push_back("XDG_RUNTIME_DIR=" + dir_.path().string());
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string errors = (dir_.path() / "stderr.txt").string();
    // Nothing of it holds the test's own output open, should the test end first.
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 2, 1);
    const std::string program = std::string(TAMBLOR_BUILD_DIR) + "/tamblor";
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~GameProcess() {
    if (Running()) {
      kill(pid_, SIGTERM);  // SDL turns it into a quit, as a closed window
      if (!WaitFor([&] { return !Running(); })) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
      }
    }
  }
  bool Started() const { return pid_ > 0; }
  bool Running() {
    if (pid_ <= 0 || exited_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    exited_ = true;
    exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }
  int ExitStatus() const { return exitStatus_; }
  std::string Errors() const { return ReadFile("stderr.txt"); }
  std::string ReadFile(const char* name) const {
    std::ifstream in(dir_.path() / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  ScratchDir dir_;
  pid_t pid_ = -1;
  bool exited_ = false;
  int exitStatus_ = -1;
};

// What the X server shows and where the game's window is, read on a
// connection of the test's own.
class ScreenReader {
 public:
  explicit ScreenReader(const std::string& name) : display_(XOpenDisplay(name.c_str())), name_(name) {
    // A window may go between finding it and asking about it (a window
    // manager's frame, one made anew): the call fails, the test goes on.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    if (display_) {
      width = DisplayWidth(display_, DefaultScreen(display_));
      height = DisplayHeight(display_, DefaultScreen(display_));
    }
  }
  ~ScreenReader() {
    if (display_) XCloseDisplay(display_);
  }
  bool Open() const { return display_ != nullptr; }

  // The game's window by its title, its place on the screen and its size.
  struct Placement {
    bool found = false;
    int x = 0, y = 0, width = 0, height = 0;
  };
  Placement GameWindow() {
    Placement place;
    const Window window = FindByTitle(DefaultRootWindow(display_));
    XWindowAttributes attributes;
    if (!window || !XGetWindowAttributes(display_, window, &attributes) || attributes.map_state != IsViewable) {
      return place;
    }
    Window child = 0;
    XTranslateCoordinates(display_, window, attributes.root, 0, 0, &place.x, &place.y, &child);
    place.width = attributes.width;
    place.height = attributes.height;
    place.found = true;
    return place;
  }

  // The whole screen, 0x00RRGGBB.
  std::vector<uint32_t> Shot() {
    std::vector<uint32_t> pixels;
    XImage* image = XGetImage(display_, DefaultRootWindow(display_), 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image) return pixels;
    pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; y++)
      for (int x = 0; x < width; x++) pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF);
    XDestroyImage(image);
    return pixels;
  }

  // Through the X server's own pointer and keyboard.
  bool Xdotool(const std::string& arguments) const {
    return std::system(("DISPLAY=" + name_ + " xdotool " + arguments + " > /dev/null 2>&1").c_str()) == 0;
  }

  int width = 0, height = 0;

 private:
  Window FindByTitle(Window window) {
    char* name = nullptr;
    if (XFetchName(display_, window, &name) && name) {
      const bool match = std::strcmp(name, kTitle) == 0;
      XFree(name);
      if (match) return window;
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display_, window, &root, &parent, &children, &count)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; i++) found = FindByTitle(children[i]);
    if (children) XFree(children);
    return found;
  }

  Display* display_;
  std::string name_;
};

void SavePng(const std::string& name, const std::vector<uint32_t>& pixels, int width, int height) {
  WriteScreenshotPng(std::filesystem::path(TAMBLOR_BUILD_DIR) / "screenshots" / name, pixels, width, height);
}

int Channel(uint32_t pixel, int shift) { return static_cast<int>((pixel >> shift) & 0xFF); }

// A screen of the given size and where the 1024 x 768 frame must show on it,
// worked out by hand: scaled by the smaller of width / 1024 and height / 768,
// centred, black bars on the rest.
struct Screen {
  const char* name;
  int width, height;
  bool windowManager;
  int left, top, pictureWidth, pictureHeight;

  // A frame point on the screen: the centre of the frame pixel.
  int ScreenX(double frameX) const { return left + static_cast<int>((frameX + 0.5) * pictureWidth / 1024); }
  int ScreenY(double frameY) const { return top + static_cast<int>((frameY + 0.5) * pictureHeight / 768); }
};

std::ostream& operator<<(std::ostream& out, const Screen& screen) { return out << screen.name; }

const Screen kScreens[] = {
    // 720 / 768 = 0.9375 < 1280 / 1024: 960 x 720, (1280 - 960) / 2 = 160 on each side.
    {"openbox_1280x720", 1280, 720, true, 160, 0, 960, 720},
    // 800 / 1024 = 600 / 768 = 0.78125: the whole screen, no bars.
    {"openbox_800x600", 800, 600, true, 0, 0, 800, 600},
    // 1080 / 768 = 1.40625 < 1920 / 1024: 1440 x 1080, (1920 - 1440) / 2 = 240 on each side.
    {"bare_1920x1080", 1920, 1080, false, 240, 0, 1440, 1080},
};

// The bare screen made smaller while the game runs, as openbox_1280x720 shows it.
const Screen kShrunk = {"bare_shrunk_to_1280x720", 1280, 720, false, 160, 0, 960, 720};

// The screen's new size, as xrandr sets it: a mode of that size on the
// output, then the root.
bool SetScreenSize(const std::string& name, int width, int height) {
  Display* display = XOpenDisplay(name.c_str());
  if (!display) return false;
  const Window root = DefaultRootWindow(display);
  XRRScreenResources* resources = XRRGetScreenResources(display, root);
  std::string modeName = std::to_string(width) + "x" + std::to_string(height);
  XRRModeInfo info = {};
  info.width = info.hTotal = static_cast<unsigned>(width);
  info.height = info.vTotal = static_cast<unsigned>(height);
  info.dotClock = 60ul * info.width * info.height;
  info.name = modeName.data();
  info.nameLength = static_cast<unsigned>(modeName.size());
  if (resources && resources->ncrtc > 0 && resources->noutput > 0) {
    const RRMode mode = XRRCreateMode(display, root, &info);
    XRRAddOutputMode(display, resources->outputs[0], mode);
    XRRSetCrtcConfig(display, resources, resources->crtcs[0], CurrentTime, 0, 0, mode, RR_Rotate_0,
                     resources->outputs, 1);
    XRRSetScreenSize(display, root, width, height, width / 4, height / 4);
  }
  XWindowAttributes now = {};
  const bool done = XGetWindowAttributes(display, root, &now) && now.width == width && now.height == height;
  if (resources) XRRFreeScreenResources(resources);
  XCloseDisplay(display);
  return done;
}

// The frame as the title shows it: every bar pixel black, the frame's outer
// ring at least the title's dark grey (16, 16, 16; the letters' light adds
// to it as they glow), and the difficulty buttons drawn.
std::string TitleShownAsExpected(const Screen& s, const std::vector<uint32_t>& shot) {
  if (shot.size() != static_cast<size_t>(s.width) * static_cast<size_t>(s.height)) return "no screenshot";
  auto at = [&](int x, int y) { return shot[static_cast<size_t>(y) * static_cast<size_t>(s.width) + x]; };
  const int right = s.left + s.pictureWidth, bottom = s.top + s.pictureHeight;
  for (int y = 0; y < s.height; y++)
    for (int x = 0; x < s.width; x++) {
      const bool inPicture = x >= s.left && x < right && y >= s.top && y < bottom;
      const uint32_t p = at(x, y);
      if (!inPicture && p != 0) return "bar pixel not black at " + std::to_string(x) + ", " + std::to_string(y);
      const bool onRing = inPicture && (x == s.left || x == right - 1 || y == s.top || y == bottom - 1);
      for (int shift = 0; onRing && shift <= 16; shift += 8) {
        if (Channel(p, shift) < 15) {
          return "frame edge not the background at " + std::to_string(x) + ", " + std::to_string(y);
        }
      }
    }
  // The middle of the NORMAL button (centre 694, 530) is lit by its name.
  int lit = 0;
  for (int fy = 522; fy <= 538; fy++)
    for (int fx = 660; fx <= 728; fx++) lit += Channel(at(s.ScreenX(fx), s.ScreenY(fy)), 8) > 100;
  if (lit == 0) return "no difficulty button";
  return "";
}

// How far a frame rectangle of the screen has moved from a reference shot:
// the mean of the channels' absolute differences.
double Difference(const Screen& s, const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int fx0, int fy0,
                  int fx1, int fy1) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  int count = 0;
  for (int y = s.ScreenY(fy0); y <= s.ScreenY(fy1); y++)
    for (int x = s.ScreenX(fx0); x <= s.ScreenX(fx1); x++) {
      const size_t i = static_cast<size_t>(y) * static_cast<size_t>(s.width) + x;
      for (int shift = 0; shift <= 16; shift += 8) sum += std::abs(Channel(a[i], shift) - Channel(b[i], shift));
      count += 3;
    }
  return sum / count;
}

// The share of a frame rectangle's bright pixels in a reference shot (text,
// outlines) that another shot no longer has: near 0 while the picture stays,
// near 1 once another scene is drawn there.
double BrightPixelsGone(const Screen& s, const std::vector<uint32_t>& reference, const std::vector<uint32_t>& now,
                        int fx0, int fy0, int fx1, int fy1) {
  if (reference.size() != now.size() || now.empty()) return 0;
  int bright = 0, gone = 0;
  for (int y = s.ScreenY(fy0); y <= s.ScreenY(fy1); y++)
    for (int x = s.ScreenX(fx0); x <= s.ScreenX(fx1); x++) {
      const size_t i = static_cast<size_t>(y) * static_cast<size_t>(s.width) + x;
      int brightest = 0, moved = 0;
      for (int shift = 0; shift <= 16; shift += 8) {
        brightest = std::max(brightest, Channel(reference[i], shift));
        moved = std::max(moved, std::abs(Channel(reference[i], shift) - Channel(now[i], shift)));
      }
      if (brightest <= 100) continue;
      bright++;
      gone += moved > 40;
    }
  return bright ? static_cast<double>(gone) / bright : 0;
}

class FullScreen : public ::testing::TestWithParam<Screen> {};

TEST_P(FullScreen, FillsTheScreenWithTheFrameScaledAndCentredAndTakesAClickOnCarnival) {
  Screen s = GetParam();
  if (!HasProgram("Xvfb") || !HasProgram("xdotool") || (s.windowManager && !HasProgram("openbox"))) {
    GTEST_SKIP() << "no Xvfb, xdotool or openbox";
  }
  if (!std::filesystem::is_directory(std::filesystem::path(TAMBLOR_BUILD_DIR) / "data")) {
    GTEST_SKIP() << "no game data in the build folder";
  }
  XServerForTest server(s.width, s.height, s.windowManager);
  ASSERT_FALSE(server.name().empty());
  ScreenReader screen(server.name());
  ASSERT_TRUE(screen.Open());
  GameProcess game(server.name(), nullptr);  // no config.ini: full screen by default
  ASSERT_TRUE(game.Started());

  // The window covers the whole screen.
  ScreenReader::Placement place;
  EXPECT_TRUE(WaitFor([&] {
    place = screen.GameWindow();
    return !game.Running() || (place.found && place.x == 0 && place.y == 0 && place.width == s.width &&
                               place.height == s.height);
  })) << "window at " << place.x << ", " << place.y << ", " << place.width << " x " << place.height;
  ASSERT_TRUE(game.Running()) << game.Errors();

  // The pointer rests on empty ground left of the buttons; once the game's
  // cursor shows there, the title is what the screen must hold.
  // SDL may put the pointer back where it last saw it while it starts, so
  // the pointer is moved again until it is seen.
  const int restX = 300, restY = 650;
  std::vector<uint32_t> title;
  std::string why;
  const bool shown = WaitFor([&] {
    if (!screen.Xdotool("mousemove " + std::to_string(s.ScreenX(restX)) + " " + std::to_string(s.ScreenY(restY)))) {
      return false;
    }
    title = screen.Shot();
    why = TitleShownAsExpected(s, title);
    int cursor = 0;
    for (int fy = restY - 8; why.empty() && fy <= restY + 8; fy++)
      for (int fx = restX - 8; fx <= restX + 8; fx++) {
        cursor += Channel(title[static_cast<size_t>(s.ScreenY(fy)) * s.width + s.ScreenX(fx)], 8) > 100;
      }
    return why.empty() && cursor > 0;
  });
  SavePng(std::string("full-screen-") + s.name + ".png", title, s.width, s.height);
  ASSERT_TRUE(shown) << why;

  if (!s.windowManager) {
    // The screen shrinks under the running game, and no window manager
    // fits the window to it: the window follows by itself.
    ASSERT_TRUE(SetScreenSize(server.name(), kShrunk.width, kShrunk.height));
    s = kShrunk;
    screen.width = s.width;
    screen.height = s.height;
    EXPECT_TRUE(WaitFor([&] {
      screen.Xdotool("mousemove " + std::to_string(s.ScreenX(restX)) + " " + std::to_string(s.ScreenY(restY)));
      return (why = TitleShownAsExpected(s, title = screen.Shot())).empty();
    })) << why;
    SavePng(std::string("full-screen-") + s.name + ".png", title, s.width, s.height);
  }

  // CARNIVAL (centre 630, 610, 224 x 32) is pressed at its right end, so the
  // game's cursor stays clear of the part compared.
  const int clickX = 700, clickY = 610;
  auto carnivalChange = [&] { return Difference(s, title, screen.Shot(), 560, 600, 660, 620); };
  double change = 0;
  const std::string toCarnival = "mousemove " + std::to_string(s.ScreenX(clickX)) + " " + std::to_string(s.ScreenY(clickY));
  EXPECT_TRUE(WaitFor([&] { return screen.Xdotool(toCarnival) && (change = carnivalChange()) > 8; }))
      << "no hover light, change " << change;
  ASSERT_TRUE(screen.Xdotool("mousedown 1"));
  // Pressed, the button shows as it rests.
  EXPECT_TRUE(WaitFor([&] { return (change = carnivalChange()) < 2; })) << "not pressed, change " << change;
  ASSERT_TRUE(screen.Xdotool("mouseup 1"));

  // A round: the title's menu is gone from where it was.
  std::vector<uint32_t> round;
  EXPECT_TRUE(WaitFor([&] {
    round = screen.Shot();
    return (change = BrightPixelsGone(s, title, round, 500, 430, 840, 580)) > 0.8;
  })) << "no round, change " << change;
  SavePng(std::string("round-") + s.name + ".png", round, s.width, s.height);
  EXPECT_TRUE(game.Running()) << game.Errors();
}

INSTANTIATE_TEST_SUITE_P(Screens, FullScreen, ::testing::ValuesIn(kScreens),
                         [](const ::testing::TestParamInfo<Screen>& info) { return info.param.name; });

// The value line that follows a key line of config.ini, without its line end.
std::string ValueAfter(const std::string& text, const std::string& key) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line != key) continue;
    if (!std::getline(lines, line)) return "";
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  return "";
}

// A config.ini as a Linux editor writes a new one, with bare LF line ends:
// its window mode is taken, and Escape leaves the file with its values.
TEST(SettingsFile, WrittenWithBareLineFeedsAsksForAWindowAndKeepsItsValues) {
  if (!HasProgram("Xvfb") || !HasProgram("xdotool")) GTEST_SKIP() << "no Xvfb or xdotool";
  if (!std::filesystem::is_directory(std::filesystem::path(TAMBLOR_BUILD_DIR) / "data")) {
    GTEST_SKIP() << "no game data in the build folder";
  }
  XServerForTest server(1280, 1024, false);
  ASSERT_FALSE(server.name().empty());
  ScreenReader screen(server.name());
  ASSERT_TRUE(screen.Open());
  GameProcess game(server.name(), "#FULLSCREEN_MODE\n0\n#SEVOL\n100\n");
  ASSERT_TRUE(game.Started());

  // A window of the frame's own size, which SDL centres: (1280 - 1024) / 2
  // = 128 and (1024 - 768) / 2 = 128; the title shows in it pixel for pixel.
  const Screen window{"window", 1280, 1024, false, 128, 128, 1024, 768};
  std::vector<uint32_t> shot;
  std::string why;
  const bool shown = WaitFor([&] { return !game.Running() || (why = TitleShownAsExpected(window, shot = screen.Shot())).empty(); });
  SavePng("window-1280x1024.png", shot, 1280, 1024);
  ASSERT_TRUE(game.Running()) << game.Errors();
  EXPECT_TRUE(shown) << why;
  const ScreenReader::Placement place = screen.GameWindow();
  EXPECT_EQ(place.x, 128);
  EXPECT_EQ(place.y, 128);
  EXPECT_EQ(place.width, 1024);
  EXPECT_EQ(place.height, 768);

  // Escape held, over the window, until the game has gone.
  const std::string overWindow =
      "mousemove " + std::to_string(place.x + 512) + " " + std::to_string(place.y + 384) + " keydown Escape";
  EXPECT_TRUE(WaitFor([&] { return !game.Running() || (screen.Xdotool(overWindow) && false); }));
  screen.Xdotool("keyup Escape");
  EXPECT_EQ(game.ExitStatus(), 0) << game.Errors();
  const std::string written = game.ReadFile("config.ini");
  EXPECT_EQ(ValueAfter(written, "#FULLSCREEN_MODE"), "0") << written;
  EXPECT_EQ(ValueAfter(written, "#SEVOL"), "100") << written;
}

}  // namespace
