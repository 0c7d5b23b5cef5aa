#pragma once

#include <cstdint>
#include <vector>

#include "textures/pixel_buffer.h"

namespace kelvane {

// The PNG of a decoded picture, 8-bit RGB or RGBA, rows from the top so the
// picture stands upright; empty when it cannot be encoded.
std::vector<std::uint8_t> EncodePng(const PixelBuffer& pixels);

}  // namespace kelvane
