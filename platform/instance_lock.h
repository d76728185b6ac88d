// Keeps a second copy of the program from running: the first copy to take a
// name holds it until it gives it back or ends.
#pragma once
#include <cstddef>

// 0 when this process now holds the name (or already did), -1 when another
// running process holds it.
int PlatformAcquireInstanceLock(const char* name);
// The file that holds the name's lock; false when no path fits the buffer.
bool PlatformInstanceLockPath(const char* name, char* path, size_t size);
void PlatformReleaseInstanceLock();
