#include "input/input_host.h"

#include <cstdlib>

#include "core/log.h"

namespace {

// Stand-ins until the library core's window and message loop take over.
int NoWindowMessages() { return 0; }
void NoWait() {}
void LogAndExit(const char* text) {
  LogPrintf("%s", text);
  LogClose();
  std::exit(-1);
}
int AlwaysActive() { return 1; }
int NeverClosing() { return 0; }
int VirtualKeySystem() { return 264; }
void NoWindow() {}

constexpr InputHostServices kCoreServices = {
    NoWindowMessages, NoWait, LogAndExit, AlwaysActive, NeverClosing, VirtualKeySystem, NoWindow,
};

}  // namespace

InputHostServices g_inputHost = kCoreServices;

void ResetInputHostServices() { g_inputHost = kCoreServices; }
