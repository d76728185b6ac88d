// A virtual X server of the test's own (Xvfb, on a display number it picks
// itself, so that parallel tests never meet), with a window manager
// (openbox) when asked for; both stopped when the object goes. A server
// that refuses clients wants a cookie that nobody is given (and so runs
// without a window manager).
#pragma once
#include <sys/types.h>

#include <string>

class XServerForTest {
 public:
  XServerForTest(int width, int height, bool windowManager, bool refusesClients = false);
  ~XServerForTest();
  XServerForTest(const XServerForTest&) = delete;
  XServerForTest& operator=(const XServerForTest&) = delete;

  // Empty when the server, or the window manager asked for, did not start.
  const std::string& name() const { return ready_ ? name_ : empty_; }
  pid_t windowManager() const { return windowManager_; }

 private:
  pid_t server_ = -1;
  pid_t windowManager_ = -1;
  bool ready_ = false;
  std::string name_, empty_, cookieFile_;
};

// Whether the programs these tests drive are installed.
bool HasProgram(const char* name);
