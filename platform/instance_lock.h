// Keeps a second copy of the program from running: the first copy to take a
// name holds it until it gives it back or ends.
#pragma once

// 0 when this process now holds the name (or already did), -1 when another
// running process holds it.
int PlatformAcquireInstanceLock(const char* name);
void PlatformReleaseInstanceLock();
