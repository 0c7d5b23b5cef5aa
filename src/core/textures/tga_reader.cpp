#include "textures/tga_reader.h"

#include <cstring>

#include "mesh/byte_cursor.h"
#include "platform/file_bytes.h"
#include "platform/notices.h"
#include "textures/alpha_merge.h"

namespace kelvane {

namespace {

constexpr std::size_t kHeaderBytes = 18;
constexpr std::uint8_t kColourMapped = 1;
constexpr std::uint8_t kTrueColour = 2;
constexpr std::uint8_t kTopDown = 0x20;
constexpr std::size_t kMaxColourMapEntries = 256;
constexpr const char* kCaption = "TGA File Error";

struct TgaHeader {
  std::uint8_t idLength = 0;
  std::uint8_t colourMapType = 0;
  std::uint8_t imageType = 0;
  std::uint16_t firstEntry = 0;
  std::uint16_t colourMapLength = 0;
  std::uint8_t entryBits = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint8_t depth = 0;
  std::uint8_t descriptor = 0;
};

TgaHeader ParseHeader(const std::byte* p) {
  TgaHeader h;
  h.idLength = static_cast<std::uint8_t>(p[0]);
  h.colourMapType = static_cast<std::uint8_t>(p[1]);
  h.imageType = static_cast<std::uint8_t>(p[2]);
  h.firstEntry = LoadU16(p + 3);
  h.colourMapLength = LoadU16(p + 5);
  h.entryBits = static_cast<std::uint8_t>(p[7]);
  h.width = LoadU16(p + 12);
  h.height = LoadU16(p + 14);
  h.depth = static_cast<std::uint8_t>(p[16]);
  h.descriptor = static_cast<std::uint8_t>(p[17]);
  return h;
}

class TgaReader {
 public:
  TgaReader(std::span<const std::byte> bytes, const TextureRequest& request,
            TextureLoaderState& state, Notifier& notifier)
      : bytes_(bytes), request_(request), state_(state), notifier_(notifier) {}

  ReadResult Read();

 private:
  ReadResult Refuse(const std::string& what) {
    notifier_.ShowMessage("Couldn't load \"" + request_.fileName + "\". " + what, kCaption);
    return ReadResult::Failed();
  }
  ReadResult RefuseShort() {
    notifier_.ShowMessage("Couldn't read file \"" + request_.fileName + "\".", kCaption);
    return ReadResult::Failed();
  }
  bool Decode(const TgaHeader& h, std::span<const std::byte> colourMap,
              std::span<const std::byte> texels, PixelBuffer& out);
  ReadResult FinishRgb(PixelBuffer rgb);
  ReadResult FinishRgba(PixelBuffer rgba);

