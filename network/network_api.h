// Public functions of the library's network layer, as a game sees them.
// Handles are TCP connections; a framed handle exchanges messages of a
// 4-byte little-endian length and that many bytes, and hands the received
// messages to the reader as one byte stream. Every function returns -1 for
// a handle that is not valid and while the network is not started.
#pragma once

// Framed: takes length bytes of completely received messages; 0, or -1 when
// fewer are there. Unframed: the bytes received, or -1.
int NetWorkRecv(int handle, void* buffer, int length);
// The same, leaving the bytes to be read again.
int NetWorkRecvToPeek(int handle, void* buffer, int length);
// Framed: queues the bytes as one message (or part of one) and sends what
// the connection takes; 0. Unframed: the bytes sent, or -1. -1 when not connected.
int NetWorkSend(int handle, const void* buffer, int length);
// One line of an unframed handle without its line feed (a carriage return
// before it stays) into dest, which holds 256 bytes; 0, or -1 when no whole
// line of at most 254 bytes has arrived.
int NetWorkRecvLine(int handle, char* dest);
// Framed: bytes of completely received messages not read yet. Unframed: 1
// when a byte waits, 0 when the connection has ended, -1 otherwise.
int GetNetWorkDataLength(int handle);
// 1 while connected, 0 once the connection has ended; an ended handle closes
// itself at the next message processing unless it was made to stay.
int GetNetWorkAcceptState(int handle);
int CloseNetWork(int handle);
