// The start-up report on the machine, and what it leaves for the rest of the library.
#pragma once

// Logs the system, the processor and the vector level its kernels use, and
// the memory; sets the operating-system code word.
void RunSystemReport();

// 264 once the report has run (the newest system the input layer knows), 0 before.
int GetOsCodeWord();
