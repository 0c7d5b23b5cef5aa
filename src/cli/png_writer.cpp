#include "png_writer.h"

#include <png.h>

#include <cstring>

namespace kelvane {

bool WritePng(const std::filesystem::path& file, const PixelBuffer& pixels, std::string* error) {
  if (pixels.width == 0 || pixels.height == 0 ||
      pixels.pixels.size() < pixels.RowBytes() * pixels.height) {
    if (error) *error = "the image is empty";
    return false;
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = pixels.width;
  image.height = pixels.height;
  image.format = pixels.HasAlpha() ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  // A negative stride says the first row in memory is the bottom one.
  const auto stride = -static_cast<png_int_32>(pixels.RowBytes());
  if (!png_image_write_to_file(&image, file.c_str(), 0, pixels.pixels.data(), stride, nullptr)) {
    if (error) *error = std::string("cannot write ") + file.string() + ": " + image.message;
    png_image_free(&image);
    return false;
  }
  return true;
}

}  // namespace kelvane
