#include "jpeg_writer.h"

#include <jpeglib.h>
#include <cstdio>

#include <csetjmp>
#include <memory>

namespace kelvane {

namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Kept apart from the setjmp frame so that no object with a destructor
// lives across the jump.
bool Encode(std::FILE* out, const PixelBuffer& pixels, int quality, ErrorManager& errors) {
  jpeg_compress_struct info{};
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnError;
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, out);
  info.image_width = pixels.width;
  info.image_height = pixels.height;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  const std::size_t stride = pixels.RowBytes();
  while (info.next_scanline < info.image_height) {
    // The buffer's first row is the bottom one.
    const std::size_t row = pixels.height - 1 - info.next_scanline;
    JSAMPROW line = const_cast<JSAMPROW>(pixels.pixels.data() + row * stride);
    jpeg_write_scanlines(&info, &line, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

}  // namespace

bool WriteJpeg(const std::filesystem::path& file, const PixelBuffer& pixels, int quality,
               std::string* error) {
  if (pixels.bytesPerTexel != 3 || pixels.width == 0 || pixels.height == 0 ||
      pixels.pixels.size() < pixels.RowBytes() * pixels.height) {
    if (error) *error = "not an RGB picture";
    return false;
  }
  std::unique_ptr<std::FILE, FileCloser> out(std::fopen(file.c_str(), "wb"));
  if (!out) {
    if (error) *error = "cannot create " + file.string();
    return false;
  }
  ErrorManager errors{};
  if (!Encode(out.get(), pixels, quality, errors)) {
    if (error) *error = errors.message;
    return false;
  }
  if (std::fflush(out.get()) != 0) {
    if (error) *error = "cannot write " + file.string();
    return false;
  }
  return true;
}

}  // namespace kelvane
