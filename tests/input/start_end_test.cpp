// Starting and ending the input devices, and every way a device can refuse.
#include <algorithm>

#include "input_fixture.h"

namespace {

using Lines = std::vector<std::string>;

int CountLines(const Lines& lines, const std::string& text) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                        [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}

TEST_F(InputTest, StartMakesEveryDeviceAndEndReleasesThemAll) {
  devices.attachedPads = 2;
  NamePad(devices.pads[0], "Pad One", "Maker One");
  NamePad(devices.pads[1], "Pad Two", "Maker Two");

  ASSERT_EQ(InitInputSystem(), 0);
  EXPECT_EQ(devices.objectVersion, 7);
  EXPECT_EQ(g_inputDevices.directInput8, 0);
  EXPECT_EQ(host.bringCalls, 1);
  EXPECT_GE(host.messageCalls, 1);

  ASSERT_EQ(g_inputDevices.padCount, 2);
  EXPECT_STREQ(g_inputDevices.pads[1].instanceName, "Pad Two");
  EXPECT_STREQ(g_inputDevices.pads[1].productName, "Maker Two");
  for (int i = 0; i < 2; i++) {
    const JoypadRecord& pad = g_inputDevices.pads[i];
    const ScriptedDeviceModel& model = devices.pads[i];
    EXPECT_NE(pad.effect1, nullptr);
    EXPECT_NE(pad.effect2, nullptr);
    EXPECT_NE(pad.event, nullptr);
    EXPECT_EQ(pad.power, 10000);
    EXPECT_EQ(pad.vibrating, 0);
    EXPECT_EQ(model.format, InputDataFormat::Joystick);
    EXPECT_EQ(model.cooperativeLevel, 5);  // exclusive, foreground
    EXPECT_EQ(model.acquired, 1);
    for (int axis = 0; axis < 4; axis++) {
      EXPECT_EQ(model.rangeMin[axis], -1000);
      EXPECT_EQ(model.rangeMax[axis], 1000);
      EXPECT_EQ(model.deadZone[axis], 2500);
    }
    EXPECT_EQ(model.event, pad.event);
  }
  const InputEffectParameters& constant = devices.pads[0].effects[0].parameters;
  EXPECT_EQ(constant.polar, 0);
  EXPECT_EQ(constant.durationUs, kInputInfinite);
  EXPECT_EQ(constant.magnitude, 10000);
  EXPECT_EQ(constant.hasEnvelope, 0);
  const InputEffectParameters& sine = devices.pads[0].effects[1].parameters;
  EXPECT_EQ(sine.polar, 1);
  EXPECT_EQ(sine.periodUs, 1500000u);
  EXPECT_EQ(sine.attackTimeUs, 500000u);
  EXPECT_EQ(sine.fadeTimeUs, 1000000u);
  EXPECT_EQ(sine.magnitude, 10000);

  EXPECT_EQ(devices.mouse.format, InputDataFormat::Mouse);
  EXPECT_EQ(devices.mouse.cooperativeLevel, 0xA);  // shared, background
  EXPECT_EQ(devices.mouse.acquired, 0);            // only the first read acquires it
  EXPECT_EQ(devices.keyboard.format, InputDataFormat::Keyboard);
  EXPECT_EQ(devices.keyboard.cooperativeLevel, 0xA);
  EXPECT_EQ(devices.keyboard.bufferSize, 100u);
  EXPECT_EQ(devices.keyboard.acquired, 1);
  EXPECT_NE(devices.keyboard.event, nullptr);

  // The first pad's default keys; every other input has none.
  const auto& keys = g_inputDevices.padKeyAssignment.pads;
  EXPECT_EQ(keys[0][0].keyCodes[0], 0x50);
  EXPECT_EQ(keys[0][0].keyCodes[1], 0xD0);
  EXPECT_EQ(keys[0][3].keyCodes[1], 0xC8);
  EXPECT_EQ(keys[0][4].keyCodes[0], 0x2C);
  EXPECT_EQ(keys[0][4].keyCodes[1], -1);
  EXPECT_EQ(keys[0][13].keyCodes[0], 0x39);
  EXPECT_EQ(keys[0][14].keyCodes[0], -1);
  EXPECT_EQ(keys[1][0].keyCodes[0], -1);
  EXPECT_EQ(keys[15][31].keyCodes[1], -1);

  EXPECT_EQ(InitInputSystem(), 0);  // already started: nothing more is made
  EXPECT_EQ(EndInputSystem(), 0);
  EXPECT_FALSE(IsInputStarted());
  EXPECT_EQ(devices.liveObjects, 0);
  EXPECT_EQ(EndInputSystem(), 0);

  const Lines expected = {
      "DirectInput関係初期化処理",
      "\tDirectInput7 の取得中... 成功",
      "\t\t引き続き初期化処理... 初期化成功",
      "\tジョイパッドの初期化... ",
      "\t入力装置を見つけました",
      "\t\tデバイスの登録名:Pad One",
      "\t\tデバイスの製品登録名:Maker One",
      "\tジョイパッドの追加は正常に終了しました",
      "\t入力装置を見つけました",
      "\t\tデバイスの登録名:Pad Two",
      "\t\tデバイスの製品登録名:Maker Two",
      "\tジョイパッドの追加は正常に終了しました",
      "\tジョイパッドの初期化は正常に終了しました",
      "\tマウスデバイスの初期化... 初期化成功",
      "\tキーボードデバイスの初期化... 初期化成功",
      "DirectInput 関連の初期化は正常に終了しました",
      "DirectInput 関連の終了処理... 完了",
  };
  EXPECT_EQ(LogLines(), expected);
}

TEST_F(InputTest, VersionEightStandsInWhenVersionSevenCannotBeMadeOrStarted) {
  devices.createObject[0].remaining = 1;
  ASSERT_EQ(InitInputSystem(), 0);
  EXPECT_EQ(devices.objectVersion, 8);
  EXPECT_EQ(g_inputDevices.directInput8, 1);
  EndInputSystem();
  Lines lines = LogLines();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[1], "\tDirectInput7 の取得中... 取得に失敗。");
  EXPECT_EQ(lines[2], "\tエラーコード 0xffffffff");
  EXPECT_EQ(lines[3], "\t");  // the text's own line feed after the one LogPrintf adds
  EXPECT_EQ(lines[4], "\tDirectInput8 の取得を試みます...成功");

