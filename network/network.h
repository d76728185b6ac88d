// The network layer's state and its calls from the rest of the library.
// Nothing the game calls starts the network: until StartNetWork runs, every
// public network function returns -1 and the library's calls do nothing.
#pragma once
#include <cstdint>

#include "network/network_api.h"
#include "network/ring_buffer.h"
#include "platform/socket.h"

constexpr int kNetWorkSlots = 4097;
constexpr int kNetWorkListenerSlot = 4096;

// The library's calls: the end, the window procedure's socket message and
// the per-pass work (closeFinished 1 closes handles whose end was seen).
int EndNetWork();
int64_t DispatchSocketEvent(uint64_t wParam, int64_t lParam);
int PumpNetWorkMessages(int closeFinished);

// Accepts a waiting connection on the listening socket; 1, or -1.
int AcceptNetWork();
// Move data between a framed handle's socket and its rings; 0, or -1.
int RecvSocket(int handle);
int SendSocket(int handle);
// Move up to n bytes between a socket and a ring (received at its write
// index, sent from its read index), in two pieces across the ring's end.
// The bytes moved, or -1 when the first piece failed.
int ReceiveIntoRing(RingBuffer* ring, PlatformSocket socket, int32_t n);
int SendFromRing(RingBuffer* ring, PlatformSocket socket, int32_t n);
// NetWorkRecvLine that also tells, when it finds no line, whether a line
// feed can still come: *stuck is 1 when the 255 bytes a line may take are
// there without one, or a zero byte hides it.
int RecvNetWorkLine(int handle, char* dest, int* stuck);
// 1 when the handle's peer has closed its side (bytes may still wait), 0 when not, -1.
int GetNetWorkPeerShut(int handle);

// Starting the network and making connections: what the game never does.
int StartNetWork();
// Listens on the port (0: any free one) of the address (null: all); the
// listener's handle, with the port it took in *boundPort.
int OpenNetWorkListener(const char* address, int port, int* boundPort);
// Connects to host:port, waiting at most timeoutMs; the connected handle, or -1.
int ConnectNetWork(const char* host, int port, int framed, int autoClose, int timeoutMs);
// New accepted handles are unframed with 1; they stay after their end with 1.
int SetNetWorkUnframedOption(int flag);
int SetNetWorkNoAutoCloseOption(int flag);
// Handle of the record in a slot, or -1 (accepted handles take the first free slot).
int GetNetWorkHandleOfSlot(int slot);
