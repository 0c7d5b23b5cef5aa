#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace kelvane {

// Leaves new bytes unwritten: a decoder writes every byte of its output
// anyway, and clearing a 16 MB picture first costs a pass of its own.
template <typename T>
struct DefaultInitAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  using std::allocator<T>::allocator;
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

using PixelBytes = std::vector<std::uint8_t, DefaultInitAllocator<std::uint8_t>>;

// A decoded image as the uploader takes it: rows bottom-up with no gap
// between them, 3 bytes R, G, B or 4 bytes R, G, B, A per texel.
struct PixelBuffer {
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint8_t bytesPerTexel = 3;
  PixelBytes pixels;

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
  // A buffer whose bytes the caller writes, every one of them.
  static PixelBuffer Unwritten(std::uint16_t w, std::uint16_t h, std::uint8_t bytes) {
    PixelBuffer b;
    b.width = w;
    b.height = h;
    b.bytesPerTexel = bytes;
    b.pixels.resize(b.RowBytes() * h);
    return b;
  }
};

}  // namespace kelvane
