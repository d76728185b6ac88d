#include "movie/directshow_movie.h"

#include "core/log.h"
#include "movie/movie.h"

// No multimedia-stream service yet: the open fails at its first step.
int OpenDirectShowMovie(void* directDraw, MovieRecord* movie, const char* path, int32_t* width,
                        int32_t* height, int32_t surfaceMode) {
  return LogPrintf("CLSID_FilterGraph の作成に失敗しました");
}

void UpdateDirectShowMovieFrame(MovieRecord* movie, int32_t wait) {}
void PauseDirectShowMovie(MovieRecord* movie) {}
void RunDirectShowMovie(MovieRecord* movie) {}
void CloseDirectShowMovie(MovieRecord* movie) {}
GraphImage* DirectShowFrameImage(MovieRecord* movie) { return nullptr; }
