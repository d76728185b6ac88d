#include "input/input_host.h"

#include "core/core_api.h"
#include "core/system_report.h"
#include "core/window.h"

namespace {

// The main window comes up in front when it is made; nothing to raise here.
void MainWindowAlreadyInFront() {}

constexpr InputHostServices kCoreServices = {
    ProcessWindowMessages, WaitWhileInactive, FatalErrorExit,           GetWindowActiveFlag,
    GetWindowClosingFlag, GetOsCodeWord,    MainWindowAlreadyInFront,
};

}  // namespace

InputHostServices g_inputHost = kCoreServices;

void ResetInputHostServices() { g_inputHost = kCoreServices; }
