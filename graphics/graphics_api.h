// Public functions of the library's graphics subsystem, as the game sees them.
// Graphics are int handles; the screen is drawn in software into a back image
// and shown by PresentScreen.
#pragma once
#include <cstdint>

#include "core/types.h"

struct GraphImage;

// ---- Screen --------------------------------------------------------------

// Before LibraryInit: the screen's size, colour depth (8, 16 or 32) and
// refresh rate (frames per second that PresentScreen keeps). 0 or -1.
int SetScreenMode(int32_t width, int32_t height, int32_t colorBitDepth, int32_t refreshRate);
// Colour bits of the screen mode (16 or 32, 8 when asked for; 0 while unset).
int GetScreenColorBitDepth();
int GetScreenModeSize(int32_t* width, int32_t* height);
// 1 when graphics draw through a hardware device: never, so always 0.
int GetHardwareModeFlag();
// Shows the frame drawn into the back screen, at the screen mode's refresh rate.
int PresentScreen();
// -2: the back screen; or a graphic handle whose image draws go into.
int SelectDrawScreen(int32_t screen);
// Draws are clipped to this area of the draw screen (right and bottom exclusive).
int SetDrawClipArea(int32_t left, int32_t top, int32_t right, int32_t bottom);
// 0 nearest, 1 linear, 2 anisotropic; kept for the draws, which sample nearest in software.
int SetTextureFilterMode(int32_t mode);
// A colour int in the screen's pixel format, and back to channels 0..255.
int PackRgbToScreenColor(int32_t red, int32_t green, int32_t blue);
int UnpackScreenColorToRgb(int32_t color, int* red, int* green, int* blue);
int64_t GetFrameCounter64();

// ---- Draw state ----------------------------------------------------------

// Mode 0 none, 1 alpha, 2 add, 3 subtract, 4 multiply, 10 inverted, 11
// multiply-alpha; the parameter is clamped to 0..255.
int SetBlendMode(int32_t mode, int32_t parameter);
int SetDrawBrightnessRgb(int32_t red, int32_t green, int32_t blue);
int SetDrawBrightnessPacked(uint32_t rgb);  // 0x00RRGGBB
// Sets a blend graphic (or -1 for none) that weighs every drawn pixel by
// its value at the same position of the drawn graphic. Each value v
// (0..255) becomes a weight through a threshold ramp: borderParam 0 lets
// the graphic show in full everywhere; as it rises to 255 only ever higher
// values let it through; borderRange sets the ramp's width, from a hard
// step (0) to the value itself as the weight (borderParam 128, range 255).
// Both are clamped to 0..255. Draws of a graphic larger than the blend
// graphic are refused (-1) while it is set. -1 for a graphic that is no
// blend graphic.
int SetBlendGraphParams(int32_t graph, int32_t borderParam, int32_t borderRange);

// ---- Graphic handles -----------------------------------------------------

int LoadGraphFile(const char* path, int32_t flag);
// Cells row by row, one handle each into handles[0 .. total - 1]; 0 or -1.
int LoadDivGraphFile(const char* path, int32_t total, int32_t across, int32_t down,
                     int32_t cellWidth, int32_t cellHeight, int32_t* handles, int32_t flag);
int MakeEmptyGraph(int32_t width, int32_t height);
// Blend graphics hold one 8-bit value a pixel (see SetBlendGraphParams).
// Made empty (all 0; FillGraphWithColor writes its red value into every
// pixel), or from a PNG or JPEG picture: the picture's alpha where it has
// an alpha channel, else its grey level (77 R + 151 G + 28 B) / 256, so a
// grey picture keeps its levels. The handle, or -1.
int MakeBlendGraph(int32_t width, int32_t height);
int LoadBlendGraphFile(const char* path);
// A graphic showing a rectangle of another and sharing its pixels.
int DeriveGraphFromRect(int32_t x, int32_t y, int32_t width, int32_t height, int32_t graph);
int DeleteGraphHandle(int32_t graph, int32_t unused = 0);
// *flag becomes 0 now and 1 when the graphic is deleted.
int SetGraphLostFlag(int32_t graph, int* flag);
int FillGraphWithColor(int32_t graph, int32_t red, int32_t green, int32_t blue, int32_t alpha);
// The source rectangle (null: the whole image) of image, with its alpha from
// alphaImage when given, into the graphic at (x, y).
int ReloadImageIntoGraph(const GraphImage* image, const GraphImage* alphaImage,
                         const IntRect* sourceRect, int32_t x, int32_t y, int32_t graph);
int QueryGraphSize(int32_t graph, int* width, int* height);

// Settings that MakeEmptyGraph uses.
int GetCreateGraphAlphaChannel();
int SetCreateGraphAlphaChannel(int32_t flag);
int GetCreateGraphAlphaTest();
int SetCreateGraphAlphaTest(int32_t flag);
int GetCreateGraphBitDepth();
int SetCreateGraphBitDepth(int32_t bits);  // 16 or 32
int GetUseHardwareRendering();
int SetUseHardwareRendering(int32_t flag);  // before LibraryInit only

// ---- Draw calls (0, or -1 for an invalid handle) -------------------------

int DrawGraphAt(int32_t x, int32_t y, int32_t graph, int32_t transparent);
int DrawGraphAtFloat(float x, float y, int32_t graph, int32_t transparent);
// Centred on (x, y), scaled, turned by angle radians (clockwise on screen);
// turn 1 mirrors left to right.
int DrawGraphRotated(int32_t x, int32_t y, double scale, double angle, int32_t graph,
                     int32_t transparent, int32_t turn);
int DrawGraphRotatedFloat(float x, float y, double scale, double angle, int32_t graph,
                          int32_t transparent, int32_t turn);
int DrawGraphPartAt(int32_t x, int32_t y, int32_t sourceX, int32_t sourceY, int32_t width,
                    int32_t height, int32_t graph, int32_t transparent, int32_t turn);
int DrawGraphPartStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t sourceX,
                           int32_t sourceY, int32_t width, int32_t height, int32_t graph,
                           int32_t transparent);
// Corners top-left, top-right, bottom-right, bottom-left of the graphic.
int DrawGraphOnQuadFloat(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                         float y4, int32_t graph, int32_t transparent);
// color: a screen colour (PackRgbToScreenColor). The end point is not drawn.
int DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t color, int32_t thickness);
// Right and bottom exclusive; fill 1 fills, 0 draws the outline.
int DrawRectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t color, int32_t fill);

// Brackets around draws that a hardware device needs; nothing to do in software.
int BeginSubtractBlendEmulation(const IntRect* rect);
int EndSubtractBlendEmulation(const IntRect* rect);
int BeginMaskedDraw(const IntRect* rect);
int EndMaskedDraw(const IntRect* rect);
