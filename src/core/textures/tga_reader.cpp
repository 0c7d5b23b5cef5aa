#include "textures/tga_reader.h"

#include <cstring>
#include <vector>

#if defined(__x86_64__) && defined(__SSE2__)
#include <immintrin.h>
#define KELVANE_X86_SIMD 1
#else
#define KELVANE_X86_SIMD 0
#endif

#include "base/byte_cursor.h"
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
    notifier_.ShowMessage(
        {.caption = kCaption, .text = "Couldn't load \"" + request_.fileName + "\". " + what});
    return ReadResult::Failed();
  }
  ReadResult RefuseShort() {
    notifier_.ShowMessage(
        {.caption = kCaption, .text = "Couldn't read file \"" + request_.fileName + "\"."});
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
// image, never per texel. Each kernel converts a prefix of the row and
// returns how many texels it did; the portable loop finishes the rest.
void TailBgrToRgb(const std::byte* src, std::uint8_t* dst, std::size_t from, std::size_t w) {
  for (std::size_t x = from; x < w; ++x) {
    dst[3 * x] = static_cast<std::uint8_t>(src[3 * x + 2]);
    dst[3 * x + 1] = static_cast<std::uint8_t>(src[3 * x + 1]);
    dst[3 * x + 2] = static_cast<std::uint8_t>(src[3 * x]);
  }
}

void TailBgraToRgba(const std::byte* src, std::uint8_t* dst, std::size_t from, std::size_t w) {
  for (std::size_t x = from; x < w; ++x) {
    std::uint32_t v;
    std::memcpy(&v, src + x * 4, 4);
    // Little-endian B, G, R, A: exchange the low and third bytes.
    v = (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16);
    std::memcpy(dst + x * 4, &v, 4);
  }
}

using RowKernel = std::size_t (*)(const std::byte*, std::uint8_t*, std::size_t);

std::size_t NoKernel(const std::byte*, std::uint8_t*, std::size_t) {
  return 0;
}

#if KELVANE_X86_SIMD
// A 48-byte group (16 texels) in three registers: byte p keeps its place
// when p % 3 == 1, takes byte p - 2 when p % 3 == 2 and byte p + 2 when
// p % 3 == 0. The three masks of each register select those bytes.
struct BgrMasks {
  alignas(16) std::uint8_t bytes[3][3][16];
};
constexpr BgrMasks MakeBgrMasks() {
  BgrMasks m{};
  for (int reg = 0; reg < 3; ++reg)
    for (int i = 0; i < 16; ++i)
      m.bytes[reg][(16 * reg + i) % 3][i] = 0xFF;
  return m;
}
constexpr BgrMasks kBgrMasks = MakeBgrMasks();

__m128i Mask(int reg, int residue) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kBgrMasks.bytes[reg][residue]));
}

std::size_t BgrToRgbSse2(const std::byte* src, std::uint8_t* dst, std::size_t w) {
  std::size_t x = 0;
  for (; x + 16 <= w; x += 16) {
    const auto* in = reinterpret_cast<const __m128i*>(src + 3 * x);
    const __m128i v0 = _mm_loadu_si128(in);
    const __m128i v1 = _mm_loadu_si128(in + 1);
    const __m128i v2 = _mm_loadu_si128(in + 2);
    // Bytes moved up by two (p takes p - 2) and down by two (p takes p + 2).
    const __m128i up0 = _mm_slli_si128(v0, 2);
    const __m128i up1 = _mm_or_si128(_mm_slli_si128(v1, 2), _mm_srli_si128(v0, 14));
    const __m128i up2 = _mm_or_si128(_mm_slli_si128(v2, 2), _mm_srli_si128(v1, 14));
    const __m128i down0 = _mm_or_si128(_mm_srli_si128(v0, 2), _mm_slli_si128(v1, 14));
    const __m128i down1 = _mm_or_si128(_mm_srli_si128(v1, 2), _mm_slli_si128(v2, 14));
    const __m128i down2 = _mm_srli_si128(v2, 2);
    const auto join = [](int reg, __m128i v, __m128i up, __m128i down) {
      return _mm_or_si128(
          _mm_or_si128(_mm_and_si128(v, Mask(reg, 1)), _mm_and_si128(up, Mask(reg, 2))),
          _mm_and_si128(down, Mask(reg, 0)));
    };
    auto* out = reinterpret_cast<__m128i*>(dst + 3 * x);
    _mm_storeu_si128(out, join(0, v0, up0, down0));
    _mm_storeu_si128(out + 1, join(1, v1, up1, down1));
    _mm_storeu_si128(out + 2, join(2, v2, up2, down2));
  }
  return x;
}

