// Joypads: acquisition with the window's activation, vibration effects and
// their timers, reads, and the flags of the private window messages.
#include <climits>

#include "input_fixture.h"

namespace {

class JoypadTest : public InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    devices.attachedPads = 2;
    ASSERT_EQ(InitInputSystem(), 0);
    ASSERT_EQ(g_inputDevices.padCount, 2);
  }

  // What a caller starting a vibration would set.
  void Vibrate(int index, int power, int limit) {
    JoypadRecord& pad = g_inputDevices.pads[index];
    pad.vibrating = 1;
    pad.power = power;
    pad.timeLimit = limit;
    pad.elapsed = 0;
    pad.lastTime = devices.now & 0x7FFFFFFF;
  }
  const ScriptedEffectModel& Constant(int index) { return devices.pads[index].effects[0]; }
  const ScriptedEffectModel& Sine(int index) { return devices.pads[index].effects[1]; }
};

TEST_F(JoypadTest, ActivationSetsThePadsCooperativeLevelAndReacquires) {
  host.active = 0;
  int keyboardAcquires = devices.keyboard.acquireCalls;
  devices.pads[0].acquired = 0;
  EXPECT_EQ(AcquireInputDevices(), 0);
  for (int i = 0; i < 2; i++) {
    EXPECT_EQ(devices.pads[i].cooperativeLevel, 0xA);
    EXPECT_EQ(devices.pads[i].acquired, 1);
  }
  EXPECT_EQ(devices.keyboard.acquireCalls, keyboardAcquires + 1);
  host.active = 1;
  AcquireInputDevices();
  EXPECT_EQ(devices.pads[1].cooperativeLevel, 5);
}

TEST_F(JoypadTest, EffectsFollowTheVibratingFlagAndPower) {
  Vibrate(0, 10000, -1);
  EXPECT_EQ(RefreshJoypadEffects(), 0);
  EXPECT_EQ(Constant(0).running, 1);
  EXPECT_EQ(Sine(0).running, 1);
  EXPECT_EQ(Constant(1).running, 0);

  // At 5000 and below only the constant force runs; nothing restarts.
  g_inputDevices.pads[0].power = 5000;
  RefreshJoypadEffects();
  EXPECT_EQ(Constant(0).running, 1);
  EXPECT_EQ(Constant(0).starts, 1);
  EXPECT_EQ(Sine(0).running, 0);
  g_inputDevices.pads[0].power = 5001;
  RefreshJoypadEffects();
  EXPECT_EQ(Sine(0).running, 1);

  EXPECT_EQ(StopJoypadVibration(1), 0);
  EXPECT_EQ(g_inputDevices.pads[0].vibrating, 0);
  EXPECT_EQ(g_inputDevices.pads[0].power, 10000);
  EXPECT_EQ(Constant(0).running, 0);
  EXPECT_EQ(Sine(0).running, 0);
}

TEST_F(JoypadTest, AnInactiveWindowPausesEffectsUntilItIsActiveAgain) {
  Vibrate(1, 8000, -1);
  RefreshJoypadEffects();
  host.active = 0;
  RefreshJoypadEffects();
  EXPECT_EQ(Constant(1).running, 0);
  EXPECT_EQ(Sine(1).running, 0);
  EXPECT_EQ(g_inputDevices.pads[1].effect1Running, 0);
  EXPECT_EQ(g_inputDevices.pads[1].vibrating, 1);
  host.active = 1;
  RefreshJoypadEffects();
  EXPECT_EQ(Constant(1).running, 1);
  EXPECT_EQ(Constant(1).starts, 2);
  EXPECT_EQ(Sine(1).starts, 2);
}

TEST_F(JoypadTest, TimeLimitCountsOnlyTimeThatMovesForward) {
  devices.now = 1000;
  Vibrate(0, 10000, 100);
  RefreshJoypadEffects();
  devices.now = 1040;
  UpdateJoypadVibrationTimers();
  EXPECT_EQ(g_inputDevices.pads[0].elapsed, 40);
  UpdateJoypadVibrationTimers();  // same counter: nothing
  EXPECT_EQ(g_inputDevices.pads[0].elapsed, 40);
  devices.now = 500;  // ran backwards: taken as the new start, no time added
  UpdateJoypadVibrationTimers();
  EXPECT_EQ(g_inputDevices.pads[0].elapsed, 40);
  EXPECT_EQ(g_inputDevices.pads[0].lastTime, 500u);
  devices.now = 559;
  UpdateJoypadVibrationTimers();
  EXPECT_EQ(g_inputDevices.pads[0].vibrating, 1);
  devices.now = 560;  // 100 reached
  UpdateJoypadVibrationTimers();
  EXPECT_EQ(g_inputDevices.pads[0].vibrating, 0);
  EXPECT_EQ(Constant(0).running, 0);
  EXPECT_EQ(Sine(0).running, 0);
}

TEST_F(JoypadTest, TimersUseTheThirtyOneBitCounterAndNeverOverflow) {
  devices.now = 0x80000000u + 100;  // the counter reads 100
  Vibrate(0, 10000, 1000);
  g_inputDevices.pads[0].lastTime = 40;
  UpdateJoypadVibrationTimers();
  EXPECT_EQ(g_inputDevices.pads[0].elapsed, 60);
  EXPECT_EQ(g_inputDevices.pads[0].vibrating, 1);

  Vibrate(1, 10000, INT_MAX);
  g_inputDevices.pads[1].elapsed = INT_MAX - 5;
  g_inputDevices.pads[1].lastTime = 0;
  UpdateJoypadVibrationTimers();
  EXPECT_EQ(g_inputDevices.pads[1].elapsed, INT_MAX);
  EXPECT_EQ(g_inputDevices.pads[1].vibrating, 0);
}

