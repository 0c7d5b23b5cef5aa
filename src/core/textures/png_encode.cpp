#include "textures/png_encode.h"

#include <png.h>

#include <cstring>

namespace kelvane {

std::vector<std::uint8_t> EncodePng(const PixelBuffer& pixels) {
  std::vector<std::uint8_t> out;
  if (pixels.width == 0 || pixels.height == 0 ||
      pixels.pixels.size() < pixels.RowBytes() * pixels.height)
    return out;
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = pixels.width;
  image.height = pixels.height;
  image.format = pixels.HasAlpha() ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  // A negative stride says the first row in memory is the bottom one.
  const auto stride = -static_cast<png_int_32>(pixels.RowBytes());
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.pixels.data(), stride,
                                 nullptr)) {
    png_image_free(&image);
    return out;
  }
  out.resize(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels.pixels.data(), stride,
                                 nullptr)) {
    png_image_free(&image);
    return {};
  }
  out.resize(size);
  return out;
}

}  // namespace kelvane
