// Graphic handles: the table of graphics, the pixels they share and their
// creation. In software mode every graphic's pixels are a MEMIMG; a graphic
// cut from another is a view of the same pixels.
#pragma once
#include <cstdint>

#include "core/types.h"
#include "softrender/memimg.h"

struct ColorFormat;
struct GraphImage;

constexpr int kGraphHandleSlots = 32768;

// The pixels that one or more graphics show. Freed with the last of them.
struct GraphOriginalRecord {
  int32_t refCount;      // graphics that show it
  int32_t hardwareFlag;  // 0: no hardware texture in this system
  void* firstTexture;    // null for the same reason
  int32_t width;
  int32_t height;
  MEMIMG image;
  int32_t blendGraph;    // 1: an 8-bit blend image
  int32_t movie;         // the movie that paints it, or -1
};

struct GraphHandleRecord {
  GraphOriginalRecord* original;
  int32_t x;  // within the original
  int32_t y;
  int32_t width;
  int32_t height;
  MEMIMG image;  // a view of the original's image at (x, y, width, height)
  int* lostFlag;  // set to 1 when the graphic is deleted, or null
};

// The record of a valid graphic handle, else null.
GraphHandleRecord* LookupGraphHandle(int32_t graph);

// The blend graphic's image and size, or null when graph is no blend graphic.
MEMIMG* LookupBlendGraphImage(int32_t graph, int32_t* width, int32_t* height);

// Copies the rectangle of image (and the alpha of alphaImage) into the
// graphic at (x, y); the caller has checked that it fits.
void TransferImageToTexture(const GraphImage* image, const GraphImage* alphaImage,
                            const IntRect& sourceRect, int32_t x, int32_t y,
                            GraphHandleRecord* graph);

// The texture format a hardware device would use for these settings; with
// 16 bits, alpha channel gives A4R4G4B4, alpha test A1R5G5B5.
const ColorFormat* SelectTextureColorFormat(int32_t alphaChannel, int32_t alphaTest, int32_t bits32,
                                            int32_t drawTarget);

// Deletes every graphic (lost flags set); the graphics end does this.
void DeleteAllGraphHandles();
int CountGraphHandles();

// Files that no image loader takes may be movies; the movie layer hooks in here.
struct GraphMovieHooks {
  // The movie handle (its picture size through the pointers), or -1.
  int32_t (*open)(const char* path, int32_t* width, int32_t* height);
  // From now on the movie's frames go into the graphic.
  void (*attach)(int32_t movie, int32_t graph);
  // First in every draw of the graphic.
  void (*update)(int32_t movie);
  // When the last graphic showing it goes.
  void (*close)(int32_t movie);
};
void SetGraphMovieHooks(const GraphMovieHooks* hooks);  // null: no movies
// Every draw of the graphic calls this first.
void UpdateGraphMovie(GraphHandleRecord* graph);
