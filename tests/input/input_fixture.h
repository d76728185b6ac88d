// Scripted devices and a scripted window for the input tests.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "input/input_host.h"
#include "input/input_system.h"
#include "platform/input_device.h"
#include "tests/support/scratch_dir.h"

// The window's side as a test plays it.
struct ScriptedHost {
  int active = 1;
  int closing = 0;
  int osCode = 263;  // the device keyboard path unless a test asks for virtual keys
  int messagesResult = 0;
  int messageCalls = 0;
  int waitCalls = 0;
  int bringCalls = 0;
  std::vector<std::string> fatalTexts;
  std::function<void()> duringMessages;
};

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Log lines since the start of the test, without their time stamps (the
  // indent TABs stay).
  std::vector<std::string> LogLines();
  bool LogHas(const std::string& line);

  ScratchDir dir;
  ScriptedInputBackend devices;
  ScriptedHost host;
  std::string logPath;
};

// Names a scripted pad so the log shows which one is which.
void NamePad(ScriptedDeviceModel& pad, const char* instance, const char* product);
