#include "textures/texture_container.h"

#include <cstdint>
#include <cstring>

#include "base/byte_cursor.h"
#include "platform/file_bytes.h"
#include "textures/alpha_merge.h"
#include "textures/dxt.h"

namespace kelvane {

namespace {

constexpr std::size_t kInfoStart = 20;      // first INFO field
constexpr std::size_t kBaseFieldsEnd = 80;  // the fields every version has

// Where the INFO fields of a version end: newer versions append fields
// that the viewer reads past.
std::size_t InfoFieldsEnd(std::int32_t version) {
  std::size_t end = kBaseFieldsEnd;
  if (version >= 260) end += 4;
  if (version >= 261) end += 12;
  if (version >= 263) end += 4;
  return end;
}

bool TagAt(std::span<const std::byte> bytes, std::size_t at, const char* tag, std::size_t n) {
  return bytes.size() >= n && at <= bytes.size() - n && std::memcmp(bytes.data() + at, tag, n) == 0;
}

std::int32_t I32At(std::span<const std::byte> bytes, std::size_t at) {
  return static_cast<std::int32_t>(LoadU32(bytes.data() + at));
}

// Texels of 4 bytes B, G, R, x with rows top-down, turned into RGB or
// RGBA rows bottom-up. `alpha` supplies the fourth byte when given, else
// the file's own.
PixelBuffer DecodeBgra(std::span<const std::byte> payload, std::uint16_t width,
                       std::uint16_t height, std::uint8_t bytesPerTexel,
                       std::optional<std::uint8_t> alpha) {
  PixelBuffer image = PixelBuffer::Zeroed(width, height, bytesPerTexel);
  const std::size_t w = width;
  for (std::size_t y = 0; y < height; ++y) {
    const std::byte* src = payload.data() + (height - 1 - y) * w * 4;
    std::uint8_t* dst = image.pixels.data() + y * image.RowBytes();
    for (std::size_t x = 0; x < w; ++x, src += 4, dst += bytesPerTexel) {
      dst[0] = static_cast<std::uint8_t>(src[2]);
      dst[1] = static_cast<std::uint8_t>(src[1]);
      dst[2] = static_cast<std::uint8_t>(src[0]);
      if (bytesPerTexel == 4) dst[3] = alpha ? *alpha : static_cast<std::uint8_t>(src[3]);
    }
  }
  return image;
}

std::optional<PixelBuffer> DecodeContainerImage(const TextureContainer& c,
                                                const TextureRequest& request) {
  const TextureInfo& info = c.info;
  if (info.width < 1 || info.height < 1 || info.width > kMaxImageSide ||
      info.height > kMaxImageSide) {
    return std::nullopt;
  }
  const std::uint8_t constant = ConstantAlpha(request.alphaOrKind);
  // The kind code overrides the file: its alpha carries no transparency.
  const std::int32_t blockAlphaMode = KindForcesOpaque(request.alphaOrKind) ? 0 : info.alphaMode;
  switch (info.format) {
    case kTextureFormatDxt1:
      return dxt::DecodeDxt1(c.payload, info.width, info.height, info.alphaMode,
                             request.useConstantAlpha, constant);
    case kTextureFormatDxt3:
      return dxt::DecodeDxt3(c.payload, info.width, info.height, blockAlphaMode);
    case kTextureFormatDxt5:
      return dxt::DecodeDxt5(c.payload, info.width, info.height, blockAlphaMode);
    default:
      break;
  }
  const auto w = static_cast<std::uint16_t>(info.width);
  const auto h = static_cast<std::uint16_t>(info.height);
  if (info.format == kTextureFormatBgrx) {
    if (request.useConstantAlpha) return DecodeBgra(c.payload, w, h, 4, constant);
    return DecodeBgra(c.payload, w, h, 3, std::nullopt);
  }
  return DecodeBgra(c.payload, w, h, 4, std::nullopt);
}

}  // namespace

std::optional<TextureContainer> ParseTextureContainer(std::span<const std::byte> bytes) {
  if (!TagAt(bytes, 0, "JIRF", 4) || bytes.size() < 8) return std::nullopt;
  if (!TagAt(bytes, 8, "MMTFINFO", 8) || bytes.size() < kInfoStart) return std::nullopt;
  const std::uint32_t infoLength = LoadU32(bytes.data() + 16);

  TextureContainer c;
  TextureInfo& info = c.info;
  if (bytes.size() < 40) return std::nullopt;
  info.version = I32At(bytes, 20);
  info.countFactor1 = I32At(bytes, 28);
  info.countFactor2 = I32At(bytes, 32);
  info.format = I32At(bytes, 36);
  if (info.format > kTextureFormatDxt5) return std::nullopt;
  if (bytes.size() < InfoFieldsEnd(info.version)) return std::nullopt;
  info.width = I32At(bytes, 40);
  info.height = I32At(bytes, 44);
  info.alphaMode = I32At(bytes, 76);

  const std::int64_t chunks = std::int64_t{info.countFactor1} * info.countFactor2;
  // The declared INFO length decides where the image chunks begin.
  std::uint64_t pos = kInfoStart + std::uint64_t{infoLength};
  for (std::int64_t i = 0; i < chunks; ++i) {
    if (pos > bytes.size() || bytes.size() - pos < 8) return std::nullopt;
    const auto at = static_cast<std::size_t>(pos);
    if (!TagAt(bytes, at, "MMAP", 4)) return std::nullopt;
    const std::uint32_t length = LoadU32(bytes.data() + at + 4);
    pos += 8;
    if (i + 1 < chunks) {
      pos += length;
      continue;
    }
    // Two 32-bit sides multiply safely in 64 bits; the factor 4 might not.
    const std::int64_t texels = std::int64_t{info.width} * info.height;
    if (info.format < kTextureFormatDxt1 &&
        (texels < 0 || texels > std::int64_t{UINT32_MAX} / 4 || length != texels * 4)) {
      return std::nullopt;
    }
    if (length > bytes.size() - static_cast<std::size_t>(pos)) return std::nullopt;
    c.hasImage = true;
    c.payload = bytes.subspan(static_cast<std::size_t>(pos), length);
  }
  return c;
}

ReadResult ReadContainerTexture(std::span<const std::byte> bytes, const TextureRequest& request) {
  const auto container = ParseTextureContainer(bytes);
  if (!container) return ReadResult::Failed();
  if (!container->hasImage) return ReadResult::NoImage();
  auto image = DecodeContainerImage(*container, request);
  if (!image) return ReadResult::Failed();
  return ReadResult::Image(std::move(*image));
}

ReadResult ReadContainerTextureFile(const TextureRequest& request) {
  const auto file = FileBytes::Open(request.fileName, nullptr);
  if (!file) return ReadResult::Failed();
  return ReadContainerTexture(file->bytes(), request);
}

}  // namespace kelvane
