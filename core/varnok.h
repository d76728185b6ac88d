// Varnok: the one header a game includes. Public functions return 0 on
// success and -1 on failure (queries return the value or -1), and address
// library objects by int handles.
#pragma once

#include "core/types.h"
#include "core/core_api.h"
#include "file/file_api.h"
#include "image/image_api.h"
#include "graphics/graphics_api.h"
#include "input/input_api.h"
#include "sound/sound_api.h"
#include "font/font_api.h"
#include "network/network_api.h"
