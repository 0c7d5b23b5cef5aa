#include "png_writer.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "textures/png_encode.h"

namespace kelvane {

bool WritePng(const std::filesystem::path& file, const PixelBuffer& pixels, std::string* error) {
  const std::vector<std::uint8_t> png = EncodePng(pixels);
  if (png.empty()) {
    if (error) *error = "the image is empty";
    return false;
  }
  // Truncated and written in place: a caller may hold the file open.
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  out.close();
  if (!out) {
    if (error) *error = "cannot write " + file.string() + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace kelvane
