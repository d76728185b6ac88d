// Textured triangles from palette images into 32-bit and 16-bit images. The
// entries are read from the source's own palette, in place.
#include "softrender/triangle_raster.h"

constexpr TriangleVariantTable kPalette32Triangles =
    MakeTexturedTriangleTable<Pixel32, PaletteSource32>();
constexpr TriangleVariantTable kPalette16Triangles =
    MakeTexturedTriangleTable<Pixel16, PaletteSource16>();