  devices.initializeObject[0].remaining = 1;
  ASSERT_EQ(InitInputSystem(), 0);
  EXPECT_EQ(devices.objectVersion, 8);
  EXPECT_GT(devices.liveObjects, 0);
  EndInputSystem();
  EXPECT_EQ(devices.liveObjects, 0);  // the version-seven object that failed to start went too
  EXPECT_EQ(CountLines(LogLines(), "\t\t引き続き初期化処理... 初期化に失敗。DirectInput8 の取得を試みます...成功"), 1);
  // Each indent is undone: the end line stands at the left margin.
  EXPECT_EQ(LogLines().back(), "DirectInput 関連の終了処理... 完了");
}

TEST_F(InputTest, WithoutEitherObjectInputRunsOnTheVirtualKeyState) {
  devices.createObject[0].remaining = -1;
  devices.initializeObject[1].remaining = -1;
  devices.joystickIds = 2;
  devices.joystickCaps[0] = 3;  // Z and R
  devices.joystickCaps[1] = 1;  // Z only

  ASSERT_EQ(InitInputSystem(), 0);
  EXPECT_TRUE(IsInputStarted());
  EXPECT_FALSE(HasDirectInput());
  EXPECT_EQ(g_inputDevices.win32Mode, 1);
  EXPECT_EQ(g_inputDevices.padCount, 16);
  EXPECT_EQ(g_inputDevices.pads[0].hasZAndR, 1);
  EXPECT_EQ(g_inputDevices.pads[1].hasZAndR, 0);
  EXPECT_EQ(g_inputDevices.padKeyAssignment.pads[0][1].keyCodes[1], 0xCB);
  EXPECT_EQ(devices.liveObjects, 0);

  // Nothing to acquire or vibrate in this mode.
  EXPECT_EQ(AcquireInputDevices(), 0);
  EXPECT_EQ(RefreshJoypadEffects(), 0);
  EXPECT_EQ(UpdateJoypadVibrationTimers(), 0);
  EXPECT_EQ(InitJoypads(), -1);

  EXPECT_EQ(EndInputSystem(), 0);
  EXPECT_FALSE(IsInputStarted());

  const Lines expected = {
      "DirectInput関係初期化処理",
      "\tDirectInput7 の取得中... 取得に失敗。",
      "\tエラーコード 0xffffffff",
      "\t",
      "\tDirectInput8 の取得を試みます...成功",
      "\t\t引き続き初期化処理... 初期化に失敗。DirectInput を使用しません。",
      "\tパッドの数は 2 個です",
      "\t",
      "入力関連の初期化をしました",
      "入力関連の終了処理... 完了",
  };
  EXPECT_EQ(LogLines(), expected);

  // The mode outlives the end: the next start tries no object at all.
  ASSERT_EQ(InitInputSystem(), 0);
  EXPECT_EQ(CountLines(LogLines(), "DirectInput関係初期化処理"), 1);
  EXPECT_EQ(CountLines(LogLines(), "DirectInput7 の取得中"), 1);
  EXPECT_EQ(CountLines(LogLines(), "入力関連の初期化をしました"), 2);
}

