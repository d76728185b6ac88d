// Textured triangles from 32-bit direct-colour sources into 32-bit images.
#include "softrender/triangle_raster.h"

constexpr TriangleVariantTable kDirect32Triangles =
    MakeTexturedTriangleTable<Pixel32, DirectSource32>();
