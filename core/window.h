// The library's main window: its settings, creation and destruction, the
// window procedure and the state it keeps (activation, closing, wheel,
// dropped files). Public queries are declared in core_api.h.
#pragma once
#include <cstdint>

#include "core/core_api.h"
#include "platform/window.h"

// Client size the window is made with (the screen mode's size); before the start.
void SetMainWindowClientSize(int width, int height);
void GetMainWindowClientSize(int* width, int* height);
const char* GetMainWindowTitle();
int GetRunWhenInactiveFlag();
int GetAllowMultipleInstancesFlag();
// Records the window mode without touching a window (the start-up fallback).
void SetWindowModeFlag(int windowed);

// Start-up and shut-down steps. CreateMainWindow: 0 or -1 (logged).
int CreateMainWindow();
// Destroys the window; the window procedure gets WM_DESTROY. Also used for WM_CLOSE.
void DestroyMainWindow();
// Forgets the window's state (wheel count, dropped files, flags) at the library end.
void ResetMainWindowState();

// Handles one message; the result is the message's result.
int64_t MainWindowProc(const WindowMessage& message);

// While the main window is inactive (and the library does not run in the
// background), processes window messages until it is active again or gone.
void WaitWhileInactive();

// 1 from the destruction of the main window until a new one is made.
int GetWindowDestroyedFlag();
int HasMainWindow();

// Files dropped on the window, oldest first.
int GetDroppedFileCount();
// Takes the oldest name into buffer (cut at bufferSize - 1 bytes); its full
// length, or -1 when there is none.
int TakeDroppedFileName(char* buffer, int bufferSize);
void ClearDroppedFiles();
