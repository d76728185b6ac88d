// The SDL devices, headless: keys all up, key-code tables, wheel and key
// events, and virtual controllers with axes, buttons, a hat and rumble.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "core/core_api.h"
#include "input/input_host.h"
#include "input/input_system.h"
#include "platform/input_device.h"
#include "platform/input_test_devices.h"
#include "platform/window.h"
#include "tests/support/scratch_dir.h"

namespace {

// SDL scancodes are USB keyboard usage ids.
constexpr int kUsbA = 4, kUsbZ = 29, kUsb1 = 30, kUsb0 = 39, kUsbReturn = 40, kUsbEscape = 41;
constexpr int kUsbApostrophe = 52, kUsbLeftBracket = 47, kUsbF1 = 58, kUsbF12 = 69;
constexpr int kUsbInsert = 73, kUsbUp = 82, kUsbKeypad1 = 89, kUsbKeypad0 = 98, kUsbKeypadEnter = 88;
constexpr int kUsbLeftCtrl = 224, kUsbRightAlt = 230, kUsbRightShift = 229, kUsbYen = 137;

int g_osCode = 264;
int OsCode() { return g_osCode; }
int NoMessages() { return 0; }
int Active() { return 1; }

// The SDL devices without a window: the window's side always active.
class SdlInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetInputBackend(nullptr);
    ResetInputHostServices();
    g_inputHost.getOperatingSystemCode = OsCode;
    g_inputHost.processWindowMessages = NoMessages;
    g_inputHost.getWindowActiveFlag = Active;
    std::memset(&g_inputDevices, 0, sizeof(g_inputDevices));
  }
  void TearDown() override {
    EndInputSystem();
    DetachAllVirtualJoypads();
    ResetInputHostServices();
    g_osCode = 264;
  }
};

std::set<int> KeyCodesFor(int scancode) {
  uint8_t scancodes[512] = {};
  scancodes[scancode] = 1;
  uint8_t codes[256];
  MapScancodesToKeyCodes(scancodes, 512, codes);
  std::set<int> down;
  for (int i = 0; i < 256; i++)
    if (codes[i]) down.insert(i);
  return down;
}

// The same key through the virtual-key state and the library's table.
std::set<int> KeyCodesThroughVirtualKeys(int scancode) {
  uint8_t scancodes[512] = {};
  scancodes[scancode] = 1;
  uint8_t virtualKeys[256];
  MapScancodesToVirtualKeys(scancodes, 512, 0, 0, virtualKeys);
  std::set<int> down;
  for (const VirtualKeyToKeyCode& row : kVirtualKeyToKeyCodeTable)
    if (virtualKeys[row.virtualKey] & 0x80) down.insert(row.keyCode);
  return down;
}

TEST(SdlInput, TheLibraryStartsHeadlessAndAnswersWithEveryKeyUp) {
  ScratchDir dir;
  SetInputBackend(nullptr);
  SetPlatformWindow(nullptr);
  ResetInputHostServices();
  SetAllowMultipleInstances(1);  // test programs run side by side
  ChangeWindowMode(1);
  ASSERT_EQ(LibraryInit(), 0);
  EXPECT_TRUE(HasDirectInput());
  EXPECT_NE(g_inputDevices.mouseDevice, nullptr);
  EXPECT_NE(g_inputDevices.keyboardDevice, nullptr);
  uint8_t keys[256];
  std::memset(keys, 5, sizeof(keys));
  ASSERT_EQ(GetAllKeyStates(keys), 0);
  for (int i = 0; i < 256; i++) ASSERT_EQ(keys[i], 0) << i;
  g_inputDevices.lastKeyboardRead--;
  EXPECT_EQ(UpdateKeyboardState(), 1);  // really read, through the virtual keys
  EXPECT_EQ(IsKeyDownByCode(0x01), 0);
  EXPECT_EQ(GetMouseButtonState(), 0);
  EXPECT_EQ(LibraryEnd(), 0);
  EXPECT_FALSE(IsInputStarted());
}

TEST_F(SdlInputTest, TheKeyboardDeviceAnswersWithEveryKeyUp) {
  g_osCode = 263;
  ASSERT_EQ(InitInputSystem(), 0);
  g_inputDevices.lastKeyboardRead--;
  EXPECT_EQ(UpdateKeyboardState(), 1);
  for (int i = 0; i < 256; i++) ASSERT_EQ(g_inputDevices.keyState[i], 0) << i;
  MouseState mouse;
  ASSERT_EQ(g_inputDevices.mouseDevice->Acquire(), 0);
  ASSERT_EQ(g_inputDevices.mouseDevice->GetDeviceState(&mouse, sizeof(mouse)), 0);
  for (uint8_t b : mouse.buttons) EXPECT_EQ(b, 0);
}

