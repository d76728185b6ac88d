// config.ini: the four settings read before the library starts and written
// back at the end, and the line and number readers the music list shares.
#pragma once
#include <cstdint>

#include "core/varnok.h"

// The defaults, then whatever config.ini in the working folder says.
void ReadConfig();
// Rewrites config.ini with the four values, CR LF line ends; a file that
// cannot be created is left alone.
void SaveConfig();
// The last "="-separated token of the line as a decimal integer (0 when
// there is none). Cuts the line up.
int32_t ParseLastInt(char* line);
// ReadFileLine that also ends a line at a bare LF or CR (as other editors
// write) and skips a UTF-8 byte-order mark at the start of the file: the
// game's own text files are often edited by hand.
int ReadTextLine(char* line, int size, FileAccessHandle file);
