// Sound system start and end on the manual, SDL dummy and missing devices,
// its log, and the capture file.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "core/log.h"
#include "sound/sound_system.h"
#include "tests/sound/soundout_support.h"
#include "tests/support/environment_value.h"

namespace {

namespace fs = std::filesystem;

class SoundSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("varnok_soundout_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    logPath = (dir / "Log.txt").string();
    LogClose();
    EnableLogFile(1);
    ASSERT_EQ(LogOpen(logPath.c_str()), 0);
    AudioSetFailuresForTest(0);
    AudioSetCapsForTest(nullptr);
    AudioSelectOutput(AudioOutputKind::Manual);
    g_soundSystem.musicMode = 0;
  }
  void TearDown() override {
    AudioSetFailuresForTest(0);
    TerminateSoundSystem();
    AudioSetCapsForTest(nullptr);
    AudioSelectOutput(AudioOutputKind::Sdl);
    LogClose();
    fs::remove_all(dir);
  }

  // The log's lines without their time stamps (indent TABs kept).
  std::vector<std::string> LogLines() {
    std::ifstream in(logPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(text, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      size_t colon = line.find(':');
      lines.push_back(colon == std::string::npos ? line : line.substr(colon + 1));
    }
    return lines;
  }
  bool Logged(const std::string& wanted) {
    for (const std::string& line : LogLines()) {
      if (line == wanted) return true;
    }
    return false;
  }
  bool LoggedPart(const std::string& part) {
    for (const std::string& line : LogLines()) {
      if (line.find(part) != std::string::npos) return true;
    }
    return false;
  }
  WaveFormat PrimaryFormat() {
    WaveFormat f{};
    EXPECT_EQ(AudioBufferGetFormat(g_soundSystem.primaryBuffer, &f), 0);
    return f;
  }

  fs::path dir;
  std::string logPath;
};

TEST_F(SoundSystemTest, StartsOnceEndsOnceAndLogsTheDevice) {
  EXPECT_EQ(TerminateSoundSystem(), -1);
  ASSERT_EQ(InitSoundSystem(), 0);
  EXPECT_TRUE(IsSoundSystemStarted());
  EXPECT_EQ(InitSoundSystem(), -1);
  EXPECT_TRUE(WaveFormatEquals(PrimaryFormat(), PcmFormat(2, 44100, 16)));
  uint32_t status = 0;
  ASSERT_TRUE(g_soundSystem.silentBuffer.inUse);
  EXPECT_EQ(AudioBufferGetStatus(g_soundSystem.silentBuffer.device, &status), 0);
  EXPECT_EQ(status, kAudioStatusPlaying | kAudioStatusLooping);
  EXPECT_EQ(g_soundSystem.createSoundMode, 0);
  EXPECT_EQ(g_soundSystem.oggBytesPerSample, 2);
  EXPECT_TRUE(ListAtEnd(ListFirst(&g_soundSystem.streamSoundList)));

  ASSERT_EQ(TerminateSoundSystem(), 0);
  EXPECT_FALSE(IsSoundSystemStarted());
  EXPECT_EQ(TerminateSoundSystem(), -1);
  EXPECT_FALSE(g_soundSystem.silentBuffer.inUse);

  const std::vector<std::string> expected = {
      "DirectSound の初期化を行います",
      "DirectSound インターフェースの取得を行います....  成功",
      "引き続きインターフェースの初期化処理...  成功",
      "\tDirectSound デバイスを列挙します",
      "\t\tモジュール名:         manual  ドライバ記述:Manual output ",
      "\t最大サンプリングレート:200.00KHz 最小サンプリングレート:0.10KHz ",
      "\t総サウンドメモリ領域:0.00KB 空きサウンドメモリ領域:0.00KB ",
      "\t利用可能サンプリング精度",
      "\t プライマリ １６bit = OK  ８bit = OK ",
      "\t セカンダリ １６bit = OK  ８bit = OK ",
      "\t利用可能チャンネル",
      "\t プライマリ MONO = OK  STEREO = OK ",
      "\t セカンダリ MONO = OK  STEREO = OK ",
      "DirectSound の初期化は正常に終了しました",
      "DirectSound の終了処理は正常に終了しました",
  };
  EXPECT_EQ(LogLines(), expected);
}

TEST_F(SoundSystemTest, PrimaryFormatFollowsTheCapabilities) {
  struct Case {
    uint32_t flags, maxRate;
    WaveFormat format;
  };
  const uint32_t full = kAudioCapsPrimaryStereo | kAudioCapsPrimary16Bit;
  const Case cases[] = {
      {full, 48000, PcmFormat(2, 44100, 16)},
      {full, 22050, PcmFormat(2, 22050, 16)},
      {kAudioCapsPrimaryMono | kAudioCapsPrimary8Bit, 11025, PcmFormat(1, 11025, 8)},
  };
  for (const Case& c : cases) {
    AudioDeviceCaps caps = {c.flags, 100, c.maxRate, 0, 0};
    AudioSetCapsForTest(&caps);
    ASSERT_EQ(InitSoundSystem(), 0);
    EXPECT_TRUE(WaveFormatEquals(PrimaryFormat(), c.format)) << c.maxRate;
    EXPECT_EQ(AudioDeviceMixRate(g_soundSystem.device), c.format.samplesPerSec);
    ASSERT_EQ(TerminateSoundSystem(), 0);
  }
  EXPECT_TRUE(Logged("\t プライマリ MONO = OK  STEREO = NO "));
  EXPECT_TRUE(Logged("\t最大サンプリングレート:11.03KHz 最小サンプリングレート:0.10KHz "));
}

TEST_F(SoundSystemTest, AFailedDeviceSetUpLeavesSoundNotStarted) {
  struct Case {
    uint32_t failure;
    const char* message;
  };
  const Case cases[] = {
      {AudioFailCreate, "DirectSoundインターフェースの作成に失敗しました"},
      {AudioFailInitialize, "初期化に失敗しました"},
      {AudioFailCooperativeLevel, "DirectSoundの協調レベルの設定に失敗しました"},
      {AudioFailPrimaryBuffer, "DirectSoundのプライマリサウンドバッファの作成に失敗しました"},
  };
  for (const Case& c : cases) {
    AudioSetFailuresForTest(c.failure);
    EXPECT_EQ(InitSoundSystem(), -1);
    EXPECT_FALSE(IsSoundSystemStarted());
    EXPECT_TRUE(LoggedPart(c.message)) << c.message;
    AudioSetFailuresForTest(0);
    // The device was given back: the next start works.
    ASSERT_EQ(InitSoundSystem(), 0) << c.message;
    ASSERT_EQ(TerminateSoundSystem(), 0);
  }
}

TEST_F(SoundSystemTest, OptionalStepsMayFailWithoutStoppingTheStart) {
  struct Case {
    uint32_t failure;
    const char* message;
    bool silent;
  };
  const Case cases[] = {
      {AudioFailSetFormat, "DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました", true},
      {AudioFailBufferCreate, "無音バッファの作成に失敗しました", false},
      {AudioFailBufferLock, "無音バッファのロックに失敗しました", false},
  };
  for (const Case& c : cases) {
    AudioSetFailuresForTest(c.failure);
    ASSERT_EQ(InitSoundSystem(), 0) << c.message;
    EXPECT_TRUE(Logged(c.message)) << c.message;
    EXPECT_EQ(g_soundSystem.silentBuffer.inUse != 0, c.silent) << c.message;
    AudioSetFailuresForTest(0);
    ASSERT_EQ(TerminateSoundSystem(), 0);
  }
}

TEST_F(SoundSystemTest, WithoutTheDeviceListTheReportEndsAndTheIndentComesBack) {
  for (uint32_t failure : {AudioFailListerLoad, AudioFailListerEnumerate}) {
    AudioSetFailuresForTest(failure);
    ASSERT_EQ(InitSoundSystem(), 0);
    AudioSetFailuresForTest(0);
    ASSERT_EQ(TerminateSoundSystem(), 0);
  }
  EXPECT_TRUE(Logged("\t\tDSOUND.DLL のロードに失敗しました"));
  EXPECT_TRUE(Logged("\t\tDirectSound デバイスの列挙用関数のポインタ取得に失敗しました"));
  EXPECT_FALSE(LoggedPart("最大サンプリングレート"));
  EXPECT_FALSE(LoggedPart("モジュール名"));
  EXPECT_TRUE(Logged("DirectSound の初期化は正常に終了しました"));
  EXPECT_FALSE(LoggedPart("\tDirectSound の初期化は正常に終了しました"));
}

TEST_F(SoundSystemTest, MusicModeFallsBackToPlainSound) {
  g_soundSystem.musicMode = 1;
  ASSERT_EQ(InitSoundSystem(), 0);
  EXPECT_EQ(g_soundSystem.musicMode, 0);
  auto lines = LogLines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "DirectSound8 の初期化を行います");
  EXPECT_EQ(lines[1], "DirectMusicLoader8 オブジェクトの作成に失敗しました");
  EXPECT_EQ(lines[2], "前バージョンでの初期化処理に移ります");
  EXPECT_EQ(lines[3], "DirectSound の初期化を行います");
}

