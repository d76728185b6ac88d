// Key state and mouse buttons through the scripted devices.
#include <cstring>

#include "input/input_api.h"
#include "input_fixture.h"

namespace {

constexpr int kZ = 0x2C, kX = 0x2D, kC = 0x2E;

class KeyboardTest : public InputTest {
 protected:
  // Key codes that GetAllKeyStates reports down.
  std::vector<int> DownKeys() {
    uint8_t keys[256];
    std::memset(keys, 9, sizeof(keys));
    EXPECT_EQ(GetAllKeyStates(keys), 0);
    std::vector<int> down;
    for (int i = 0; i < 256; i++) {
      EXPECT_TRUE(keys[i] == 0 || keys[i] == 1) << i;
      if (keys[i]) down.push_back(i);
    }
    return down;
  }
};

using Keys = std::vector<int>;

TEST_F(KeyboardTest, DeviceKeyboardIsReadOncePerMillisecondUnlessItSignals) {
  ASSERT_EQ(InitInputSystem(), 0);
  devices.now++;
  devices.keyboard.keys[kZ] = 0x80;  // down, but no activity signalled
  EXPECT_EQ(DownKeys(), Keys{kZ});
  EXPECT_EQ(devices.keyboard.reads, 1);

  // Same millisecond, nothing signalled: the old state answers.
  devices.keyboard.keys[kX] = 0x80;
  EXPECT_EQ(DownKeys(), Keys{kZ});
  EXPECT_EQ(devices.keyboard.reads, 1);

  // Same millisecond, but the device signals: read again, event reset.
  devices.PressKey(kC);
  EXPECT_EQ(DownKeys(), (Keys{kZ, kX, kC}));
  EXPECT_EQ(devices.keyboard.reads, 2);
  EXPECT_FALSE(g_inputDevices.keyboardEvent->IsSignalled());
  EXPECT_EQ(DownKeys(), (Keys{kZ, kX, kC}));
  EXPECT_EQ(devices.keyboard.reads, 2);

  devices.now++;
  devices.ReleaseKey(kZ);
  EXPECT_EQ(IsKeyDownByCode(kZ), 0);
  EXPECT_EQ(IsKeyDownByCode(kX), 1);
  EXPECT_EQ(IsKeyDownByCode(-1), 0);
  EXPECT_EQ(IsKeyDownByCode(256), 0);
  EXPECT_GE(host.waitCalls, 1);
}

TEST_F(KeyboardTest, DeviceKeyboardTakesRightShiftFromTheVirtualKeys) {
  ASSERT_EQ(InitInputSystem(), 0);
  devices.now++;
  devices.virtualKeys[0xA1] = 0x80;
  EXPECT_EQ(DownKeys(), Keys{0x36});
  devices.now++;
  devices.virtualKeys[0xA1] = 0;
  devices.keyboard.keys[0x36] = 0x80;
  EXPECT_EQ(DownKeys(), Keys{});
}

TEST_F(KeyboardTest, LostKeyboardIsAcquiredOnceMorePerRead) {
  ASSERT_EQ(InitInputSystem(), 0);
  devices.now++;
  devices.keyboard.keys[kZ] = 0x80;
  EXPECT_EQ(UpdateKeyboardState(), 1);

  devices.now++;
  devices.keyboard.keys[kX] = 0x80;
  devices.keyboard.Fail(InputCall::GetDeviceState, 1);
  int acquires = devices.keyboard.acquireCalls;
  EXPECT_EQ(UpdateKeyboardState(), 1);
  EXPECT_EQ(devices.keyboard.acquireCalls, acquires + 1);
  EXPECT_EQ(IsKeyDownByCode(kX), 1);

  // Re-acquiring fails too: no change reported and the old state stays.
  devices.now++;
  devices.keyboard.keys[kZ] = 0;
  devices.keyboard.Fail(InputCall::GetDeviceState, 1);
  devices.keyboard.Fail(InputCall::Acquire, 1);
  EXPECT_EQ(UpdateKeyboardState(), 0);
  EXPECT_EQ(g_inputDevices.keyState[kZ], 0x80);

  // The second read failing as well leaves the state just the same.
  devices.now++;
  devices.keyboard.Fail(InputCall::GetDeviceState, 2);
  EXPECT_EQ(UpdateKeyboardState(), 0);
  EXPECT_EQ(g_inputDevices.keyState[kZ], 0x80);

  // A main window that is gone stops the read before the device is asked.
  devices.now++;
  host.messagesResult = 1;
  int reads = devices.keyboard.reads;
  EXPECT_EQ(UpdateKeyboardState(), 0);
  EXPECT_EQ(devices.keyboard.reads, reads);
}

TEST_F(KeyboardTest, NewerSystemsReadTheKeyboardThroughVirtualKeys) {
  host.osCode = 264;
  ASSERT_EQ(InitInputSystem(), 0);
  devices.now++;
  devices.keyboard.keys[0x10] = 0x80;  // the device is not asked
  devices.virtualKeys[0x0D] = 0x80;    // Return: both Enter codes
  devices.virtualKeys[0x5A] = 0x80;    // Z
  devices.virtualKeys[0x01] = 0x80;    // left button: no key code
  EXPECT_EQ(DownKeys(), (Keys{0x1C, kZ, 0x9C}));
  EXPECT_EQ(devices.keyboard.reads, 0);

  // Within the same millisecond nothing is read, whatever happens.
  devices.virtualKeys[0x58] = 0x80;  // X
  EXPECT_EQ(DownKeys(), (Keys{0x1C, kZ, 0x9C}));
  devices.now++;
  EXPECT_EQ(DownKeys(), (Keys{0x1C, kZ, kX, 0x9C}));
}

TEST_F(KeyboardTest, VirtualKeyTableFollowsTheJapaneseLayout) {
  g_inputDevices.win32Mode = 1;
  ASSERT_EQ(InitInputSystem(), 0);
  const struct {
    uint8_t virtualKey;
    Keys codes;
  } cases[] = {
      {0xBA, {0x92}}, {0xC0, {0x91}}, {0xDC, {0x7D}}, {0xE2, {0x2B}}, {0xBB, {0x27}}, {0x6F, {0xB5}},
      {0x0D, {0x1C, 0x9C}}, {0xA1, {0x36}}, {0x7B, {0x58}}, {0x30, {0x0B}}, {0x1B, {0x01}}, {0x26, {0xC8}},
      {0xDE, {}},  // the ^ key has no row
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.virtualKey);
    std::memset(devices.virtualKeys, 0, sizeof(devices.virtualKeys));
    devices.virtualKeys[c.virtualKey] = 0x80;
    devices.now++;
    EXPECT_EQ(DownKeys(), c.codes);
  }
  // Toggle bits (bit 0) are not a key held down.
  std::memset(devices.virtualKeys, 0, sizeof(devices.virtualKeys));
  devices.virtualKeys[0x14] = 0x01;
  devices.now++;
  EXPECT_EQ(DownKeys(), Keys{});
}

