#include "core/window.h"

#include <cstdio>
#include <cstring>

#include "core/helpers.h"
#include "core/list.h"
#include "core/log.h"
#include "core/memory.h"
#include "input/char_input.h"
#include "input/input_system.h"
#include "movie/movie.h"
#include "network/network.h"
#include "platform/instance_lock.h"
#include "sound/music.h"

namespace {

constexpr int kTitleBytes = 256;

struct DroppedFile {
  ListNode node;
  int length;
  char* Name() { return reinterpret_cast<char*>(this + 1); }
};

struct MainWindowState {
  // Settings.
  char title[kTitleBytes] = "";
  int windowed = 0;
  int runWhenInactive = 0;
  int cursorVisible = 1;
  int allowMultipleInstances = 0;
  int clientWidth = 640;
  int clientHeight = 480;
  // The window.
  int exists = 0;
  int active = 0;
  int closing = 0;
  int destroyed = 0;
  int holdsInstanceLock = 0;
  int wheelCount = 0;
  List droppedFiles = {};
  int droppedListReady = 0;
  int droppedCount = 0;
};

// Constant-initialised, so settings made by static initialisers elsewhere are
// never overwritten by this record's own initialisation.
constinit MainWindowState g_window;

List* DroppedList() {
  if (!g_window.droppedListReady) {
    ListInit(&g_window.droppedFiles);
    g_window.droppedListReady = 1;
  }
  return &g_window.droppedFiles;
}

void AddDroppedFile(const std::string& name) {
  if (name.size() > 0x7FFFFFF0u) return;
  int length = static_cast<int>(name.size());
  auto* file = static_cast<DroppedFile*>(VN_ALLOC(sizeof(DroppedFile) + static_cast<size_t>(length) + 1));
  if (!file) {
    LogPrintf("ドロップされたファイル名を保存するメモリの確保に失敗しました");
    return;
  }
  file->length = length;
  std::memcpy(file->Name(), name.data(), static_cast<size_t>(length));
  file->Name()[length] = '\0';
  ListInsert(DroppedList(), &file->node, 0, file);
  g_window.droppedCount++;
}

void OnActivationChange(bool active) {
  g_window.active = active ? 1 : 0;
  // Graphics: pause drawing / restore the screen here.
  AcquireInputDevices();
  RefreshJoypadEffects();
  if (active) OnImeWindowActivated();
  if (active) {
    ResumeAllMovies();
  } else {
    PauseAllMovies();
  }
}

void OnMouseWheel(uint64_t wParam) {
  int delta = static_cast<int16_t>(static_cast<uint16_t>(wParam >> 16));
  if (delta == 0) return;
  int notches = delta / kWheelDelta;
  if (notches == 0) notches = delta > 0 ? 1 : -1;
  int64_t sum = static_cast<int64_t>(g_window.wheelCount) + notches;
  if (sum > INT32_MAX) sum = INT32_MAX;
  if (sum < INT32_MIN) sum = INT32_MIN;
  g_window.wheelCount = static_cast<int>(sum);
}

}  // namespace

// ---- Settings -------------------------------------------------------------

int SetWindowTitle(const char* text) {
  if (!text) return -1;
  StrCopyWholeChars(g_window.title, text, kTitleBytes);
  if (g_window.exists) GetPlatformWindow()->SetTitle(g_window.title);
  return 0;
}

const char* GetMainWindowTitle() { return g_window.title; }

int SetRunWhenInactive(int flag) {
  g_window.runWhenInactive = flag ? 1 : 0;
  return 0;
}

int GetRunWhenInactiveFlag() { return g_window.runWhenInactive; }

int ShowMouseCursor(int flag) {
  g_window.cursorVisible = flag ? 1 : 0;
  if (g_window.exists) GetPlatformWindow()->SetCursorVisible(g_window.cursorVisible != 0);
  return 0;
}

int ChangeWindowMode(int flag) {
  int windowed = flag ? 1 : 0;
  if (windowed == g_window.windowed) return 0;
  if (g_window.exists) {
    // Graphics: a running screen is set up again for the new mode here.
    if (GetPlatformWindow()->SetWindowed(windowed != 0) != 0) {
      return LogPrintf("ウインドウモードの変更に失敗しました in ChangeWindowMode");
    }
  }
  g_window.windowed = windowed;
  return 0;
}

void SetWindowModeFlag(int windowed) { g_window.windowed = windowed ? 1 : 0; }

int SetAllowMultipleInstances(int flag) {
  g_window.allowMultipleInstances = flag ? 1 : 0;
  return 0;
}

int GetAllowMultipleInstancesFlag() { return g_window.allowMultipleInstances; }

void SetMainWindowClientSize(int width, int height) {
  if (width <= 0 || height <= 0) return;
  g_window.clientWidth = width;
  g_window.clientHeight = height;
  if (g_window.exists) GetPlatformWindow()->SetFrameSize(width, height);
}

void GetMainWindowClientSize(int* width, int* height) {
  *width = g_window.clientWidth;
  *height = g_window.clientHeight;
}

// ---- Creation and destruction --------------------------------------------