TEST_F(InputTest, AJoypadThatFailsASetUpStepIsSkippedAndTheNextOneAdded) {
  const struct {
    InputCall call;
    const char* text;
  } cases[] = {
      {InputCall::CreateDevice, "入力装置の取得に失敗しました"},
      {InputCall::SetDataFormat, "ジョイパッドデバイスではありませんでした、又は設定に失敗しました"},
      {InputCall::RangeX, "ジョイパッドデバイスのＸ軸関係の設定に失敗しました"},
      {InputCall::RangeY, "ジョイパッドデバイスのＹ軸関係の設定に失敗しました"},
      {InputCall::DeadZoneX, "ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました"},
      {InputCall::DeadZoneY, "ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました"},
      {InputCall::SetEventNotification, "ジョイパッドイベントのセットアップが失敗しました"},
  };
  devices.attachedPads = 2;
  NamePad(devices.pads[0], "Broken", "Broken");
  NamePad(devices.pads[1], "Good", "Good");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    devices.pads[0].Fail(c.call, 1);
    ASSERT_EQ(InitInputSystem(), 0);
    EXPECT_EQ(g_inputDevices.padCount, 1);
    EXPECT_STREQ(g_inputDevices.pads[0].instanceName, "Good");
    EXPECT_EQ(devices.pads[0].exists, 0);
    EXPECT_EQ(devices.pads[0].effects[0].exists + devices.pads[0].effects[1].exists, 0);
    EXPECT_TRUE(LogHas(std::string("\t") + c.text));
    EndInputSystem();
    EXPECT_EQ(devices.liveObjects, 0);
  }
}

TEST_F(InputTest, AJoypadWhoseOptionalStepsFailIsStillAdded) {
  devices.attachedPads = 4;
  devices.pads[0].Fail(InputCall::SetCooperativeLevel);
  devices.pads[0].Fail(InputCall::RangeZ);
  devices.pads[0].Fail(InputCall::DeadZoneRz);
  devices.pads[1].Fail(InputCall::CreateSine);
  devices.pads[2].Fail(InputCall::CreateConstantForce);
  devices.pads[3].notificationResult = kInputPolledDevice;

  ASSERT_EQ(InitInputSystem(), 0);
  ASSERT_EQ(g_inputDevices.padCount, 4);
  EXPECT_TRUE(LogHas("ジョイパッドデバイスの協調レベルの設定に失敗しました"));
  EXPECT_EQ(g_inputDevices.pads[1].effect2, nullptr);
  EXPECT_NE(g_inputDevices.pads[1].effect1, nullptr);
  EXPECT_EQ(g_inputDevices.pads[2].effect1, nullptr);
  EXPECT_NE(g_inputDevices.pads[2].effect2, nullptr);
  EXPECT_EQ(CountLines(LogLines(), "周期的エフェクトの作成に失敗しました。"), 1);
  EXPECT_NE(g_inputDevices.pads[3].device, nullptr);
}