TEST_F(KeyboardTest, KeyboardByVirtualKeysOptionBypassesTheDevice) {
  ASSERT_EQ(InitInputSystem(), 0);
  g_inputDevices.keyboardByWin32 = 1;
  devices.now++;
  devices.keyboard.keys[kC] = 0x80;
  devices.virtualKeys[0x5A] = 0x80;
  EXPECT_EQ(DownKeys(), Keys{kZ});
}

TEST_F(KeyboardTest, AQueryAfterTheEndStartsInputInsteadOfAnswering) {
  ASSERT_EQ(InitInputSystem(), 0);
  EndInputSystem();
  devices.keyboard.keys[kZ] = 0x80;
  uint8_t keys[256];
  std::memset(keys, 7, sizeof(keys));
  EXPECT_EQ(GetAllKeyStates(keys), 0);
  EXPECT_TRUE(IsInputStarted());
  for (uint8_t k : keys) ASSERT_EQ(k, 7);  // not filled
  devices.now++;
  EXPECT_EQ(GetAllKeyStates(keys), 0);
  EXPECT_EQ(keys[kZ], 1);

  // The start's own result comes back, here the keyboard without its event.
  EndInputSystem();
  devices.keyboard.Fail(InputCall::SetEventNotification, 1);
  EXPECT_EQ(GetAllKeyStates(keys), 1);

  // The single-key query answers 0 for a start, never the start's status.
  EndInputSystem();
  devices.keyboard.Fail(InputCall::SetEventNotification, 1);
  EXPECT_EQ(IsKeyDownByCode(kZ), 0);
  EXPECT_TRUE(IsInputStarted());
}

