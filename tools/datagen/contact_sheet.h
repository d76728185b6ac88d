// One picture of every sheet on a grey checkerboard, named, for reviewing
// the art: additive sheets are added as the game adds them, the others laid
// over.
#pragma once
#include <span>
#include <string>

#include "tools/datagen/manifest.h"

namespace datagen {

void WriteContactSheet(const std::string& path, std::span<const PaintedSheet> sheets);

}  // namespace datagen
