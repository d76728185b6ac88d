// Whether an X server answers at a display: Xlib says only that it could
// not open one, whether nothing was there, a server refused the client, or
// the server has no screen of the number named.
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
