#include "tests/support/x_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include <X11/Xlib.h>

namespace {

// The program ends with the test that started it, whatever way the test ends;
// the game on the server then loses its display and ends too.
pid_t Spawn(const char* const* argv, int closeFd) {
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(127);
  if (closeFd >= 0) close(closeFd);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  dup2(null, 2);
  execvp(argv[0], const_cast<char**>(argv));
  _exit(127);
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGCONT);  // a test may have frozen it
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

// A window manager is in charge once it puts a new window into a frame of
// its own. One that is still starting may drop what it was sent meanwhile,
// so a window that stays bare is tried again with another.
bool WindowManagerFramesAWindow(const std::string& name) {
  Display* display = XOpenDisplay(name.c_str());
  if (!display) return false;
  const Window root = DefaultRootWindow(display);
  const Window probe = XCreateSimpleWindow(display, root, 0, 0, 16, 16, 0, 0, 0);
  XMapWindow(display, probe);
  bool framed = false;
  for (int i = 0; i < 100 && !framed; i++) {
    Window parent = 0, treeRoot = 0, *children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, probe, &treeRoot, &parent, &children, &count)) framed = parent != root;
    if (children) XFree(children);
    if (!framed) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  XDestroyWindow(display, probe);
  XCloseDisplay(display);
  return framed;
}

// An authority file of one cookie for any display, as xauth writes it:
// family, address, display number, then the scheme's name and its 16 bytes,
// each field after the family led by its length (big-endian).
std::string WriteCookieFile() {
  char path[] = "/tmp/varnok-test-cookie-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return {};
  std::string record = {'\xFF', '\xFF', 0, 0, 0, 0, 0, 18};  // any address, any number
  record += "MIT-MAGIC-COOKIE-1";
  record += {0, 16};
  record += "given-to-nobody!";
  const bool written = write(fd, record.data(), record.size()) == static_cast<ssize_t>(record.size());
  close(fd);
  if (!written) unlink(path);
  return written ? path : "";
}

}  // namespace

XServerForTest::XServerForTest(int width, int height, bool windowManager, bool refusesClients) {
  if (refusesClients) {
    cookieFile_ = WriteCookieFile();
    if (cookieFile_.empty()) return;
  }
  int fds[2];
  if (pipe(fds) != 0) return;
  const std::string fd = std::to_string(fds[1]);
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  std::vector<const char*> serverArgv = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
                                         "-nolisten", "tcp"};
  if (refusesClients) serverArgv.insert(serverArgv.end(), {"-auth", cookieFile_.c_str()});
  serverArgv.push_back(nullptr);
  server_ = Spawn(serverArgv.data(), fds[0]);
  close(fds[1]);
  // The server writes its number once it takes connections.
  for (char c; server_ > 0 && read(fds[0], &c, 1) == 1 && c != '\n';) name_ += c;
  close(fds[0]);
  if (name_.empty()) return;
  name_ = ":" + name_;
  if (!windowManager || refusesClients) {
    ready_ = true;
    return;
  }
  const std::string display = "DISPLAY=" + name_;
  const char* wmArgv[] = {"env", display.c_str(), "openbox", "--sm-disable", nullptr};
  windowManager_ = Spawn(wmArgv, -1);
  // Far beyond what the window manager needs to start, however loaded the machine.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (windowManager_ > 0 && !ready_ && std::chrono::steady_clock::now() < until) {
    ready_ = WindowManagerFramesAWindow(name_);
  }
}

XServerForTest::~XServerForTest() {
  Stop(windowManager_);
  Stop(server_);
  if (!cookieFile_.empty()) unlink(cookieFile_.c_str());
}

bool HasProgram(const char* name) {
  return std::system((std::string("command -v ") + name + " > /dev/null 2>&1").c_str()) == 0;
}
