// What the input subsystem asks of the library core, kept in one replaceable
// table so tests can play the window's part (activation, closing, messages,
// the fatal exit) without a window.
#pragma once

struct InputHostServices {
  int (*processWindowMessages)();  // one pass; non-zero once the main window is gone
  void (*waitWhileInactive)();
  void (*fatalErrorExit)(const char* text);  // does not return, except under a test's table
  int (*getWindowActiveFlag)();
  int (*getWindowClosingFlag)();
  int (*getOperatingSystemCode)();  // 264 and above read the keyboard through virtual keys
  void (*bringMainWindowToTop)();
};

extern InputHostServices g_inputHost;

// Back to the library core's own services.
void ResetInputHostServices();
