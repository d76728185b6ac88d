// Textured triangles from 16-bit direct-colour sources into 16-bit images:
// 2-byte texels, and the 4-byte texels of sources with alpha.
#include "softrender/triangle_raster.h"

constexpr TriangleVariantTable kDirect16Triangles =
    MakeTexturedTriangleTable<Pixel16, DirectSource16>();
constexpr TriangleVariantTable kDirectAlpha16Triangles =
    MakeTexturedTriangleTable<Pixel16, DirectAlphaSource16>();