TEST_F(SdlInputTest, ScancodesMapToKeyCodesAndAgreeWithTheVirtualKeyPath) {
  EXPECT_EQ(KeyCodesFor(kUsbA), std::set<int>{0x1E});
  EXPECT_EQ(KeyCodesFor(kUsbZ), std::set<int>{0x2C});
  EXPECT_EQ(KeyCodesFor(kUsbEscape), std::set<int>{0x01});
  EXPECT_EQ(KeyCodesFor(kUsbReturn), std::set<int>{0x1C});
  EXPECT_EQ(KeyCodesFor(kUsbKeypadEnter), std::set<int>{0x9C});
  EXPECT_EQ(KeyCodesFor(kUsbUp), std::set<int>{0xC8});
  EXPECT_EQ(KeyCodesFor(kUsbRightShift), std::set<int>{0x36});
  EXPECT_EQ(KeyCodesFor(kUsbYen), std::set<int>{0x7D});

  // Keys that sit alike on every layout give the same code either way.
  std::vector<int> common;
  for (int s = kUsbA; s <= kUsb0; s++) common.push_back(s);
  for (int s = kUsbF1; s <= kUsbF12; s++) common.push_back(s);
  for (int s = kUsbInsert; s <= kUsbUp; s++) common.push_back(s);
  for (int s = kUsbKeypad1; s <= kUsbKeypad0; s++) common.push_back(s);
  for (int s = kUsbLeftCtrl; s <= kUsbRightAlt; s++)
    if (s != 227) common.push_back(s);  // the left logo key has no row
  common.push_back(kUsbEscape);
  for (int s : common) EXPECT_EQ(KeyCodesThroughVirtualKeys(s), KeyCodesFor(s)) << "scancode " << s;

  // Return and the keypad's Enter share a virtual key, so both codes come.
  EXPECT_EQ(KeyCodesThroughVirtualKeys(kUsbReturn), (std::set<int>{0x1C, 0x9C}));
  EXPECT_EQ(KeyCodesThroughVirtualKeys(kUsbKeypadEnter), (std::set<int>{0x1C, 0x9C}));
  // Japanese legends: the key right of L is the colon, right of P the at.
  EXPECT_EQ(KeyCodesThroughVirtualKeys(kUsbApostrophe), std::set<int>{0x92});
  EXPECT_EQ(KeyCodesThroughVirtualKeys(kUsbLeftBracket), std::set<int>{0x91});
  EXPECT_EQ(KeyCodesThroughVirtualKeys(kUsbYen), std::set<int>{0x7D});
}

TEST_F(SdlInputTest, VirtualKeyStateCarriesButtonsModifiersAndToggles) {
  uint8_t scancodes[512] = {};
  scancodes[kUsbRightShift] = 1;
  uint8_t vk[256];
  // SDL's button mask: bit 0 left, bit 1 middle, bit 2 right.
  MapScancodesToVirtualKeys(scancodes, 512, 1u | 4u, 1u, vk);
  EXPECT_EQ(vk[0x01], 0x80);  // left
  EXPECT_EQ(vk[0x02], 0x80);  // right
  EXPECT_EQ(vk[0x04], 0);     // middle
  EXPECT_EQ(vk[0x10], 0x80);  // either shift
  EXPECT_EQ(vk[0xA1], 0x80);
  EXPECT_EQ(vk[0xA0], 0);
  EXPECT_EQ(vk[0x14], 0x01);  // caps lock on, not held
  // A short state array (fewer scancodes than the tables know) is safe.
  MapScancodesToVirtualKeys(scancodes, 10, 0, 0, vk);
  EXPECT_EQ(vk[0xA1], 0);
}

TEST_F(SdlInputTest, AxisScalingHonoursRangeAndDeadZone) {
  EXPECT_EQ(ScaleJoypadAxis(32767, -1000, 1000, 2500), 1000);
  EXPECT_EQ(ScaleJoypadAxis(-32768, -1000, 1000, 2500), -1000);
  EXPECT_EQ(ScaleJoypadAxis(16384, -1000, 1000, 2500), 333);   // (0.500015 - 0.25) / 0.75
  EXPECT_EQ(ScaleJoypadAxis(-8000, -1000, 1000, 2500), 0);     // inside the dead zone
  EXPECT_EQ(ScaleJoypadAxis(-16384, -1000, 1000, 0), -500);
  EXPECT_EQ(ScaleJoypadAxis(0, 0, 65535, 0), 32768);           // 32767.5 rounds up
}

