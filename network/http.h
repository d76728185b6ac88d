// HTTP/1.0 transfers on unframed network handles, each advanced one
// non-blocking step per pass of message processing. A transfer is addressed
// by its slot 0..99. Nothing the game calls makes one.
#pragma once
#include <cstdint>

#include "platform/files.h"

constexpr int kHttpSlots = 100;

enum HttpMethod : int32_t { HttpMethodGet = 0, HttpMethodPost = 1, HttpMethodHead = 2 };
enum HttpDestination : int32_t { HttpToFile = 0, HttpToMemory = 1 };

struct HttpTransferRecord {
  int32_t method;
  int32_t step;
  int32_t endState;  // -1 running, 0 finished, 2 failed
  int32_t result;    // -1, or why it failed: 0 a status other than 200 or 404 (or a
                     // reply line that cannot be read), 1 status 404, 2 the body
                     // could not be stored, 3 the connection ended first
  int networkHandle;  // -1 after the end
  int32_t destination;
  PlatformFileHandle file;
  void** bufferPointer;  // the caller's pointer that receives the body block
  void* block;           // the block this transfer gave it
  int32_t contentLength;  // -1 unknown
  int64_t received;  // a body without a length may run past 2 GiB
  char host[128];
  char path[256];
  uint8_t* postData;
  int32_t postLength;
  int32_t port;
  int32_t requestSent;  // bytes of the request and the POST data sent so far
};

// The library start clears the table; its end deletes every transfer.
void ClearHttpTable();
int PumpAllHttpTransfers();
int RunHttpTransferStep(int slot);
int RunHttpGetStep(int slot);
int RunHttpPostStep(int slot);
int RunHttpHeadStep(int slot);
int EndHttpTransfer(int slot, int endState, int result);
int DeleteHttpHandle(int slot);
int DeleteAllHttpHandles();

// Connects (waiting at most timeoutMs) and makes a transfer of the method.
// The body of a GET or POST reply goes to the file at filePath (made or
// emptied) or, with filePath null, into a block that *bufferPointer receives
// (null until then; a failed transfer frees it, a finished one leaves it to
// the caller, who frees it with MemFree). The POST data is copied. The slot,
// or -1 when the request would not fit, the table is full or the
// connection fails.
int CreateHttpTransfer(int method, const char* host, int port, const char* path, const char* filePath,
                       void** bufferPointer, const void* postData, int postLength, int timeoutMs);
// The transfer in a slot, for reading its state; null for an empty slot.
const HttpTransferRecord* GetHttpTransfer(int slot);
