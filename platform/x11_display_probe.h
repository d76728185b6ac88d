// Whether an X server answers at a display: Xlib says only that it could
// not open one, whether nothing was there or a server refused the client.
#pragma once

// True when a connection to the socket of the display a DISPLAY value names
// ([protocol/][host]:number[.screen]) is accepted.
// Nothing is sent, so a server that would refuse the client still answers.
bool XDisplayAnswers(const char* name);
