// Movie handles: the table of open movies, the record behind each, the choice
// of player (the own Theora decoder first, the multimedia-stream player for
// the rest), the movie's clock, and pausing with the main window.
#pragma once
#include <cstdint>

#include "core/types.h"
#include "file/file_api.h"
#include "image/graph_image.h"
#include "platform/media_stream.h"

struct MediaObject;
struct MovieRecord;
struct TheoraMovieContext;

constexpr int kMovieSlots = 100;
constexpr int kMoviePathBytes = 260;
// The play type's loop bit, as the sound handles read it.
constexpr int32_t kMoviePlayLoopBit = 2;

// Called whenever the movie's picture may have changed; the parameter is the
// one stored with it (the graphics layer passes the graphic handle).
using MovieFrameCallback = void (*)(MovieRecord* movie, int32_t parameter);

// What a movie of the multimedia-stream player holds.
struct DirectShowPart {
  IntRect sampleRect;  // the part of the sample surface the stream fills
  MediaObject* stream;
  MediaObject* videoStream;
  MediaObject* amMediaStream;
  MediaObject* directDrawStream;
  MediaObject* sample;
  MediaObject* surface;  // the sample's; null while released
  MediaObject* surface7;
  MediaObject* surface4;
  MediaObject* directDraw4;
  MediaObject* graph;
  MediaObject* control;
  MediaObject* seeking;
  MediaObject* basicAudio;
  int64_t lastUpdateCounter;  // the frame counter at the last completed update, or -1
  int64_t lastUpdateTime;     // milliseconds then, or -1
  int64_t savedTime;          // the stream's time when its objects were released
  MediaObject* updateEvent;
  int32_t updatePending;
  GraphImage frameImage;  // the picture copied out of the sample surface
  int32_t overlayX, overlayY;
  double overlayScale;
  int32_t overlayShown;
  IntRect overlaySource, overlayDest;
};

struct MovieRecord {
  uint32_t check;
  int32_t playType;
  int32_t theoraFlag;
  TheoraMovieContext* theora;
  int64_t startTime;          // microseconds: the clock's origin without a sound track
  FileAccessHandle file;      // the open Theora file, or 0
  int32_t soundTrack;         // sound handle, or -1
  DirectShowPart directShow;
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

// The largest picture either player takes, refused before anything is
// allocated for it: no side longer than the largest image the library
// loads, and no frame over 256 MB, neither at 32 bits a pixel nor as the
// decoder holds it (decodedBytes: none for the Theora player, whose frames
// are 32-bit). The multimedia-stream service holds every later picture of
// a movie to it too.
constexpr MediaPictureBound kMoviePictureBound{kMaxLoadedImageSide, int64_t{256} << 20};
constexpr bool MoviePictureSizeAllowed(int64_t width, int64_t height, int64_t decodedBytes = 0) {
  return MediaPictureAllowed(kMoviePictureBound, width, height, decodedBytes);
}

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

// The multimedia-stream player's movies across a change of display mode or a
// lost device: their objects released with the stream time kept, and opened
// again at that time (-1 at the first that fails, the rest left released).
int ReleaseMovieSurfaces();
int ReopenMoviesAfterRestore();
// While the library waits for an inactive window: every overlay placed again.
int DrawMoviesToWindow();
// Places or hides a movie's overlay; 0, -1 for an invalid handle.
int UpdateMovieOverlay(int32_t x, int32_t y, double scale, int32_t handle, int32_t show);
// The handle of the movie in the slot, or -1; for walks over all movies.
int32_t MovieHandleInSlot(int slot);

// What the graphics layer calls for files that no image loader takes: the
// library start installs these (SetGraphMovieHooks).
struct GraphMovieHooks;
const GraphMovieHooks* GetMovieGraphHooks();
