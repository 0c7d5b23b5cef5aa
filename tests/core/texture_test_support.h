#pragma once

#include <cstdint>
#include <vector>

#include "textures/pixel_buffer.h"

namespace kelvane::testing {

// The bytes of one texel, rows counted from the bottom as the buffer holds
// them.
inline std::vector<int> TexelOf(const PixelBuffer& b, std::size_t x, std::size_t yFromBottom) {
  const std::uint8_t* t = b.Texel(x, yFromBottom);
  return std::vector<int>(t, t + b.bytesPerTexel);
}

// Every alpha byte of an RGBA buffer.
inline std::vector<int> Alphas(const PixelBuffer& b) {
  std::vector<int> a;
  for (std::size_t i = 0; i < b.TexelCount(); ++i)
    a.push_back(b.pixels[i * 4 + 3]);
  return a;
}

}  // namespace kelvane::testing
