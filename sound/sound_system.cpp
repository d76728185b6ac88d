#include "sound/sound_system.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "sound/music.h"

SoundSystemGlobals g_soundSystem;

namespace {

constexpr int kPriorityLevel = 2;
constexpr uint32_t kSilentBufferFlags = kAudioBufferGetCurrentPosition2 | kAudioBufferStatic;
constexpr WaveFormat kSilentFormat = PcmWaveFormat(2, 44100, 16);

// Writes a formatted text as it stands (its own line ends included).
void LogFormatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogFormatted(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  LogWrite(text);
}

const char* OkOrNo(uint32_t flags, uint32_t flag) { return (flags & flag) ? "OK" : "NO"; }

// A failed device set-up leaves the sound system not started.
int AbandonDevice(const char* message) {
  LogWrite(message);
  if (g_soundSystem.primaryBuffer) AudioBufferRelease(g_soundSystem.primaryBuffer);
  g_soundSystem.primaryBuffer = nullptr;
  AudioDeviceRelease(g_soundSystem.device);
  g_soundSystem.device = nullptr;
  return -1;
}

void SetPrimaryFormat() {
  AudioDeviceCaps caps{};
  bool ok = AudioDeviceGetCaps(g_soundSystem.device, &caps) == 0;
  if (ok) {
    const WaveFormat format =
        PcmWaveFormat((caps.flags & kAudioCapsPrimaryStereo) ? 2 : 1,
                      caps.maxSecondarySampleRate < 44100 ? caps.maxSecondarySampleRate : 44100,
                      (caps.flags & kAudioCapsPrimary16Bit) ? 16 : 8);
    ok = AudioBufferSetFormat(g_soundSystem.primaryBuffer, &format) == 0;
  }
  if (!ok) LogWrite("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");
}

// An endless silent buffer keeps the output running between sounds.
void StartSilentBuffer() {
  WaveBuffer* silent = &g_soundSystem.silentBuffer;
  AudioBufferDesc description = {kSilentBufferFlags, static_cast<uint32_t>(kSilentFormat.blockAlign * 100),
                                 &kSilentFormat};
  if (CreateWaveBuffer(silent, &description) != 0) {
    LogPrintf("無音バッファの作成に失敗しました");
    return;
  }
  void *part1, *part2;
  uint32_t size1, size2;
  if (LockWaveBuffer(silent, 0, description.bufferBytes, &part1, &size1, &part2, &size2) != 0) {
    LogPrintf("無音バッファのロックに失敗しました");
    ReleaseWaveBuffer(silent);
    return;
  }
  std::memset(part1, 0, size1);
  if (part2) std::memset(part2, 0, size2);
  UnlockWaveBuffer(silent, part1, size1, part2, size2);
  PlayWaveBuffer(silent, 1);
}

void LogDeviceReport() {
  LogIndentIn();
  AudioDeviceCaps caps{};
  AudioDeviceGetCaps(g_soundSystem.device, &caps);
  LogWrite("DirectSound デバイスを列挙します\n");
  LogIndentIn();
  AudioDeviceEnumFunction enumerate = nullptr;
  if (AudioDeviceListerLoad() != 0) {
    LogWrite("DSOUND.DLL のロードに失敗しました\n");
  } else if (!(enumerate = AudioDeviceListerGetEnumerate())) {
    AudioDeviceListerFree();
    LogWrite("DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
  }
  if (!enumerate) {
    // Both levels are left, so later log lines keep their indent.
    LogIndentOut();
    LogIndentOut();
    return;
  }
  enumerate(EnumSoundDeviceCallback, nullptr);
  LogIndentOut();
  LogPrintf("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
            caps.maxSecondarySampleRate / 1000.0, caps.minSecondarySampleRate / 1000.0);
  LogFormatted("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n", caps.totalHwMemBytes / 1024.0,
               caps.freeHwMemBytes / 1024.0);
  LogWrite("利用可能サンプリング精度\n");
  LogPrintf(" プライマリ １６bit = %s  ８bit = %s ", OkOrNo(caps.flags, kAudioCapsPrimary16Bit),
            OkOrNo(caps.flags, kAudioCapsPrimary8Bit));
  LogFormatted(" セカンダリ １６bit = %s  ８bit = %s \n", OkOrNo(caps.flags, kAudioCapsSecondary16Bit),
               OkOrNo(caps.flags, kAudioCapsSecondary8Bit));
  LogWrite("利用可能チャンネル\n");
  LogPrintf(" プライマリ MONO = %s  STEREO = %s ", OkOrNo(caps.flags, kAudioCapsPrimaryMono),
            OkOrNo(caps.flags, kAudioCapsPrimaryStereo));
  LogFormatted(" セカンダリ MONO = %s  STEREO = %s \n", OkOrNo(caps.flags, kAudioCapsSecondaryMono),
               OkOrNo(caps.flags, kAudioCapsSecondaryStereo));
  LogIndentOut();
  AudioDeviceListerFree();
}

int InitPlainSound() {
  LogWrite("DirectSound の初期化を行います\n");
  LogWrite("DirectSound インターフェースの取得を行います....  ");
  g_soundSystem.device = AudioDeviceCreate();
  if (!g_soundSystem.device) {
    LogWrite("DirectSoundインターフェースの作成に失敗しました\n");
    return -1;
  }
  LogWrite("成功\n");
  LogWrite("引き続きインターフェースの初期化処理...  ");
  if (AudioDeviceInitialize(g_soundSystem.device) != 0) return AbandonDevice("初期化に失敗しました\n");
  LogWrite("成功\n");
  if (AudioDeviceSetCooperativeLevel(g_soundSystem.device, kPriorityLevel) != 0) {
    return AbandonDevice("DirectSoundの協調レベルの設定に失敗しました\n");
  }
  AudioBufferDesc primary = {kAudioBufferPrimary, 0, nullptr};
  g_soundSystem.primaryBuffer = AudioBufferCreate(g_soundSystem.device, &primary);
  if (!g_soundSystem.primaryBuffer) {
    return AbandonDevice("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
  }
  SetPrimaryFormat();
  StartSilentBuffer();
  g_soundSystem.createSoundMode = 0;
  g_soundSystem.oggBytesPerSample = 2;
  ListInit(&g_soundSystem.streamSoundList);
  LogDeviceReport();
  LogWrite("DirectSound の初期化は正常に終了しました\n");
  DeleteAllSoundHandles();
  return 0;
}

}  // namespace

int EnumSoundDeviceCallback(const void* guid, const char* description, const char* module, void* context) {
  LogPrintf("モジュール名:%15s  ドライバ記述:%s ", module ? module : "", description ? description : "");
  return 1;
}

int InitSoundSystem() {
  if (g_soundSystem.device) return -1;
  if (g_soundSystem.musicMode == 1) {
    LogWrite("DirectSound8 の初期化を行います\n");
    // No synthesiser exists here, so this always falls back to plain sound.
    if (AudioMusicLoaderCreate() != 0) {
      LogWrite("DirectMusicLoader8 オブジェクトの作成に失敗しました\n");
      LogWrite("前バージョンでの初期化処理に移ります\n");
      g_soundSystem.musicMode = 0;
    }
  }
  return InitPlainSound();
}

int TerminateSoundSystem() {
  if (!g_soundSystem.device) return -1;
  FinishCaptureWavFile();
  DeleteAllSoundHandles();
  DeleteAllMidiHandles();
  DeleteTempMidiFile();
  if (g_soundSystem.primaryBuffer) {
    AudioBufferStop(g_soundSystem.primaryBuffer);
    AudioBufferRelease(g_soundSystem.primaryBuffer);
    g_soundSystem.primaryBuffer = nullptr;
  }
  if (g_soundSystem.silentBuffer.inUse) {
    StopWaveBuffer(&g_soundSystem.silentBuffer);
    ReleaseWaveBuffer(&g_soundSystem.silentBuffer);
  }
  AudioDeviceRelease(g_soundSystem.device);
  g_soundSystem.device = nullptr;
  LogWrite("DirectSound の終了処理は正常に終了しました\n");
  return 0;
}