TEST_F(SoundSystemTest, CaptureFileHoldsTheMixBehindItsHeader) {
  EXPECT_EQ(FinishCaptureWavFile(), -1);  // not started
  std::string path = (dir / "capture.wav").string();
  AudioSelectOutput(AudioOutputKind::Manual, path.c_str());
  ASSERT_EQ(InitSoundSystem(), 0);
  WaveFormat f = PcmFormat(1, 44100, 16);
  AudioBufferDesc description = {0x80E2, 6, &f};
  WaveBuffer b{};
  ASSERT_EQ(CreateWaveBuffer(&b, &description), 0);
  const int16_t samples[] = {1000, -2000, 3000};
  void *p1, *p2;
  uint32_t s1, s2;
  ASSERT_EQ(LockWaveBuffer(&b, 0, 6, &p1, &s1, &p2, &s2), 0);
  std::memcpy(p1, samples, 6);
  UnlockWaveBuffer(&b, p1, s1, p2, s2);
  PlayWaveBuffer(&b, 0);
  ASSERT_EQ(AudioDeviceAdvanceFrames(g_soundSystem.device, 5, nullptr), 0);
  ReleaseWaveBuffer(&b);
  ASSERT_EQ(TerminateSoundSystem(), 0);

  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::vector<uint8_t> expected = {
      'R', 'I', 'F', 'F', 58, 0, 0, 0,  // 4 * 5 + 38
      'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 18, 0, 0, 0,
      1, 0, 2, 0,                       // PCM, stereo
      0x44, 0xAC, 0, 0,                 // 44100
      0x10, 0xB1, 0x02, 0,              // 176400
      4, 0, 16, 0, 0, 0,                // block align, bits, extra size
      'd', 'a', 't', 'a', 20, 0, 0, 0,
      0xE8, 0x03, 0xE8, 0x03,           // 1000 on both sides
      0x30, 0xF8, 0x30, 0xF8,           // -2000
      0xB8, 0x0B, 0xB8, 0x0B,           // 3000
      0, 0, 0, 0, 0, 0, 0, 0,           // the sound has ended
  };
  EXPECT_EQ(bytes, expected);

  // Without a capture file there is nothing to finish.
  AudioSelectOutput(AudioOutputKind::Manual);
  ASSERT_EQ(InitSoundSystem(), 0);
  EXPECT_EQ(FinishCaptureWavFile(), -1);
}

