#include "textures/jpeg_reader.h"

// clang-format off
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <limits>
#include <vector>

#include "platform/file_bytes.h"
#include "platform/notices.h"
#include "textures/alpha_merge.h"

namespace kelvane {

namespace {

// JPEG describes huge pictures with few bytes (runs of empty blocks), so
// its sides are capped; within the cap the memory follows the frame
// header: the RGBA picture, and for progressive and other multi-scan files
// the coefficients of the whole image, which libjpeg holds while it reads
// the scans. The cap bounds what a tiny file can claim: 1 GiB of picture,
// and 1.5 GiB of coefficients for a progressive colour file.
constexpr std::size_t kMaxJpegSide = 16384;
// libjpeg's own rows and tables on top of the coefficients.
constexpr std::size_t kDecoderWorkingBytes = std::size_t{64} << 20;

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

void OnFatalError(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<ErrorManager*>(cinfo->err);
  std::longjmp(errors->jump, 1);
}

void Silently(j_common_ptr) {}

// The decoder and its error handler live outside the function that sets
// the jump point, so a jump back leaves nothing in doubt; the destructor
// releases the decoder however decoding ended.
struct JpegDecoder {
  jpeg_decompress_struct cinfo{};
  ErrorManager errors{};
  bool created = false;

  JpegDecoder() = default;
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;
  ~JpegDecoder() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

std::size_t RoundUp(std::size_t n, std::size_t step) {
  return step == 0 ? n : (n + step - 1) / step * step;
}

// What libjpeg will ask for, from the frame header: the whole-image
// coefficient arrays of a file read in several scans (rounded up to whole
// MCUs, as it allocates them) and its working rows.
std::size_t DecoderBudget(jpeg_decompress_struct& cinfo) {
  std::size_t bytes = kDecoderWorkingBytes;
  if (!jpeg_has_multiple_scans(&cinfo)) return bytes;
  for (int c = 0; c < cinfo.num_components; ++c) {
    const jpeg_component_info& comp = cinfo.comp_info[c];
    bytes += RoundUp(comp.width_in_blocks, static_cast<std::size_t>(comp.h_samp_factor)) *
             RoundUp(comp.height_in_blocks, static_cast<std::size_t>(comp.v_samp_factor)) *
             sizeof(JBLOCK);
  }
  return bytes;
}

// Decodes straight into the RGBA rows that will be uploaded, bottom row
// first; libjpeg-turbo fills the fourth byte with 255.
bool DecodeRgba(std::span<const std::byte> bytes, JpegDecoder& d, PixelBuffer& out) {
  if (bytes.empty() || bytes.size() > std::numeric_limits<unsigned long>::max()) return false;
  jpeg_decompress_struct& cinfo = d.cinfo;
  cinfo.err = jpeg_std_error(&d.errors.base);
  d.errors.base.error_exit = OnFatalError;
  d.errors.base.output_message = Silently;
  if (setjmp(d.errors.jump)) return false;

  jpeg_create_decompress(&cinfo);
  d.created = true;
  // Nothing large is allocated before the header is known.
  cinfo.mem->max_memory_to_use = static_cast<long>(kDecoderWorkingBytes);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) return false;
  cinfo.out_color_space = JCS_EXT_RGBA;
  if (cinfo.image_width > kMaxJpegSide || cinfo.image_height > kMaxJpegSide) return false;
  const std::size_t w = cinfo.image_width;
  const std::size_t h = cinfo.image_height;
  cinfo.mem->max_memory_to_use = static_cast<long>(DecoderBudget(cinfo));

  jpeg_start_decompress(&cinfo);
  if (cinfo.output_components != 4 || cinfo.output_width != w || cinfo.output_height != h) {
    return false;
  }
  out = PixelBuffer::Unwritten(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h), 4);
  const std::size_t rowBytes = out.RowBytes();
  constexpr std::size_t kRowsAtOnce = 16;
  JSAMPROW rows[kRowsAtOnce];
  while (cinfo.output_scanline < cinfo.output_height) {
    const std::size_t first = cinfo.output_scanline;
    const std::size_t n = std::min(kRowsAtOnce, h - first);
    for (std::size_t i = 0; i < n; ++i)
      rows[i] = out.pixels.data() + (h - 1 - first - i) * rowBytes;
    if (jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(n)) == 0) return false;
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

}  // namespace

ReadResult ReadJpegTexture(std::span<const std::byte> bytes, const TextureRequest& request,
                           TextureLoaderState& state, Notifier& notifier) {
  PixelBuffer image;
  JpegDecoder decoder;
  if (!DecodeRgba(bytes, decoder, image)) {
    notifier.ShowMessage(
        {.caption = "BMP Unit", .text = "Couldn't load JPG - \"" + request.fileName + "\""});
    return ReadResult::Failed();
  }
  if (state.alphaImagePending && state.HoldsAlphaImage() &&
      state.AlphaImageSize() != 3 * image.TexelCount()) {
    RefuseAlphaImageSize(state, request.fileName, notifier);
    return ReadResult::Failed();
  }
  if (state.alphaImagePending) {
    // Pending with nothing held, which only a test can leave: opaque.
    if (state.HoldsAlphaImage()) ApplyAlphaImage(image, state.alphaImage);
    state.ReleaseAlphaImage();
  }
  return ReadResult::Image(std::move(image));
}

ReadResult ReadJpegTextureFile(const TextureRequest& request, TextureLoaderState& state,
                               Notifier& notifier) {
  const auto file = FileBytes::Open(request.fileName, nullptr);
  if (!file) {
    notifier.ShowMessage(
        {.caption = "BMP Unit", .text = "Couldn't load JPG - \"" + request.fileName + "\""});
    return ReadResult::Failed();
  }
  return ReadJpegTexture(file->bytes(), request, state, notifier);
}

}  // namespace kelvane
