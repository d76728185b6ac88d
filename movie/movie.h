// Movie handles: the table of open movies, the record behind each, the choice
// of player (the own Theora decoder first, the multimedia-stream player for
// the rest), the movie's clock, and pausing with the main window.
#pragma once
#include <cstdint>

#include "file/file_api.h"

struct GraphImage;
struct MovieRecord;
struct TheoraMovieContext;

constexpr int kMovieSlots = 100;
constexpr int kMoviePathBytes = 260;
// The play type's loop bit, as the sound handles read it.
constexpr int32_t kMoviePlayLoopBit = 2;

// Called whenever the movie's picture may have changed; the parameter is the
// one stored with it (the graphics layer passes the graphic handle).
using MovieFrameCallback = void (*)(MovieRecord* movie, int32_t parameter);

struct MovieRecord {
  uint32_t check;
  int32_t playType;
  int32_t theoraFlag;
  TheoraMovieContext* theora;
  int64_t startTime;          // microseconds: the clock's origin without a sound track
  FileAccessHandle file;      // the open Theora file, or 0
  int32_t soundTrack;         // sound handle, or -1
  int32_t width;
  int32_t height;
  int32_t alphaInRightHalf;   // 1: each frame's right half is the alpha of its left half
  int32_t playIntent;
  int32_t stopped;
  int32_t frameProduced;
  int32_t surfaceMode;
  int32_t tempCopyFlag;
  char fileName[kMoviePathBytes];
  GraphImage* frameImage;     // the picture the frame callback copies from
  MovieFrameCallback frameCallback;
  int32_t callbackParameter;
};

// The handle, or -1. surfaceMode goes to the multimedia-stream player.
int OpenMovie(const char* path, int32_t* width, int32_t* height, int32_t surfaceMode);
int CloseMovie(int32_t handle);
MovieRecord* GetMovieRecord(int32_t handle);
int SetMovieFrameCallback(int32_t handle, MovieFrameCallback callback, int32_t parameter);
// Brings the picture up to the movie's clock and hands it to the callback; always 0.
int UpdateMovieFrame(int32_t handle, int32_t wait);
int PauseMovie(int32_t handle, int32_t keepIntent);
// The window procedure's: on deactivation and on activation.
int PauseAllMovies();
int ResumeAllMovies();

// What the graphics layer calls for files that no image loader takes: the
// library start installs these (SetGraphMovieHooks).
struct GraphMovieHooks;
const GraphMovieHooks* GetMovieGraphHooks();
