#include "textures/bmp_reader.h"

#include <array>

#include "base/byte_cursor.h"
#include "platform/file_bytes.h"
#include "platform/notices.h"
#include "textures/alpha_merge.h"

namespace kelvane {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kCoreHeaderBytes = 12;
constexpr const char* kUnitCaption = "BMP Unit";

bool IsPaletteSize(std::uint32_t n) {
  return n == 0 || n == 2 || n == 16 || n == 256;
}

// The info headers Windows defines: the core header of 12 bytes (16-bit
// sides, 3-byte palette entries) and the 40-byte header with its longer
// forms (52 and 56 with colour masks, 108 for V4, 124 for V5), which all
// begin with the 40-byte fields.
bool IsInfoHeaderSize(std::uint32_t n) {
  return n == kCoreHeaderBytes || n == 40 || n == 52 || n == 56 || n == 108 || n == 124;
}

// The fields used, wherever the header keeps them.
struct BmpHeader {
  std::uint32_t dataOffset = 0;
  std::uint32_t infoBytes = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t bits = 0;
  std::uint32_t compression = 0;
  std::uint32_t coloursUsed = 0;
  std::uint32_t paletteEntryBytes = 4;

  std::size_t PaletteAt() const { return kFileHeaderBytes + infoBytes; }
};

BmpHeader ParseHeader(const std::byte* p) {
  BmpHeader h;
  h.dataOffset = LoadU32(p + 10);
  h.infoBytes = LoadU32(p + 14);
  if (h.infoBytes == kCoreHeaderBytes) {
    h.width = LoadU16(p + 18);  // unsigned: a core bitmap is always bottom-up
    h.height = LoadU16(p + 20);
    h.bits = LoadU16(p + 24);
    h.paletteEntryBytes = 3;
  } else {
    h.width = static_cast<std::int32_t>(LoadU32(p + 18));
    h.height = static_cast<std::int32_t>(LoadU32(p + 22));
    h.bits = LoadU16(p + 28);
    h.compression = LoadU32(p + 30);
    h.coloursUsed = LoadU32(p + 46);
  }
  return h;
}

class BmpReader {
 public:
  BmpReader(std::span<const std::byte> bytes, const TextureRequest& request,
            TextureLoaderState& state, Notifier& notifier)
      : bytes_(bytes), request_(request), state_(state), notifier_(notifier) {}

  ReadResult Read();

 private:
  ReadResult Refuse(const std::string& text, const char* caption) {
    notifier_.ShowMessage({.caption = caption, .text = text});
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
  const auto* p = bytes_.data();
  if (bytes_.size() < kFileHeaderBytes + 4)
    return Refuse("Error reading bitmap data", kUnitCaption);
  const std::uint32_t infoBytes = LoadU32(p + kFileHeaderBytes);
  if (!IsInfoHeaderSize(infoBytes)) return RefuseFormat();
  if (bytes_.size() < kFileHeaderBytes + infoBytes) {
    return Refuse("Error reading bitmap data", kUnitCaption);
  }
  const BmpHeader header = ParseHeader(p);
  const std::int32_t width = header.width;
  const std::int32_t height = header.height;
  const std::uint16_t bits = header.bits;
  const std::uint32_t dataOffset = header.dataOffset;

  if (bits == 4) {
    notifier_.Beep();
    return Refuse("Couldn't load bitmap", "Info");
  }
  // Without a count the palette fills the gap between the headers and the
  // texels.
  const std::uint32_t paletteSize =
      header.coloursUsed != 0 ? header.coloursUsed
                              : (dataOffset - static_cast<std::uint32_t>(header.PaletteAt())) /
                                    header.paletteEntryBytes;
  if (!IsPaletteSize(paletteSize)) return RefuseFormat();
  // 1, 16 and 32 bits and every compression are not decoded.
  if ((bits != 8 && bits != 24) || header.compression != 0) return RefuseFormat();
  const std::int64_t rows = height < 0 ? -std::int64_t{height} : std::int64_t{height};
  if (width < 1 || rows < 1 || width > kMaxImageSide || rows > kMaxImageSide) {
    return RefuseFormat();
  }

  std::span<const std::byte> palette;
  const std::size_t paletteBytes = std::size_t{paletteSize} * header.paletteEntryBytes;
  if (paletteSize > 0) {
    if (bytes_.size() - header.PaletteAt() < paletteBytes) {
      return Refuse("Error reading palette", kUnitCaption);
    }
    palette = bytes_.subspan(header.PaletteAt(), paletteBytes);
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
        const std::byte* entry = palette.data() + std::size_t{v} * header.paletteEntryBytes;
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
  // A constant alpha asks for RGBA by itself. A request with no image held
  // (which only a test can leave) is opaque, as in the other readers.
  const bool held = state_.alphaImagePending && state_.HoldsAlphaImage();
  if (!request_.useConstantAlpha && !held) {
    state_.alphaImagePending = false;
    return ReadResult::Image(std::move(rgb));
  }

  PixelBuffer rgba = WithConstantAlpha(rgb, ConstantAlpha(request_.alphaOrKind));
  if (!request_.useConstantAlpha) {
    if (!ApplyAlphaImage(rgba, state_.alphaImage)) {
      RefuseAlphaImageSize(state_, request_.fileName, notifier_);
      return ReadResult::Failed();
    }
    if (KindForcesOpaque(request_.alphaOrKind)) SetOpaque(rgba);
  }
  state_.ReleaseAlphaImage();
  return ReadResult::Image(std::move(rgba));
}

}  // namespace

ReadResult ReadBmpTexture(std::span<const std::byte> bytes, const TextureRequest& request,
                          TextureLoaderState& state, Notifier& notifier) {
  return BmpReader(bytes, request, state, notifier).Read();
}

ReadResult ReadBmpTextureFile(const TextureRequest& request, TextureLoaderState& state,
                              Notifier& notifier) {
  const auto file = FileBytes::Open(request.fileName, nullptr);
  if (!file) {
    notifier.ShowMessage({.caption = kUnitCaption, .text = "Error opening " + request.fileName});
    return ReadResult::Failed();
  }
  return ReadBmpTexture(file->bytes(), request, state, notifier);
}

}  // namespace kelvane