TEST_F(InputTest, EnumerationStopsAfterTheSixteenthJoypad) {
  devices.attachedPads = 18;
  ASSERT_EQ(InitInputSystem(), 0);
  EXPECT_EQ(g_inputDevices.padCount, 16);
  EXPECT_EQ(devices.pads[15].exists, 1);
  EXPECT_EQ(devices.pads[16].exists, 0);
  EXPECT_EQ(CountLines(LogLines(), "入力装置を見つけました"), 16);

  // A fresh enumeration releases the old pads first.
  devices.attachedPads = 1;
  EXPECT_EQ(InitJoypads(), 0);
  EXPECT_EQ(g_inputDevices.padCount, 1);
  EXPECT_EQ(devices.pads[1].exists, 0);
}

TEST_F(InputTest, AMouseOrKeyboardThatCannotBeSetUpEndsTheProgram) {
  const struct {
    bool mouse;
    InputCall call;
    int times;
    const char* text;
  } cases[] = {
      {true, InputCall::CreateDevice, 1, "マウスデバイスの取得に失敗しました"},
      {true, InputCall::SetDataFormat, 1, "マウスデバイスのデータ形式の設定に失敗しました"},
      {true, InputCall::SetCooperativeLevel, 1, "マウスデバイスの協調レベルの設定に失敗しました"},
      {false, InputCall::CreateDevice, 1, "キーボードデバイスの取得に失敗しました"},
      {false, InputCall::SetDataFormat, 1, "キーボードデバイスのデータ形式の設定に失敗しました"},
      {false, InputCall::SetCooperativeLevel, 1, "キーボードデバイスの協調レベルの設定に失敗しました"},
      {false, InputCall::Acquire, 2, "キーボードデバイスの取得に失敗しました"},
  };
  devices.attachedPads = 1;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    host.fatalTexts.clear();
    (c.mouse ? devices.mouse : devices.keyboard).Fail(c.call, c.times);
    InitInputSystem();
    ASSERT_EQ(host.fatalTexts.size(), 1u);
    EXPECT_EQ(host.fatalTexts[0], c.text);
    // Everything made before the failure is gone before the exit.
    EXPECT_FALSE(IsInputStarted());
    EXPECT_EQ(devices.liveObjects, 0);
  }
}

TEST_F(InputTest, KeyboardSetUpStepsThatMayFail) {
  devices.keyboard.Fail(InputCall::Acquire, 1);
  devices.keyboard.Fail(InputCall::SetBufferSize, 1);
  ASSERT_EQ(InitInputSystem(), 0);
  EXPECT_TRUE(host.fatalTexts.empty());
  EXPECT_EQ(devices.keyboard.acquireCalls, 2);
  EXPECT_EQ(devices.keyboard.acquired, 1);
  EXPECT_TRUE(LogHas("\tキーボードデバイスの初期化... キーボードのプロパティ設定に失敗しました"));
}

TEST_F(InputTest, KeyboardWithoutEventStartsUnacquiredAndReturnsOne) {
  devices.keyboard.Fail(InputCall::SetEventNotification, 1);
  ASSERT_EQ(InitInputSystem(), 1);
  EXPECT_TRUE(IsInputStarted());
  EXPECT_NE(g_inputDevices.keyboardDevice, nullptr);
  EXPECT_EQ(g_inputDevices.keyboardEvent, nullptr);
  EXPECT_EQ(devices.keyboard.acquired, 0);
  EXPECT_EQ(g_inputDevices.padKeyAssignment.pads[0][0].keyCodes[0], 0);  // defaults not written
  EXPECT_TRUE(LogHas("\tキーボードデバイスの初期化... キーボードイベントのセットアップが失敗しました"));

  // The first read acquires the keyboard.
  devices.now++;
  devices.keyboard.keys[0x2C] = 0x80;
  uint8_t keys[256];
  ASSERT_EQ(GetAllKeyStates(keys), 0);
  EXPECT_EQ(keys[0x2C], 1);
  EXPECT_EQ(devices.keyboard.acquired, 1);

  EndInputSystem();
  EXPECT_EQ(LogLines().back(), "DirectInput 関連の終了処理... 完了");  // indent undone
}

TEST_F(InputTest, AWindowProcedureThatEndsInputDuringTheStartLeavesNothing) {
  host.duringMessages = [] { EndInputSystem(); };
  EXPECT_EQ(InitInputSystem(), 0);
  host.duringMessages = nullptr;
  EXPECT_FALSE(IsInputStarted());
  EXPECT_EQ(devices.liveObjects, 0);
}

}  // namespace