// Polls until a looping buffer's cursor has moved (real-time outputs).
bool CursorMoves() {
  WaveFormat f = PcmFormat(2, 44100, 16);
  AudioBufferDesc description = {0x80E2, 176400, &f};
  WaveBuffer b{};
  if (CreateWaveBuffer(&b, &description) != 0) return false;
  PlayWaveBuffer(&b, 1);
  uint32_t cursor = 0;
  for (int i = 0; i < 400 && cursor == 0; i++) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    GetWaveBufferPosition(&b, &cursor);
  }
  ReleaseWaveBuffer(&b);
  return cursor != 0;
}

TEST_F(SoundSystemTest, StartsOnSdlsDummyDriver) {
  EnvironmentValue driver("SDL_AUDIODRIVER", "dummy");
  AudioSelectOutput(AudioOutputKind::Sdl);
  ASSERT_EQ(InitSoundSystem(), 0);
  EXPECT_EQ(AudioDeviceOutput(g_soundSystem.device), AudioOutputKind::Sdl);
  EXPECT_TRUE(CursorMoves());
  EXPECT_TRUE(LoggedPart("dummy  ドライバ記述:"));
}

TEST_F(SoundSystemTest, StartsWithNoAudioDeviceAtAll) {
  EnvironmentValue driver("SDL_AUDIODRIVER", "no-such-driver");
  AudioSelectOutput(AudioOutputKind::Sdl);
  ASSERT_EQ(InitSoundSystem(), 0);
  EXPECT_TRUE(IsSoundSystemStarted());
  EXPECT_EQ(AudioDeviceOutput(g_soundSystem.device), AudioOutputKind::Null);
  EXPECT_TRUE(CursorMoves());
  EXPECT_TRUE(Logged("\t\tDSOUND.DLL のロードに失敗しました"));
}

}  // namespace
