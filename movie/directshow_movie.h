// Movies that the Theora player refuses: the multimedia-stream player.
#pragma once
#include <cstdint>

struct DirectDrawObject;
struct GraphImage;
struct MovieRecord;

// 0, or -1 after releasing what it made and logging the failed step.
int OpenDirectShowMovie(DirectDrawObject* directDraw, MovieRecord* movie, const char* path, int32_t* width,
                        int32_t* height, int32_t surfaceMode);
void UpdateDirectShowMovieFrame(MovieRecord* movie, int32_t wait);
void PauseDirectShowMovie(MovieRecord* movie);
void RunDirectShowMovie(MovieRecord* movie);
void CloseDirectShowMovie(MovieRecord* movie);
GraphImage* DirectShowFrameImage(MovieRecord* movie);
