// The input devices inside the library: started and ended with it, re-acquired
// on activation, timed on every message pass, flags set by private messages.
#include <gtest/gtest.h>

#include <cstring>

#include "core/core_api.h"
#include "input/input_host.h"
#include "input/input_system.h"
#include "platform/input_device.h"
#include "platform/scripted_window.h"
#include "tests/support/scratch_dir.h"

namespace {

class LibraryInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetInputHostServices();
    std::memset(&g_inputDevices, 0, sizeof(g_inputDevices));
    SetPlatformWindow(&window);
    SetInputBackend(&devices);
    devices.attachedPads = 1;
    SetAllowMultipleInstances(1);  // test programs run side by side
    ChangeWindowMode(1);
    ASSERT_EQ(LibraryInit(), 0);
  }
  void TearDown() override {
    LibraryEnd();
    EXPECT_FALSE(IsInputStarted());
    EXPECT_EQ(devices.liveObjects, 0);
    SetInputBackend(nullptr);
    SetPlatformWindow(nullptr);
  }

  ScratchDir dir;
  ScriptedWindow window;
  ScriptedInputBackend devices;
};

TEST_F(LibraryInputTest, StartReadsKeysThroughVirtualKeysOnThisSystem) {
  EXPECT_TRUE(HasDirectInput());
  EXPECT_EQ(g_inputDevices.padCount, 1);
  devices.now++;
  devices.virtualKeys[0x5A] = 0x80;  // Z
  devices.keyboard.keys[0x2D] = 0x80;  // X on the device, not asked
  uint8_t keys[256];
  ASSERT_EQ(GetAllKeyStates(keys), 0);
  EXPECT_EQ(keys[0x2C], 1);
  EXPECT_EQ(keys[0x2D], 0);
}

TEST_F(LibraryInputTest, ActivationChangesReacquireAndPauseVibration) {
  JoypadRecord& pad = g_inputDevices.pads[0];
  pad.vibrating = 1;
  pad.power = 10000;
  pad.timeLimit = -1;
  RefreshJoypadEffects();
  ASSERT_EQ(devices.pads[0].effects[0].running, 1);

  window.PushActivation(false);
  EXPECT_EQ(ProcessWindowMessages(), 0);
  EXPECT_EQ(devices.pads[0].cooperativeLevel, 0xA);
  EXPECT_EQ(devices.pads[0].effects[0].running, 0);
  EXPECT_EQ(devices.pads[0].effects[1].running, 0);

  window.PushActivation(true);
  EXPECT_EQ(ProcessWindowMessages(), 0);
  EXPECT_EQ(devices.pads[0].cooperativeLevel, 5);
  EXPECT_EQ(devices.pads[0].effects[0].running, 1);
}

TEST_F(LibraryInputTest, EveryMessagePassCountsVibrationTime) {
  JoypadRecord& pad = g_inputDevices.pads[0];
  pad.vibrating = 1;
  pad.power = 10000;
  pad.timeLimit = 30;
  pad.lastTime = devices.now;
  devices.now += 20;
  EXPECT_EQ(ProcessWindowMessages(), 0);
  EXPECT_EQ(pad.elapsed, 20);
  EXPECT_EQ(devices.pads[0].effects[0].running, 1);
  devices.now += 10;
  EXPECT_EQ(ProcessWindowMessages(), 0);
  EXPECT_EQ(pad.vibrating, 0);
  EXPECT_EQ(devices.pads[0].effects[0].running, 0);
}

TEST_F(LibraryInputTest, PrivateMessagesSetTheInputFlags) {
  window.Push(WM_INPUT_FLAG_A, 1);
  window.Push(WM_INPUT_FLAG_B, 1);
  ProcessWindowMessages();
  EXPECT_EQ(g_inputDevices.hookFlagA, 1);
  EXPECT_EQ(g_inputDevices.hookFlagB, 1);
  window.Push(WM_INPUT_FLAG_A, 2);  // anything but 1 clears
  window.Push(WM_INPUT_FLAG_B, 0);
  ProcessWindowMessages();
  EXPECT_EQ(g_inputDevices.hookFlagA, 0);
  EXPECT_EQ(g_inputDevices.hookFlagB, 0);
}

TEST(LibraryInputDeathTest, AMouseThatCannotBeMadeEndsTheProgramAtTheStart) {
  GTEST_FLAG_SET(death_test_style, "fast");
  ScratchDir dir;
  ScriptedWindow window;
  ScriptedInputBackend devices;
  SetPlatformWindow(&window);
  SetInputBackend(&devices);
  ResetInputHostServices();
  SetAllowMultipleInstances(1);
  devices.mouse.Fail(InputCall::CreateDevice);
  EXPECT_EXIT(LibraryInit(), ::testing::ExitedWithCode(255), "");
  SetInputBackend(nullptr);
  SetPlatformWindow(nullptr);
}

}  // namespace