TEST_F(JoypadTest, NoLimitVibratesUntilStopped) {
  Vibrate(0, 10000, -1);
  for (int i = 0; i < 5; i++) {
    devices.now += 100000;
    UpdateJoypadVibrationTimers();
  }
  EXPECT_EQ(g_inputDevices.pads[0].vibrating, 1);
  EXPECT_EQ(g_inputDevices.pads[0].elapsed, 0);
  EXPECT_EQ(Constant(0).running, 1);  // the timers refresh the effects too
}

TEST_F(JoypadTest, StopIgnoresBitTwelveAndPadsThatDoNotExist) {
  Vibrate(0, 10000, -1);
  Vibrate(1, 10000, -1);
  for (int number : {0, 3, 17, -5, 0x1000}) {
    EXPECT_EQ(StopJoypadVibration(number), 0);
  }
  EXPECT_EQ(g_inputDevices.pads[0].vibrating, 1);
  EXPECT_EQ(g_inputDevices.pads[1].vibrating, 1);
  StopJoypadVibration(0x1002);
  EXPECT_EQ(g_inputDevices.pads[1].vibrating, 0);
  EXPECT_EQ(g_inputDevices.pads[0].vibrating, 1);
  EXPECT_GE(host.waitCalls, 1);
}

TEST_F(JoypadTest, ATimerStopDoesNotWaitForAnInactiveWindow) {
  // Waiting processes messages, whose per-pass work runs the timers again:
  // the timer's own stop must not wait.
  host.active = 0;
  Vibrate(0, 10000, 10);
  int waits = host.waitCalls;
  devices.now += 20;
  UpdateJoypadVibrationTimers();
  EXPECT_EQ(g_inputDevices.pads[0].vibrating, 0);
  EXPECT_EQ(host.waitCalls, waits);
}

TEST_F(InputTest, APadWithOnlyTheSineStillStopsAtItsLimit) {
  devices.attachedPads = 1;
  devices.pads[0].Fail(InputCall::CreateConstantForce);
  ASSERT_EQ(InitInputSystem(), 0);
  JoypadRecord& pad = g_inputDevices.pads[0];
  ASSERT_EQ(pad.effect1, nullptr);
  pad.vibrating = 1;
  pad.power = 10000;
  pad.timeLimit = 50;
  pad.lastTime = devices.now;
  RefreshJoypadEffects();
  EXPECT_EQ(devices.pads[0].effects[1].running, 1);
  devices.now += 60;
  UpdateJoypadVibrationTimers();
  EXPECT_EQ(pad.vibrating, 0);
  EXPECT_EQ(devices.pads[0].effects[1].running, 0);
}

TEST_F(InputTest, VibrationNeedsAStartedSystem) {
  EXPECT_EQ(RefreshJoypadEffects(), 0);
  EXPECT_EQ(UpdateJoypadVibrationTimers(), 0);
  EXPECT_EQ(AcquireInputDevices(), 0);
  EXPECT_EQ(ReleaseJoypads(), -1);
  EXPECT_EQ(InitJoypads(), -1);
  EXPECT_FALSE(IsInputStarted());
  // The stop starts input lazily, like the key queries.
  EXPECT_EQ(StopJoypadVibration(1), 0);
  EXPECT_TRUE(IsInputStarted());
}

TEST_F(JoypadTest, ReadsCopyTheControllerIntoThePadRecord) {
  JoystickState& state = devices.pads[1].joystick;
  state.x = 1000;
  state.y = -250;
  state.rz = 17;
  state.buttons[3] = 0x80;
  state.pov[0] = 9000;
  ASSERT_EQ(ReadJoypadState(2), 0);
  const JoystickState& read = g_inputDevices.pads[1].joystickState;
  EXPECT_EQ(read.x, 1000);
  EXPECT_EQ(read.y, -250);
  EXPECT_EQ(read.rz, 17);
  EXPECT_EQ(read.buttons[3], 0x80);
  EXPECT_EQ(read.buttons[4], 0);
  EXPECT_EQ(read.pov[0], 9000u);
  EXPECT_EQ(read.pov[1], kPovCentred);

  // A lost pad is acquired once more; failing that, the record stays.
  state.x = -1000;
  devices.pads[1].Fail(InputCall::GetDeviceState, 1);
  EXPECT_EQ(ReadJoypadState(2), 0);
  EXPECT_EQ(g_inputDevices.pads[1].joystickState.x, -1000);
  state.x = 5;
  devices.pads[1].Fail(InputCall::GetDeviceState, 1);
  devices.pads[1].Fail(InputCall::Acquire, 1);
  EXPECT_EQ(ReadJoypadState(2), -1);
  EXPECT_EQ(g_inputDevices.pads[1].joystickState.x, -1000);

  EXPECT_EQ(ReadJoypadState(0), -1);
  EXPECT_EQ(ReadJoypadState(3), -1);
}

TEST_F(InputTest, PrivateMessageFlagsAreSetAndCleared) {
  SetHookFlagAOn();
  EXPECT_EQ(g_inputDevices.hookFlagA, 1);
  EXPECT_EQ(g_inputDevices.hookFlagB, 0);
  SetHookFlagBOn();
  SetHookFlagAOff();
  EXPECT_EQ(g_inputDevices.hookFlagA, 0);
  EXPECT_EQ(g_inputDevices.hookFlagB, 1);
  SetHookFlagBOff();
  EXPECT_EQ(g_inputDevices.hookFlagB, 0);
}

}  // namespace
