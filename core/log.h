// The text log: one file in the start directory, each line opened by the
// milliseconds since start, ":" and one TAB per indent level; CR LF line ends.
#pragma once

#include "core/core_api.h"  // EnableLogFile

// Appends text; line feeds become CR LF and each new line gets its prefix.
// Returns -1 in every case, so callers can return its result as a failure.
int LogWrite(const char* text);
int LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int NetLogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
int LogIndentIn();
int LogIndentOut();

// Start and end of the log file, run by the library start-up and shut-down.
// The file is deleted and recreated; the time base is the moment of opening.
int LogOpen(const char* path = "Log.txt");
void LogClose();
int LogIsEnabled();

// Error code that NetLogPrintf appends; the network layer keeps it current.
void LogSetNetError(int code);
