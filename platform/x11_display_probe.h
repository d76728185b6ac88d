// Whether an X server answers at a display: Xlib says only that it could
// not open one, whether nothing was there, a server refused the client, the
// server has no screen of the number named, or the name was malformed.
#pragma once

// True when a connection to the socket of the display a DISPLAY value names
// ([protocol/][host]:number[.screen]) is accepted.
// Nothing is sent, so a server that would refuse the client still answers.
bool XDisplayAnswers(const char* name);

// The screen number a DISPLAY value names when the server takes the client
// on the display without it but has no screen of that number; -1 when the
// value names no screen, the screen is there, or the server refuses.
// A refusing server has Xlib say why a second time on the standard error.
int XDisplayMissingScreen(const char* name);

// True when a DISPLAY value names a screen that is not a number (":0.x",
// ":0."): Xlib opens no display for it, whatever answers there.
bool XDisplayScreenMalformed(const char* name);