TEST_F(SdlInputTest, KeyEventsSignalTheKeyboardAndWheelNotchesReachTheMouse) {
  g_osCode = 263;
  ASSERT_EQ(InitInputSystem(), 0);
  InputEvent* event = g_inputDevices.keyboardEvent;
  ASSERT_NE(event, nullptr);
  event->Reset();
  ASSERT_EQ(PushKeyEvent(kUsbZ, 1), 0);
  EXPECT_TRUE(event->IsSignalled());

  InputDevice* mouse = g_inputDevices.mouseDevice;
  ASSERT_EQ(mouse->Acquire(), 0);
  MouseState state;
  ASSERT_EQ(mouse->GetDeviceState(&state, sizeof(state)), 0);
  ASSERT_EQ(PushMouseWheelEvent(2), 0);
  ASSERT_EQ(PushMouseWheelEvent(-1), 0);
  ASSERT_EQ(mouse->GetDeviceState(&state, sizeof(state)), 0);
  EXPECT_EQ(state.z, 120);
  ASSERT_EQ(mouse->GetDeviceState(&state, sizeof(state)), 0);
  EXPECT_EQ(state.z, 0);
  EXPECT_LT(mouse->GetDeviceState(&state, 16), 0);  // wrong record size
}

TEST_F(SdlInputTest, VirtualControllerGivesAxesButtonsHatAndRumbles) {
  int index = AttachVirtualJoypad(6, 12, 1);
  if (index < 0) GTEST_SKIP() << "SDL cannot make virtual controllers here";
  ASSERT_EQ(InitInputSystem(), 0);
  ASSERT_EQ(g_inputDevices.padCount, 1);
  EXPECT_STREQ(g_inputDevices.pads[0].productName, "Virtual Pad");
  ASSERT_NE(g_inputDevices.pads[0].effect1, nullptr);
  ASSERT_NE(g_inputDevices.pads[0].effect2, nullptr);

  SetVirtualJoypadAxis(index, 0, 32767);
  SetVirtualJoypadAxis(index, 1, 16384);
  SetVirtualJoypadAxis(index, 2, -8000);
  SetVirtualJoypadAxis(index, 3, 0);
  SetVirtualJoypadButton(index, 0, 1);
  SetVirtualJoypadButton(index, 11, 1);
  SetVirtualJoypadHat(index, 0, 2 | 4);  // right and down
  ASSERT_EQ(ReadJoypadState(1), 0);
  const JoystickState& state = g_inputDevices.pads[0].joystickState;
  EXPECT_EQ(state.x, 1000);
  EXPECT_EQ(state.y, 333);
  EXPECT_EQ(state.z, 0);
  EXPECT_EQ(state.rx, 32768);  // no range set: the full 0..65535
  EXPECT_EQ(state.buttons[0], 0x80);
  EXPECT_EQ(state.buttons[1], 0);
  EXPECT_EQ(state.buttons[11], 0x80);
  EXPECT_EQ(state.pov[0], 13500u);
  EXPECT_EQ(state.pov[1], kPovCentred);

  JoypadRecord& pad = g_inputDevices.pads[0];
  pad.vibrating = 1;
  pad.power = 10000;
  pad.timeLimit = -1;
  RefreshJoypadEffects();
  uint16_t low, high;
  int calls;
  GetVirtualJoypadRumble(index, &low, &high, &calls);
  EXPECT_EQ(low, 0xFFFF);
  EXPECT_EQ(high, 0xFFFF);
  pad.power = 3000;  // the sine's motor stops
  RefreshJoypadEffects();
  GetVirtualJoypadRumble(index, &low, &high, &calls);
  EXPECT_EQ(low, 0xFFFF);
  EXPECT_EQ(high, 0);
  StopJoypadVibration(1);
  GetVirtualJoypadRumble(index, &low, &high, &calls);
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 0);
}

TEST_F(SdlInputTest, PlainStartAsksControllersForTheirAxes) {
  int index = AttachVirtualJoypad(4, 2, 0);
  if (index < 0) GTEST_SKIP() << "SDL cannot make virtual controllers here";
  g_inputDevices.win32Mode = 1;
  ASSERT_EQ(InitInputSystem(), 0);
  EXPECT_EQ(g_inputDevices.pads[0].hasZAndR, 1);
  EXPECT_EQ(g_inputDevices.pads[1].hasZAndR, 0);
  EXPECT_EQ(g_inputDevices.padCount, 16);
}

}  // namespace
