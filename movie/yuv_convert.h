// Turning decoded Y, Cb and Cr planes into the movie's 32-bit frame image, and
// copying a movie's picture into the graphic that shows it.
#pragma once
#include <cstdint>

struct MovieRecord;
struct TheoraMovieContext;

struct YuvPlanes {
  const uint8_t* y;
  const uint8_t* cb;
  const uint8_t* cr;
  int32_t yWidth, yHeight, yStride;
  int32_t chromaWidth, chromaHeight, chromaStride;
};

// Video-range BT.601 factors in 14-bit fixed point; built once at library start.
int InitYuvToRgbTables();

// Writes width x height pixels (at most the planes' size) as bytes B, G, R,
// 255 from dest on, rows pitch bytes apart. 4:2:0 planes go through the
// integer tables, other layouts through the floating-point formula.
void ConvertYuvToBgrx(const YuvPlanes& planes, uint8_t* dest, int32_t pitch, int32_t width, int32_t height);

// FourCC codes of the packed YUV layouts a device surface may take.
constexpr uint32_t kFourCCYV12 = 0x32315659;
constexpr uint32_t kFourCCYUY2 = 0x32595559;
constexpr uint32_t kFourCCUYVY = 0x59565955;
// Copies 4:2:0 planes into a locked surface of that layout, rows pitch bytes
// apart (the chroma planes of YV12 at half the pitch). false: not 4:2:0 or
// an unknown code, nothing written.
bool PackYuvPlanes(const YuvPlanes& planes, uint32_t fourCC, uint8_t* dest, int32_t pitch);

// (Re)creates the context's device YUV surface; with software drawing there
// is no device, so the context keeps none.
void CreateTheoraYuvSurface(TheoraMovieContext* context);
// Brings the frame image (and the surface) to the current frame: 1 when the
// current frame was found in the stock, 0 when there was nothing to do or no
// frame can come.
int UpdateTheoraFrameImage(TheoraMovieContext* context, int32_t wantImage, int32_t wantSurface);

// The frame callback of movie graphics; the parameter is the graphic handle.
void CopyMovieFrameToGraph(MovieRecord* movie, int32_t graph);
// Copies the movie's frame image as it stands into the graphic.
void TransferMovieFrameImage(MovieRecord* movie, int32_t graph);
