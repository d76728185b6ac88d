// Public functions of the library's core subsystem, as the game sees them.
#pragma once
#include <cstdint>

#include "core/types.h"

// Library life. LibraryInit: 0, or -1 when the start failed (the library has
// then shut down again); 0 at once when already started. LibraryEnd: 0.
int LibraryInit();
int LibraryEnd();
// One pass of window messages (at most five) and the library's per-frame
// work; 0 while the program may go on, -1 once the main window is gone.
int ProcessWindowMessages();

// Logs the text, shuts the library down and ends the process with -1.
[[noreturn]] void FatalErrorExit(const char* text);
[[noreturn]] void FatalErrorExitFormatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Settings, mostly called before LibraryInit.
int SetWindowTitle(const char* text);  // Shift-JIS
int EnableLogFile(int flag);           // 0: no log file
int SetRunWhenInactive(int flag);      // 1: keep running while the window is inactive
int ShowMouseCursor(int flag);         // 0: hide the system cursor over the window
int ChangeWindowMode(int flag);        // 1 window, 0 full screen (the default)
int SetAllowMultipleInstances(int flag);  // 1: a second running copy may start

// Window and time.
void* GetMainWindow();  // null while there is no main window
int GetWindowModeFlag();
int GetWindowActiveFlag();
int GetWindowClosingFlag();
int GetClientRectWithToolbar(IntRect* rect);  // screen coordinates
int GetMousePosition(int* x, int* y);         // client-area pixels
int GetMouseWheelCount(int reset);            // notches since the last reset
uint32_t GetMilliCount();                     // milliseconds, top bit clear
int64_t GetMicroCount(int useProcessorCounter = 0);

// 0..max inclusive from the library's Mersenne Twister.
int GetRandomValue(int max);

// Clipboard text (Shift-JIS). With a null buffer: the text's size plus 1.
// With a buffer: copies at most bufferSize - 1 bytes (never half a two-byte
// character) and a terminating zero; 0. -1 when there is no text.
int GetClipboardTextInto(char* buffer, int bufferSize);
int PutClipboardText(const char* text);
