#pragma once

#include <filesystem>
#include <string>

#include "textures/pixel_buffer.h"

namespace kelvane {

// Writes an RGB buffer (rows bottom-up) as an upright baseline JPEG at
// `quality`. False, with `error` saying why, when it cannot.
bool WriteJpeg(const std::filesystem::path& file, const PixelBuffer& pixels, int quality,
               std::string* error);

}  // namespace kelvane