TEST_F(KeyboardTest, AClosingWindowGetsNoLazyStart) {
  host.closing = 1;
  devices.virtualKeys[0x5A] = 0x80;
  EXPECT_EQ(IsKeyDownByCode(kZ), 0);
  EXPECT_FALSE(IsInputStarted());
  // The array query goes on and reads the virtual keys.
  devices.now++;
  EXPECT_EQ(DownKeys(), Keys{kZ});
  EXPECT_FALSE(IsInputStarted());
  EXPECT_EQ(StopJoypadVibration(1), 0);
  EXPECT_FALSE(IsInputStarted());
  EXPECT_EQ(devices.liveObjects, 0);
}

TEST_F(KeyboardTest, NullArrayIsRefused) {
  EXPECT_EQ(GetAllKeyStates(nullptr), -1);
  EXPECT_FALSE(IsInputStarted());
}

TEST_F(InputTest, MouseButtonsComeFromTheDeviceWhichTheFirstReadAcquires) {
  ASSERT_EQ(InitInputSystem(), 0);
  devices.mouse.mouse.buttons[0] = 0x80;  // left
  devices.mouse.mouse.buttons[2] = 0x80;  // middle
  devices.mouse.mouse.buttons[7] = 0x80;  // button 8
  devices.mouse.mouse.buttons[1] = 0x7F;  // bit 7 clear: up
  EXPECT_EQ(GetMouseButtonState(), 1 | 4 | 128);
  EXPECT_EQ(devices.mouse.acquireCalls, 1);
  EXPECT_EQ(GetMouseButtonState(), 1 | 4 | 128);
  EXPECT_EQ(devices.mouse.acquireCalls, 1);
  EXPECT_EQ(host.waitCalls, 0);  // the mouse query never waits

  // A lost mouse that cannot be read again reports no buttons.
  devices.mouse.Fail(InputCall::GetDeviceState, 2);
  EXPECT_EQ(GetMouseButtonState(), 0);
  devices.mouse.Fail(InputCall::GetDeviceState, 1);
  devices.mouse.Fail(InputCall::Acquire, 1);
  EXPECT_EQ(GetMouseButtonState(), 0);
  EXPECT_EQ(GetMouseButtonState(), 1 | 4 | 128);

  // Activation does not touch the mouse.
  int acquires = devices.mouse.acquireCalls;
  AcquireInputDevices();
  EXPECT_EQ(devices.mouse.acquireCalls, acquires);
}

TEST_F(InputTest, MouseButtonsComeFromVirtualKeysWithoutAMouseDevice) {
  devices.virtualKeys[0x01] = 0x80;
  devices.virtualKeys[0x04] = 0x80;
  devices.virtualKeys[0x05] = 0x80;  // side button: no bit here
  EXPECT_EQ(GetMouseButtonState(), 1 | 4);
  EXPECT_FALSE(IsInputStarted());  // no lazy start
  devices.virtualKeys[0x02] = 0x80;
  EXPECT_EQ(GetMouseButtonState(), 1 | 2 | 4);

  g_inputDevices.win32Mode = 1;
  ASSERT_EQ(InitInputSystem(), 0);
  devices.virtualKeys[0x01] = 0;
  EXPECT_EQ(GetMouseButtonState(), 2 | 4);
}

}  // namespace