// Four texels a register: keep the G, A bytes, swap the B and R bytes.
std::size_t BgraToRgbaSse2(const std::byte* src, std::uint8_t* dst, std::size_t w) {
  const __m128i ga = _mm_set1_epi32(static_cast<int>(0xFF00FF00u));
  std::size_t x = 0;
  for (; x + 4 <= w; x += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * x));
    const __m128i rb = _mm_andnot_si128(ga, v);
    const __m128i swapped = _mm_or_si128(_mm_slli_epi32(rb, 16), _mm_srli_epi32(rb, 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * x),
                     _mm_or_si128(_mm_and_si128(ga, v), swapped));
  }
  return x;
}

// One shuffle per register. A 24-bit step reads and writes 16 bytes for
// 4 texels; the 4 bytes past them are rewritten by the next step or the
// tail, so the loop stops while 6 texels remain.
[[gnu::target("ssse3")]] inline void BgrStepSsse3(const std::byte* s, std::uint8_t* d) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_shuffle_epi8(v, order));
}

[[gnu::target("ssse3")]] std::size_t BgrToRgbSsse3(const std::byte* src, std::uint8_t* dst,
                                                   std::size_t w) {
  std::size_t x = 0;
  for (; x + 18 <= w; x += 16) {
    BgrStepSsse3(src + 3 * x, dst + 3 * x);
    BgrStepSsse3(src + 3 * x + 12, dst + 3 * x + 12);
    BgrStepSsse3(src + 3 * x + 24, dst + 3 * x + 24);
    BgrStepSsse3(src + 3 * x + 36, dst + 3 * x + 36);
  }
  for (; x + 6 <= w; x += 4)
    BgrStepSsse3(src + 3 * x, dst + 3 * x);
  return x;
}

[[gnu::target("ssse3")]] std::size_t BgraToRgbaSsse3(const std::byte* src, std::uint8_t* dst,
                                                     std::size_t w) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
  std::size_t x = 0;
  for (; x + 8 <= w; x += 8) {
    const auto* in = reinterpret_cast<const __m128i*>(src + 4 * x);
    auto* out = reinterpret_cast<__m128i*>(dst + 4 * x);
    _mm_storeu_si128(out, _mm_shuffle_epi8(_mm_loadu_si128(in), order));
    _mm_storeu_si128(out + 1, _mm_shuffle_epi8(_mm_loadu_si128(in + 1), order));
  }
  return x;
}
#endif

// A whole row: the kernel's prefix, then the rest texel by texel.
template <RowKernel kKernel>
void BgrRow(const std::byte* src, std::uint8_t* dst, std::size_t w) {
  TailBgrToRgb(src, dst, kKernel(src, dst, w), w);
}
template <RowKernel kKernel>
void BgraRow(const std::byte* src, std::uint8_t* dst, std::size_t w) {
  TailBgraToRgba(src, dst, kKernel(src, dst, w), w);
}

std::vector<TgaRowConverter> FindConverters() {
  std::vector<TgaRowConverter> found;
#if KELVANE_X86_SIMD
  if (__builtin_cpu_supports("ssse3"))
    found.push_back({"SSSE3", BgrRow<BgrToRgbSsse3>, BgraRow<BgraToRgbaSsse3>});
  found.push_back({"SSE2", BgrRow<BgrToRgbSse2>, BgraRow<BgraToRgbaSse2>});
#endif
  found.push_back({"portable", BgrRow<NoKernel>, BgraRow<NoKernel>});
  return found;
}

const TgaRowConverter& Converter() {
  return TgaRowConverters().front();
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
  const TgaRowConverter& rows = Converter();
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
        rows.bgr(src, dst, w);
        break;
      default:
        rows.bgra(src, dst, w);
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

std::span<const TgaRowConverter> TgaRowConverters() {
  static const std::vector<TgaRowConverter> converters = FindConverters();
  return converters;
}

ReadResult ReadTgaTextureFile(const TextureRequest& request, TextureLoaderState& state,
                              Notifier& notifier) {
  const auto file = FileBytes::Open(request.fileName, nullptr);
  if (!file) {
    notifier.ShowMessage(
        {.caption = "TGA Texture", .text = "File not found  - " + request.fileName});
    return ReadResult::Failed();
  }
  return ReadTgaTexture(file->bytes(), request, state, notifier);
}

}  // namespace kelvane
