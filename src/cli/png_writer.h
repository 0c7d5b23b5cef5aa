#pragma once

#include <filesystem>
#include <string>

#include "textures/pixel_buffer.h"

namespace kelvane {

// Writes the buffer as an 8-bit RGB or RGBA PNG, rows from the top so the
// picture stands upright. False, with `error` saying why, when it cannot.
bool WritePng(const std::filesystem::path& file, const PixelBuffer& pixels, std::string* error);

}  // namespace kelvane