int CreateMainWindow() {
  if (g_window.exists) return 0;
  if (!g_window.allowMultipleInstances) {
    if (PlatformAcquireInstanceLock(g_window.title) != 0) {
      // The log is often off, and a program that ends without a window
      // would otherwise leave its user guessing.
      char path[4096];
      if (PlatformInstanceLockPath(g_window.title, path, sizeof(path))) {
        std::fprintf(stderr, "Another copy of this program is already running (it holds the lock file %s)\n", path);
      }
      return LogPrintf("既に起動しているため、二つ目の起動を中止しました");
    }
    g_window.holdsInstanceLock = 1;
  }
  LogPrintf("メインウインドウを作成します  %dx%d %s", g_window.clientWidth, g_window.clientHeight,
            g_window.windowed ? "ウインドウモード" : "フルスクリーンモード");
  WindowSettings settings;
  settings.title = g_window.title;
  settings.width = g_window.clientWidth;
  settings.height = g_window.clientHeight;
  settings.windowed = g_window.windowed != 0;
  settings.cursorVisible = g_window.cursorVisible != 0;
  if (GetPlatformWindow()->Create(settings) != 0) {
    if (g_window.holdsInstanceLock) PlatformReleaseInstanceLock();
    g_window.holdsInstanceLock = 0;
    return LogPrintf("メインウインドウの作成に失敗しました");
  }
  g_window.exists = 1;
  g_window.destroyed = 0;
  g_window.closing = 0;
  // A new window comes up in front, active.
  g_window.active = 1;
  g_window.wheelCount = 0;
  return 0;
}

void DestroyMainWindow() {
  if (!g_window.exists) return;
  g_window.closing = 1;
  GetPlatformWindow()->Destroy();
  g_window.exists = 0;
  MainWindowProc({WM_DESTROY, 0, 0, {}});
  if (g_window.holdsInstanceLock) PlatformReleaseInstanceLock();
  g_window.holdsInstanceLock = 0;
}

void ResetMainWindowState() {
  ClearDroppedFiles();
  g_window.active = 0;
  g_window.wheelCount = 0;
}

// ---- Window procedure ---------------------------------------------------

int64_t MainWindowProc(const WindowMessage& message) {
  switch (message.message) {
    case WM_ACTIVATEAPP:
      OnActivationChange(message.wParam != 0);
      return 0;
    case WM_CLOSE:
      DestroyMainWindow();
      return 0;
    case WM_DESTROY:
      g_window.exists = 0;
      g_window.destroyed = 1;
      g_window.active = 0;
      DeleteAllStringInputs();
      return 0;
    case WM_KEYDOWN:
      PutKeyControlCode(message.wParam);
      return 0;
    case WM_CHAR:
      PutTypedCharacter(message.wParam);
      return 0;
    case WM_IME_STARTCOMPOSITION:
    case WM_IME_ENDCOMPOSITION:
    case WM_IME_COMPOSITION:
    case WM_IME_SETCONTEXT:
    case WM_IME_NOTIFY:
      return HandleImeMessage(message.message, message.wParam, message.lParam);
    case WM_MOUSEWHEEL:
      OnMouseWheel(message.wParam);
      return 0;
    case WM_DROPFILES:
      AddDroppedFile(message.text);
      return 0;
    case WM_DISPLAYCHANGE:
      // No device is lost and restored here to open the released movies
      // again, so the display change does it.
      ReleaseMovieSurfaces();
      ReopenMoviesAfterRestore();
      ResumeAllMovies();
      return 0;
    case MM_MCINOTIFY:
      return OnMusicNotify();
    case WM_INPUT_FLAG_A:
      if (message.wParam == 1)
        SetHookFlagAOn();
      else
        SetHookFlagAOff();
      return 0;
    case WM_INPUT_FLAG_B:
      if (message.wParam == 1)
        SetHookFlagBOn();
      else
        SetHookFlagBOff();
      return 0;
    case WM_SOCKET_EVENT:
      return DispatchSocketEvent(message.wParam, message.lParam);
    default:
      return 0;
  }
}

void WaitWhileInactive() {
  while (g_window.exists && !g_window.active && !g_window.runWhenInactive) {
    if (ProcessWindowMessages() != 0) break;
  }
}

// ---- Queries ------------------------------------------------------------

void* GetMainWindow() { return g_window.exists ? GetPlatformWindow() : nullptr; }
int HasMainWindow() { return g_window.exists; }
int GetWindowModeFlag() { return g_window.windowed; }
int GetWindowActiveFlag() { return g_window.active; }
int GetWindowClosingFlag() { return g_window.closing; }
int GetWindowDestroyedFlag() { return g_window.destroyed; }

int GetClientRectWithToolbar(IntRect* rect) {
  if (!rect || !g_window.exists) return -1;
  *rect = GetPlatformWindow()->GetClientRectOnScreen();
  return 0;
}

int GetMousePosition(int* x, int* y) {
  int mx = 0, my = 0;
  if (g_window.exists) GetPlatformWindow()->GetMousePosition(&mx, &my);
  if (x) *x = mx;
  if (y) *y = my;
  return g_window.exists ? 0 : -1;
}

int GetMouseWheelCount(int reset) {
  int count = g_window.wheelCount;
  if (reset) g_window.wheelCount = 0;
  return count;
}

// ---- Dropped files ------------------------------------------------------

int GetDroppedFileCount() { return g_window.droppedCount; }

int TakeDroppedFileName(char* buffer, int bufferSize) {
  List* list = DroppedList();
  ListNode* oldest = list->tail.prev;
  if (oldest == &list->head) return -1;
  auto* file = static_cast<DroppedFile*>(oldest->record);
  int length = file->length;
  if (buffer && bufferSize > 0) StrCopyWholeChars(buffer, file->Name(), bufferSize);
  ListUnlink(oldest);
  MemFree(file);
  g_window.droppedCount--;
  return length;
}

void ClearDroppedFiles() {
  while (TakeDroppedFileName(nullptr, 0) >= 0) {
  }
}
