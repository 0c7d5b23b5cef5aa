#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kelvane {

// A decoded image as the uploader takes it: rows bottom-up with no gap
// between them, 3 bytes R, G, B or 4 bytes R, G, B, A per texel.
struct PixelBuffer {
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint8_t bytesPerTexel = 3;
  std::vector<std::uint8_t> pixels;

  bool HasAlpha() const { return bytesPerTexel == 4; }
  std::size_t TexelCount() const { return std::size_t{width} * height; }
  std::size_t RowBytes() const { return std::size_t{width} * bytesPerTexel; }
  // The texel at column x of row y, rows counted from the bottom.
  const std::uint8_t* Texel(std::size_t x, std::size_t y) const {
    return pixels.data() + y * RowBytes() + x * bytesPerTexel;
  }

  // A zero-filled buffer.
  static PixelBuffer Zeroed(std::uint16_t w, std::uint16_t h, std::uint8_t bytes) {
    PixelBuffer b;
    b.width = w;
    b.height = h;
    b.bytesPerTexel = bytes;
    b.pixels.assign(b.RowBytes() * h, 0);
    return b;
  }
};

}  // namespace kelvane
