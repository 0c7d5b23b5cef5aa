#include "textures/bmp_reader.h"

#include <array>

#include "mesh/byte_cursor.h"
#include "platform/file_bytes.h"
#include "platform/notices.h"
#include "textures/alpha_merge.h"

namespace kelvane {

namespace {

constexpr std::size_t kHeadersBytes = 14 + 40;  // the palette follows
constexpr const char* kUnitCaption = "BMP Unit";

bool IsPaletteSize(std::uint32_t n) {
  return n == 0 || n == 2 || n == 16 || n == 256;
}

class BmpReader {
 public:
  BmpReader(std::span<const std::byte> bytes, const TextureRequest& request,
            TextureLoaderState& state, Notifier& notifier)
      : bytes_(bytes), request_(request), state_(state), notifier_(notifier) {}

  ReadResult Read();

 private:
  ReadResult Refuse(const std::string& text, const char* caption) {
    notifier_.ShowMessage(text, caption);
    return ReadResult::Failed();
  }
  ReadResult RefuseFormat() {
    return Refuse(ShortName(request_.fileName) + " Bitmap format not supported", "Info");
  }
  ReadResult Finish(PixelBuffer rgb);

  std::span<const std::byte> bytes_;
  const TextureRequest& request_;
  TextureLoaderState& state_;
  Notifier& notifier_;
};

ReadResult BmpReader::Read() {
  if (request_.useConstantAlpha) state_.alphaImagePending = true;
  const auto* p = bytes_.data();
  if (bytes_.size() < kHeadersBytes) return Refuse("Error reading bitmap data", kUnitCaption);
  const std::uint32_t dataOffset = LoadU32(p + 10);
  const auto width = static_cast<std::int32_t>(LoadU32(p + 18));
  const auto height = static_cast<std::int32_t>(LoadU32(p + 22));
  const std::uint16_t bits = LoadU16(p + 28);
  const std::uint32_t compression = LoadU32(p + 30);
  const std::uint32_t coloursUsed = LoadU32(p + 46);

  if (bits == 4) {
    notifier_.Beep();
    return Refuse("Couldn't load bitmap", "Info");
  }
  // Without a count the palette fills the gap before the texels.
  const std::uint32_t paletteSize =
      coloursUsed != 0 ? coloursUsed : (dataOffset - std::uint32_t{kHeadersBytes}) / 4u;
  if (!IsPaletteSize(paletteSize)) return RefuseFormat();
  // 1, 16 and 32 bits and every compression are not decoded.
  if ((bits != 8 && bits != 24) || compression != 0) return RefuseFormat();
  const std::int64_t rows = height < 0 ? -std::int64_t{height} : std::int64_t{height};
  if (width < 1 || rows < 1 || width > kMaxImageSide || rows > kMaxImageSide) {
    return RefuseFormat();
  }

  std::span<const std::byte> palette;
  if (paletteSize > 0) {
    if (bytes_.size() - kHeadersBytes < std::size_t{paletteSize} * 4) {
      return Refuse("Error reading palette", kUnitCaption);
    }
    palette = bytes_.subspan(kHeadersBytes, std::size_t{paletteSize} * 4);
  }

  const auto w = static_cast<std::size_t>(width);
  const auto h = static_cast<std::size_t>(rows);
  const std::size_t stride = (w * bits + 31) / 32 * 4;  // rows padded to 4 bytes
  const std::size_t dataBytes = stride * h;
  if (dataOffset > bytes_.size() || bytes_.size() - dataOffset < dataBytes) {
    return Refuse("Error reading bitmap data", kUnitCaption);
  }
  const std::byte* data = p + dataOffset;
  const bool topDown = height < 0;

  PixelBuffer rgb =
      PixelBuffer::Unwritten(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h), 3);
  for (std::size_t y = 0; y < h; ++y) {
    const std::byte* src = data + (topDown ? h - 1 - y : y) * stride;
    std::uint8_t* dst = rgb.pixels.data() + y * rgb.RowBytes();
    if (bits == 24) {
      for (std::size_t x = 0; x < w; ++x, src += 3, dst += 3) {
        dst[0] = static_cast<std::uint8_t>(src[2]);
        dst[1] = static_cast<std::uint8_t>(src[1]);
        dst[2] = static_cast<std::uint8_t>(src[0]);
      }
    } else if (palette.empty()) {
      for (std::size_t x = 0; x < w; ++x, dst += 3) {
        dst[0] = dst[1] = dst[2] = static_cast<std::uint8_t>(src[x]);
      }
    } else {
      for (std::size_t x = 0; x < w; ++x, dst += 3) {
        const auto v = static_cast<std::uint8_t>(src[x]);
        if (v >= paletteSize) return RefuseFormat();
        const std::byte* entry = palette.data() + std::size_t{v} * 4;
        dst[0] = static_cast<std::uint8_t>(entry[2]);
        dst[1] = static_cast<std::uint8_t>(entry[1]);
        dst[2] = static_cast<std::uint8_t>(entry[0]);
      }
    }
  }
  return Finish(std::move(rgb));
}

ReadResult BmpReader::Finish(PixelBuffer rgb) {
  if (state_.loadingAlphaImage) {
    state_.HoldAlphaImage(std::move(rgb.pixels));
    return ReadResult::AlphaHeld();
  }
  if (!state_.alphaImagePending) return ReadResult::Image(std::move(rgb));

  PixelBuffer rgba = WithConstantAlpha(rgb, ConstantAlpha(request_.alphaOrKind));
  if (!request_.useConstantAlpha) {
    // Without a held image the texel's own first colour byte is its alpha.
    const bool held = state_.HoldsAlphaImage();
    if (!ApplyAlphaImage(rgba, held ? std::span<const std::uint8_t>(state_.alphaImage)
                                    : std::span<const std::uint8_t>(rgb.pixels))) {
      RefuseAlphaImageSize(state_, request_.fileName, notifier_);
      return ReadResult::Failed();
    }
    if (KindForcesOpaque(request_.alphaOrKind)) SetOpaque(rgba);
  }
  state_.ReleaseAlphaImage();
  state_.alphaImagePending = false;
  return ReadResult::Image(std::move(rgba));
}

}  // namespace

ReadResult ReadBmpTexture(std::span<const std::byte> bytes, const TextureRequest& request,
                          TextureLoaderState& state, Notifier& notifier) {
  return BmpReader(bytes, request, state, notifier).Read();
}

ReadResult ReadBmpTextureFile(const TextureRequest& request, TextureLoaderState& state,
                              Notifier& notifier) {
  if (request.useConstantAlpha) state.alphaImagePending = true;
  const auto file = FileBytes::Open(request.fileName, nullptr);
  if (!file) {
    notifier.ShowMessage("Error opening " + request.fileName, kUnitCaption);
    return ReadResult::Failed();
  }
  return ReadBmpTexture(file->bytes(), request, state, notifier);
}

}  // namespace kelvane