  std::span<const std::byte> bytes_;
  const TextureRequest& request_;
  TextureLoaderState& state_;
  Notifier& notifier_;
};

ReadResult TgaReader::Read() {
  if (bytes_.size() < kHeaderBytes) return RefuseShort();
  const TgaHeader h = ParseHeader(bytes_.data());
  if (h.imageType != kColourMapped && h.imageType != kTrueColour) {
    return Refuse("Only 256 colour, 24 bit and 32bit TGA supported.");
  }
  if (h.colourMapType > 1) return Refuse("Colormapped TGA files not supported.");
  if (h.depth != 8 && h.depth != 16 && h.depth != 24 && h.depth != 32) {
    return Refuse("Only 24 and 32 bit TGA files supported.");
  }
  // Indices are 8 bits and only indices carry a colour map.
  if ((h.imageType == kColourMapped) != (h.depth == 8)) {
    return Refuse("Only 256 colour, 24 bit and 32bit TGA supported.");
  }

  std::size_t pos = kHeaderBytes + h.idLength;
  std::span<const std::byte> colourMap;
  if (h.colourMapType == 1) {
    // A map in a true-colour file is skipped whatever its entries are.
    const std::size_t mapBytes = std::size_t{h.colourMapLength} * ((h.entryBits + 7u) / 8u);
    if (h.imageType == kColourMapped &&
        (h.entryBits != 24 || h.colourMapLength > kMaxColourMapEntries)) {
      return Refuse("Colormapped TGA files not supported.");
    }
    if (pos > bytes_.size() || bytes_.size() - pos < mapBytes) return RefuseShort();
    colourMap = bytes_.subspan(pos, mapBytes);
    pos += mapBytes;
  } else if (h.imageType == kColourMapped) {
    return Refuse("Colormapped TGA files not supported.");
  }

  if (h.width == 0 || h.height == 0) return RefuseShort();
  const std::size_t texelBytes = std::size_t{h.width} * h.height * (h.depth / 8u);
  if (pos > bytes_.size() || bytes_.size() - pos < texelBytes) return RefuseShort();

  PixelBuffer image =
      PixelBuffer::Unwritten(h.width, h.height, static_cast<std::uint8_t>(h.depth == 32 ? 4 : 3));
  if (!Decode(h, colourMap, bytes_.subspan(pos, texelBytes), image)) return RefuseShort();
  return image.HasAlpha() ? FinishRgba(std::move(image)) : FinishRgb(std::move(image));
}

// One row of each depth into R, G, B[, A]; the depth is chosen once per
// image, never per texel.
void RowBgrToRgb(const std::byte* src, std::uint8_t* dst, std::size_t w) {
  for (std::size_t x = 0; x < w; ++x, src += 3, dst += 3) {
    dst[0] = static_cast<std::uint8_t>(src[2]);
    dst[1] = static_cast<std::uint8_t>(src[1]);
    dst[2] = static_cast<std::uint8_t>(src[0]);
  }
}

void RowBgraToRgba(const std::byte* src, std::uint8_t* dst, std::size_t w) {
  for (std::size_t x = 0; x < w; ++x) {
    std::uint32_t v;
    std::memcpy(&v, src + x * 4, 4);
    // Little-endian B, G, R, A: exchange the low and third bytes.
    v = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
    std::memcpy(dst + x * 4, &v, 4);
  }
}

void Row16ToRgb(const std::byte* src, std::uint8_t* dst, std::size_t w) {
  for (std::size_t x = 0; x < w; ++x, src += 2, dst += 3) {
    // Five bits a channel, bit 15 ignored; the low three bits stay 0.
    const unsigned v = LoadU16(src);
    dst[0] = static_cast<std::uint8_t>(((v >> 10) & 31u) * 8);
    dst[1] = static_cast<std::uint8_t>(((v >> 5) & 31u) * 8);
    dst[2] = static_cast<std::uint8_t>((v & 31u) * 8);
  }
}

// Texels into R, G, B[, A] rows bottom-up. False when an index lies outside
// the colour map.
bool TgaReader::Decode(const TgaHeader& h, std::span<const std::byte> colourMap,
                       std::span<const std::byte> texels, PixelBuffer& out) {
  const std::size_t w = h.width;
  const std::size_t fileRowBytes = w * (h.depth / 8u);
  const bool topDown = (h.descriptor & kTopDown) != 0;
  const std::size_t mapEntries = colourMap.size() / 3;
  for (std::size_t y = 0; y < h.height; ++y) {
    const std::size_t fileRow = topDown ? h.height - 1 - y : y;
    const std::byte* src = texels.data() + fileRow * fileRowBytes;
    std::uint8_t* dst = out.pixels.data() + y * out.RowBytes();
    switch (h.depth) {
      case 8:
        for (std::size_t x = 0; x < w; ++x, dst += 3) {
          // Entries are numbered from the map's first-entry index.
          const std::size_t index = static_cast<std::uint8_t>(src[x]);
          if (index < h.firstEntry || index - h.firstEntry >= mapEntries) return false;
          const std::byte* entry = colourMap.data() + (index - h.firstEntry) * 3;
          dst[0] = static_cast<std::uint8_t>(entry[2]);
          dst[1] = static_cast<std::uint8_t>(entry[1]);
          dst[2] = static_cast<std::uint8_t>(entry[0]);
        }
        break;
      case 16:
        Row16ToRgb(src, dst, w);
        break;
      case 24:
        RowBgrToRgb(src, dst, w);
        break;
      default:
        RowBgraToRgba(src, dst, w);
        break;
    }
  }
  return true;
}

ReadResult TgaReader::FinishRgb(PixelBuffer rgb) {
  if (request_.useConstantAlpha) {
    // The constant wins over a held alpha image, which is dropped: nothing
    // stays pending for a later image.
    state_.ReleaseAlphaImage();
    return ReadResult::Image(WithConstantAlpha(rgb, ConstantAlpha(request_.alphaOrKind)));
  }
  if (state_.loadingAlphaImage) {
    state_.HoldAlphaImage(std::move(rgb.pixels));
    return ReadResult::AlphaHeld();
  }
  if (!state_.alphaImagePending) return ReadResult::Image(std::move(rgb));

  PixelBuffer rgba = WithConstantAlpha(rgb, 255);
  if (state_.HoldsAlphaImage()) {
    if (!ApplyAlphaImage(rgba, state_.alphaImage)) {
      RefuseAlphaImageSize(state_, request_.fileName, notifier_);
      return ReadResult::Failed();
    }
    state_.ReleaseAlphaImage();
  }
  state_.alphaImagePending = false;
  return ReadResult::Image(std::move(rgba));
}

ReadResult TgaReader::FinishRgba(PixelBuffer rgba) {
  if (request_.useConstantAlpha) {
    for (std::size_t i = 0; i < rgba.TexelCount(); ++i) {
      rgba.pixels[i * 4 + 3] = ConstantAlpha(request_.alphaOrKind);
    }
  } else if (state_.loadingAlphaImage) {
    // Held like the other depths: its colour, not its alpha channel.
    PixelBytes rgb(rgba.TexelCount() * 3);
    for (std::size_t i = 0; i < rgba.TexelCount(); ++i) {
      for (int c = 0; c < 3; ++c)
        rgb[i * 3 + c] = rgba.pixels[i * 4 + c];
    }
    state_.HoldAlphaImage(std::move(rgb));
    return ReadResult::AlphaHeld();
  } else {
    if (state_.alphaImagePending && state_.HoldsAlphaImage() &&
        !ApplyAlphaImage(rgba, state_.alphaImage)) {
      RefuseAlphaImageSize(state_, request_.fileName, notifier_);
      return ReadResult::Failed();
    }
    if (KindForcesOpaque(request_.alphaOrKind)) SetOpaque(rgba);
  }
  if (state_.alphaImagePending) state_.ReleaseAlphaImage();
  return ReadResult::Image(std::move(rgba));
}

}  // namespace

ReadResult ReadTgaTexture(std::span<const std::byte> bytes, const TextureRequest& request,
                          TextureLoaderState& state, Notifier& notifier) {
  return TgaReader(bytes, request, state, notifier).Read();
}

ReadResult ReadTgaTextureFile(const TextureRequest& request, TextureLoaderState& state,
                              Notifier& notifier) {
  const auto file = FileBytes::Open(request.fileName, nullptr);
  if (!file) {
    notifier.ShowMessage("File not found  - " + request.fileName, "TGA Texture");
    return ReadResult::Failed();
  }
  return ReadTgaTexture(file->bytes(), request, state, notifier);
}

}  // namespace kelvane
