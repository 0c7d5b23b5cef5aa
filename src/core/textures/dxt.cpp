#include "textures/dxt.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#if defined(__x86_64__) && defined(__SSE2__)
#include <immintrin.h>
#define KELVANE_X86_SIMD 1
#else
#define KELVANE_X86_SIMD 0
#endif

#include "base/byte_cursor.h"
#include "textures/alpha_merge.h"

namespace kelvane::dxt {

namespace {

// A palette of four texels, 4 bytes R, G, B, A each; 3-byte outputs copy the
// first three.
using ColourPalette = std::array<std::array<std::uint8_t, 4>, 4>;

// A whole payload decodes to at most 8 output bytes per payload byte. A
// payload short by half still decodes (its missing rows stay zero); one
// that is shorter still is trusted only for small pictures, so a few bytes
// cannot ask for gigabytes.
constexpr std::size_t kMaxOutputPerPayloadByte = 16;
constexpr std::size_t kSmallPictureBytes = std::size_t{1} << 20;

void SetEndpoints(const std::byte* colourBlock, ColourPalette& pal, std::uint16_t& c0,
                  std::uint16_t& c1) {
  c0 = LoadU16(colourBlock);
  c1 = LoadU16(colourBlock + 2);
  const auto e0 = Expand565(c0);
  const auto e1 = Expand565(c1);
  for (int ch = 0; ch < 3; ++ch) {
    pal[0][ch] = e0[ch];
    pal[1][ch] = e1[ch];
  }
}

void FourColourPalette(ColourPalette& pal) {
  for (int ch = 0; ch < 3; ++ch) {
    const unsigned a = pal[0][ch];
    const unsigned b = pal[1][ch];
    pal[2][ch] = static_cast<std::uint8_t>(2 * a / 3 + b / 3);
    pal[3][ch] = static_cast<std::uint8_t>(a / 3 + 2 * b / 3);
  }
}

void ThreeColourPalette(ColourPalette& pal) {
  for (int ch = 0; ch < 3; ++ch) {
    const unsigned mid = pal[0][ch] / 2u + pal[1][ch] / 2u;
    pal[2][ch] = static_cast<std::uint8_t>(mid);
    pal[3][ch] = static_cast<std::uint8_t>(mid);
  }
}

// The colour half of a block: endpoints, then one index byte per row, the
// leftmost texel in the lowest two bits.
template <std::size_t kBytes>
void WriteColours(const std::byte* colourBlock, const ColourPalette& pal, std::uint8_t* dst,
                  std::ptrdiff_t pitch) {
  if constexpr (kBytes == 4) {
    // Whole texels as words, a row of four at once.
    std::uint32_t words[4];
    std::memcpy(words, pal.data(), sizeof words);
    for (int row = 0; row < 4; ++row) {
      const auto bits = static_cast<unsigned>(colourBlock[4 + row]);
      const std::uint32_t texels[4] = {words[bits & 3u], words[(bits >> 2) & 3u],
                                       words[(bits >> 4) & 3u], words[bits >> 6]};
      std::memcpy(dst + row * pitch, texels, sizeof texels);
    }
    return;
  }
  for (int row = 0; row < 4; ++row) {
    const auto bits = static_cast<unsigned>(colourBlock[4 + row]);
    std::uint8_t* out = dst + row * pitch;
    for (unsigned x = 0; x < 4; ++x) {
      std::memcpy(out + x * kBytes, pal[(bits >> (2 * x)) & 3u].data(), kBytes);
    }
  }
}

// Palette of a DXT1 block; `transparent` is the alpha of index 3 in a
// three-colour block.
ColourPalette Dxt1Palette(const std::byte* block, std::uint8_t opaque, std::uint8_t transparent) {
  ColourPalette pal;
  std::uint16_t c0 = 0;
  std::uint16_t c1 = 0;
  SetEndpoints(block, pal, c0, c1);
  for (auto& entry : pal)
    entry[3] = opaque;
  if (c0 > c1) {
    FourColourPalette(pal);
  } else {
    ThreeColourPalette(pal);
    pal[3][3] = transparent;
  }
  return pal;
}

// A DXT1 palette as four little-endian R, G, B, A words, computed in
// registers: the same arithmetic as Dxt1Palette, without the byte arrays.
// `fourColours` forces the four-colour palette, as the colour half of a
// DXT3 or DXT5 block always has it.
inline void Dxt1Words(const std::byte* block, std::uint32_t opaque, std::uint32_t transparent,
                      std::uint32_t (&words)[4], bool fourColours = false) {
  const unsigned c0 = LoadU16(block);
  const unsigned c1 = LoadU16(block + 2);
  const unsigned r0 = (c0 >> 11) * 8, g0 = ((c0 >> 5) & 63) * 4, b0 = (c0 & 31) * 8;
  const unsigned r1 = (c1 >> 11) * 8, g1 = ((c1 >> 5) & 63) * 4, b1 = (c1 & 31) * 8;
  const auto pack = [](unsigned r, unsigned g, unsigned b, std::uint32_t a) {
    return r | g << 8 | b << 16 | a << 24;
  };
  words[0] = pack(r0, g0, b0, opaque);
  words[1] = pack(r1, g1, b1, opaque);
  if (fourColours || c0 > c1) {
    words[2] = pack(2 * r0 / 3 + r1 / 3, 2 * g0 / 3 + g1 / 3, 2 * b0 / 3 + b1 / 3, opaque);
    words[3] = pack(r0 / 3 + 2 * r1 / 3, g0 / 3 + 2 * g1 / 3, b0 / 3 + 2 * b1 / 3, opaque);
  } else {
    const std::uint32_t mid = pack(r0 / 2 + r1 / 2, g0 / 2 + g1 / 2, b0 / 2 + b1 / 2, 0);
    words[2] = mid | opaque << 24;
    words[3] = mid | transparent << 24;
  }
  if constexpr (std::endian::native == std::endian::big) {
    for (auto& w : words)
      w = __builtin_bswap32(w);
  }
}

inline void WriteWords(const std::byte* colourBlock, const std::uint32_t (&words)[4],
                       std::uint8_t* dst, std::ptrdiff_t pitch) {
  const std::uint32_t bits = LoadU32(colourBlock + 4);
  for (int row = 0; row < 4; ++row) {
    const unsigned b = bits >> (8 * row);
    const std::uint32_t texels[4] = {words[b & 3u], words[(b >> 2) & 3u], words[(b >> 4) & 3u],
                                     words[(b >> 6) & 3u]};
    std::memcpy(dst + row * pitch, texels, sizeof texels);
  }
}

void WriteAlphas(const std::array<std::uint8_t, 16>& alphas, std::uint8_t* dst,
                 std::ptrdiff_t pitch) {
  for (int row = 0; row < 4; ++row) {
    std::uint8_t* out = dst + row * pitch;
    for (int x = 0; x < 4; ++x)
      out[x * 4 + 3] = alphas[row * 4 + x];
  }
}

// Runs `decodeBlock(block, dst, pitch)` over every block the picture needs;
// the whole blocks of a block row go as one run to
// `decodeRun(blocks, dst, pitch, count)`.
template <typename BlockFn, typename RunFn>
std::optional<PixelBuffer> DecodeBlocks(std::span<const std::byte> payload, std::int32_t width,
                                        std::int32_t height, std::uint8_t bytesPerTexel,
                                        std::size_t blockBytes, BlockFn decodeBlock,
                                        RunFn decodeRun) {
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) {
    return std::nullopt;
  }
  const auto w = static_cast<std::size_t>(width);
  const auto h = static_cast<std::size_t>(height);
  const auto outBytes = CheckedProduct({w, h, bytesPerTexel});
  const std::size_t backed =
      payload.size() > std::numeric_limits<std::size_t>::max() / kMaxOutputPerPayloadByte
          ? std::numeric_limits<std::size_t>::max()
          : std::max(kSmallPictureBytes, payload.size() * kMaxOutputPerPayloadByte);
  if (!outBytes || *outBytes > backed) return std::nullopt;

  const std::size_t blocksPerRow = (w + 3) / 4;
  const std::size_t blockRowBytes = blocksPerRow * blockBytes;
  const std::size_t blockRows = (h + 3) / 4;
  // Rows the payload does not reach stay zero; when it reaches them all,
  // every byte is written by the blocks and clearing first is wasted.
  const auto side16 = [](std::size_t v) { return static_cast<std::uint16_t>(v); };
  PixelBuffer image = payload.size() / blockRowBytes >= blockRows
                          ? PixelBuffer::Unwritten(side16(w), side16(h), bytesPerTexel)
                          : PixelBuffer::Zeroed(side16(w), side16(h), bytesPerTexel);
  const std::size_t rowBytes = image.RowBytes();
  const auto pitch = -static_cast<std::ptrdiff_t>(rowBytes);

  std::size_t consumed = 0;
  for (std::size_t by = 0; by < blockRows && consumed < payload.size(); ++by) {
    if (payload.size() - consumed < blockRowBytes) return std::nullopt;
    const std::byte* src = payload.data() + consumed;
    const std::size_t top = by * 4;  // decoded rows run top-down
    const std::size_t rows = std::min<std::size_t>(4, h - top);
    std::uint8_t* rowStart = image.pixels.data() + (h - 1 - top) * rowBytes;
    const std::size_t whole = rows == 4 ? w / 4 : 0;
    decodeRun(src, rowStart, pitch, whole);
    src += whole * blockBytes;
    for (std::size_t bx = whole; bx < blocksPerRow; ++bx, src += blockBytes) {
      const std::size_t cols = std::min<std::size_t>(4, w - bx * 4);
      std::uint8_t* dst = rowStart + bx * 4 * bytesPerTexel;
      // Edge block: decode aside and keep what lies inside the picture.
      std::array<std::uint8_t, 4 * 4 * 4> edge{};
      const std::ptrdiff_t edgePitch = 4 * bytesPerTexel;
      decodeBlock(src, edge.data(), edgePitch);
      for (std::size_t r = 0; r < rows; ++r) {
        std::memcpy(dst + static_cast<std::ptrdiff_t>(r) * pitch, edge.data() + r * edgePitch,
                    cols * bytesPerTexel);
      }
    }
    consumed += blockRowBytes;
  }
  return image;
}

template <typename BlockFn>
std::optional<PixelBuffer> DecodeBlocks(std::span<const std::byte> payload, std::int32_t width,
                                        std::int32_t height, std::uint8_t bytesPerTexel,
                                        std::size_t blockBytes, BlockFn decodeBlock) {
  const auto run = [&](const std::byte* src, std::uint8_t* dst, std::ptrdiff_t pitch,
                       std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
      decodeBlock(src + i * blockBytes, dst + i * 4 * bytesPerTexel, pitch);
  };
  return DecodeBlocks(payload, width, height, bytesPerTexel, blockBytes, decodeBlock, run);
}

#if KELVANE_X86_SIMD
// A DXT5 block in one register, every step a shuffle or a 16-bit lane
// operation: endpoints and both palettes are computed side by side, the
// 3-bit and 2-bit indices spread to one byte per texel, and each row of
// four texels is gathered from the palettes with pshufb. Divisions by 3, 5
// and 7 are multiplications by rounded-up reciprocals, exact for the
// values that occur (sums of at most 7 x 255).
template <bool kKeepAlpha>
[[gnu::target("ssse3")]] inline void Dxt5BlockSsse3(const std::byte* block, std::uint8_t* dst,
                                                    std::ptrdiff_t pitch) {
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));

  // Colours: lanes c0 c0 c0 - c1 c1 c1 -, expanded to R G B 0 R G B 0.
  const __m128i c =
      _mm_shuffle_epi8(b, _mm_setr_epi8(8, 9, 8, 9, 8, 9, -1, -1, 10, 11, 10, 11, 10, 11, -1, -1));
  const __m128i shiftedDown = _mm_mulhi_epu16(c, _mm_setr_epi16(256, 8192, 0, 0, 256, 8192, 0, 0));
  const __m128i shiftedUp = _mm_mullo_epi16(c, _mm_setr_epi16(0, 0, 8, 0, 0, 0, 8, 0));
  const __m128i ends = _mm_and_si128(_mm_or_si128(shiftedDown, shiftedUp),
                                     _mm_setr_epi16(0xF8, 0xFC, 0xF8, 0, 0xF8, 0xFC, 0xF8, 0));
  const __m128i swapped = _mm_shuffle_epi32(ends, _MM_SHUFFLE(1, 0, 3, 2));
  const __m128i third = _mm_set1_epi16(21846);
  const __m128i between = _mm_add_epi16(_mm_mulhi_epu16(_mm_add_epi16(ends, ends), third),
                                        _mm_mulhi_epu16(swapped, third));
  __m128i colours = _mm_packus_epi16(ends, between);  // four R, G, B, 0 texels
  if constexpr (!kKeepAlpha) colours = _mm_or_si128(colours, _mm_set1_epi32(-16777216));

  // Colour indices as 4 x index per texel byte, row by row.
  const __m128i rowBytes = _mm_shuffle_epi8(
      b, _mm_setr_epi8(12, 12, 12, 12, 13, 13, 13, 13, 14, 14, 14, 14, 15, 15, 15, 15));
  const __m128i low = _mm_setr_epi8(1, 4, 16, 64, 1, 4, 16, 64, 1, 4, 16, 64, 1, 4, 16, 64);
  const __m128i high = _mm_add_epi8(low, low);
  const __m128i lowSet = _mm_cmpeq_epi8(_mm_and_si128(rowBytes, low), low);
  const __m128i highSet = _mm_cmpeq_epi8(_mm_and_si128(rowBytes, high), high);
  const __m128i colourOffsets = _mm_or_si128(_mm_and_si128(lowSet, _mm_set1_epi8(4)),
                                             _mm_and_si128(highSet, _mm_set1_epi8(8)));

  __m128i alphas = _mm_setzero_si128();
  if constexpr (kKeepAlpha) {
    const __m128i a0 =
        _mm_shuffle_epi8(b, _mm_setr_epi8(0, -1, 0, -1, 0, -1, 0, -1, 0, -1, 0, -1, 0, -1, 0, -1));
    const __m128i a1 =
        _mm_shuffle_epi8(b, _mm_setr_epi8(1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1, 1, -1));
    const auto blend = [&](__m128i w0, __m128i w1, short reciprocal) {
      const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(a0, w0), _mm_mullo_epi16(a1, w1));
      return _mm_mulhi_epu16(sum, _mm_set1_epi16(reciprocal));
    };
    const __m128i sevenths =
        blend(_mm_setr_epi16(7, 0, 6, 5, 4, 3, 2, 1), _mm_setr_epi16(0, 7, 1, 2, 3, 4, 5, 6), 9363);
    const __m128i fifths = _mm_or_si128(blend(_mm_setr_epi16(5, 0, 4, 3, 2, 1, 0, 0),
                                              _mm_setr_epi16(0, 5, 1, 2, 3, 4, 0, 0), 13108),
                                        _mm_setr_epi16(0, 0, 0, 0, 0, 0, 0, 255));
    const __m128i wide = _mm_cmpgt_epi16(a0, a1);
    const __m128i palette16 =
        _mm_or_si128(_mm_and_si128(wide, sevenths), _mm_andnot_si128(wide, fifths));
    const __m128i palette = _mm_packus_epi16(palette16, palette16);

    // Texel t's 3 bits start at bit 3t of bytes 2..7: take the 16 bits
    // around them into a lane, shift them to the lane's top byte by a
    // per-lane multiplication, then down to the bottom.
    const __m128i shifts = _mm_setr_epi16(256, 32, 4, 128, 16, 2, 64, 8);
    const __m128i first =
        _mm_shuffle_epi8(b, _mm_setr_epi8(2, 3, 2, 3, 2, 3, 3, 4, 3, 4, 3, 4, 4, 5, 4, 5));
    const __m128i second =
        _mm_shuffle_epi8(b, _mm_setr_epi8(5, 6, 5, 6, 5, 6, 6, 7, 6, 7, 6, 7, 7, 8, 7, 8));
    const __m128i indices =
        _mm_and_si128(_mm_packus_epi16(_mm_srli_epi16(_mm_mullo_epi16(first, shifts), 8),
                                       _mm_srli_epi16(_mm_mullo_epi16(second, shifts), 8)),
                      _mm_set1_epi8(7));
    alphas = _mm_shuffle_epi8(palette, indices);
  }

  const __m128i byteOfTexel = _mm_setr_epi8(0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3);
  const __m128i firstRow = _mm_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3);
  for (int row = 0; row < 4; ++row) {
    // Texel byte of each output byte: the row's four texels, four bytes each.
    const __m128i spread = _mm_add_epi8(firstRow, _mm_set1_epi8(static_cast<char>(4 * row)));
    __m128i texels = _mm_shuffle_epi8(
        colours, _mm_or_si128(_mm_shuffle_epi8(colourOffsets, spread), byteOfTexel));
    if constexpr (kKeepAlpha) {
      const __m128i toAlpha = _mm_or_si128(_mm_and_si128(spread, _mm_set1_epi32(-16777216)),
                                           _mm_set1_epi32(0x00FFFFFF));
      texels = _mm_or_si128(texels, _mm_shuffle_epi8(alphas, toAlpha));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + row * pitch), texels);
  }
}

template <bool kKeepAlpha>
[[gnu::target("ssse3")]] void Dxt5RunSsse3(const std::byte* src, std::uint8_t* dst,
                                           std::ptrdiff_t pitch, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    Dxt5BlockSsse3<kKeepAlpha>(src + i * kDxt5BlockBytes, dst + i * 16, pitch);
}

bool HasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}
#endif

}  // namespace

std::array<std::uint8_t, 3> Expand565(std::uint16_t c) {
  return {static_cast<std::uint8_t>((c >> 11) * 8), static_cast<std::uint8_t>(((c >> 5) & 63) * 4),
          static_cast<std::uint8_t>((c & 31) * 8)};
}

std::array<std::uint8_t, 8> Dxt5AlphaPalette(std::uint8_t a0, std::uint8_t a1) {
  const unsigned a = a0;
  const unsigned b = a1;
  std::array<std::uint8_t, 8> p{a0, a1};
  if (a > b) {
    for (unsigned k = 1; k <= 6; ++k)
      p[k + 1] = static_cast<std::uint8_t>(((7 - k) * a + k * b) / 7);
  } else {
    for (unsigned k = 1; k <= 4; ++k)
      p[k + 1] = static_cast<std::uint8_t>(((5 - k) * a + k * b) / 5);
    p[6] = 0;
    p[7] = 255;
  }
  return p;
}

void DecodeDxt1BlockRgb(const std::byte* block, std::uint8_t* dst, std::ptrdiff_t pitch) {
  WriteColours<3>(block, Dxt1Palette(block, 255, 255), dst, pitch);
}

void DecodeDxt1BlockRgba(const std::byte* block, std::uint8_t* dst, std::ptrdiff_t pitch) {
  std::uint32_t words[4];
  Dxt1Words(block, 255, 0, words);
  WriteWords(block, words, dst, pitch);
}

void DecodeDxt1BlockConstantAlpha(const std::byte* block, std::uint8_t* dst, std::ptrdiff_t pitch,
                                  std::uint8_t alpha) {
  std::uint32_t words[4];
  Dxt1Words(block, alpha, alpha, words);
  WriteWords(block, words, dst, pitch);
}

void DecodeDxt3Block(const std::byte* block, std::uint8_t* dst, std::ptrdiff_t pitch,
                     bool keepAlpha) {
  std::uint32_t words[4];
  Dxt1Words(block + 8, 255, 255, words, true);
  WriteWords(block + 8, words, dst, pitch);
  if (!keepAlpha) return;
  std::array<std::uint8_t, 16> alphas;
  for (int k = 0; k < 8; ++k) {
    const auto b = static_cast<unsigned>(block[k]);
    for (int half = 0; half < 2; ++half) {
      const unsigned v = (b >> (4 * half)) & 15u;
      // 15 must reach full opacity; the rest scale by 16.
      alphas[2 * k + half] = static_cast<std::uint8_t>(v == 15 ? 255 : v * 16);
    }
  }
  WriteAlphas(alphas, dst, pitch);
}

void DecodeDxt5Block(const std::byte* block, std::uint8_t* dst, std::ptrdiff_t pitch,
                     bool keepAlpha) {
#if KELVANE_X86_SIMD
  if (HasSsse3()) {
    if (keepAlpha) {
      Dxt5BlockSsse3<true>(block, dst, pitch);
    } else {
      Dxt5BlockSsse3<false>(block, dst, pitch);
    }
    return;
  }
#endif
  DecodeDxt5BlockPortable(block, dst, pitch, keepAlpha);
}

void DecodeDxt5BlockPortable(const std::byte* block, std::uint8_t* dst, std::ptrdiff_t pitch,
                             bool keepAlpha) {
  std::uint32_t words[4];
  Dxt1Words(block + 8, 255, 255, words, true);
  WriteWords(block + 8, words, dst, pitch);
  if (!keepAlpha) return;
  const auto palette =
      Dxt5AlphaPalette(static_cast<std::uint8_t>(block[0]), static_cast<std::uint8_t>(block[1]));
  const std::uint64_t indices = std::uint64_t{LoadU16(block + 2)} |
                                std::uint64_t{LoadU16(block + 4)} << 16 |
                                std::uint64_t{LoadU16(block + 6)} << 32;
  std::array<std::uint8_t, 16> alphas;
  for (unsigned t = 0; t < 16; ++t)
    alphas[t] = palette[(indices >> (3 * t)) & 7u];
  WriteAlphas(alphas, dst, pitch);
}

std::optional<PixelBuffer> DecodeDxt1(std::span<const std::byte> payload, std::int32_t width,
                                      std::int32_t height, std::int32_t alphaMode,
                                      bool useConstantAlpha, std::uint8_t constantAlpha) {
  if (alphaMode == 2) {
    return DecodeBlocks(payload, width, height, 4, kDxt1BlockBytes, DecodeDxt1BlockRgba);
  }
  if (useConstantAlpha) {
    return DecodeBlocks(payload, width, height, 4, kDxt1BlockBytes,
                        [constantAlpha](const std::byte* b, std::uint8_t* d, std::ptrdiff_t p) {
                          DecodeDxt1BlockConstantAlpha(b, d, p, constantAlpha);
                        });
  }
  return DecodeBlocks(payload, width, height, 3, kDxt1BlockBytes, DecodeDxt1BlockRgb);
}

std::optional<PixelBuffer> DecodeDxt3(std::span<const std::byte> payload, std::int32_t width,
                                      std::int32_t height, std::int32_t alphaMode) {
  const bool keep = alphaMode != 0;
  return DecodeBlocks(payload, width, height, 4, kDxt3BlockBytes,
                      [keep](const std::byte* b, std::uint8_t* d, std::ptrdiff_t p) {
                        DecodeDxt3Block(b, d, p, keep);
                      });
}

std::optional<PixelBuffer> DecodeDxt5(std::span<const std::byte> payload, std::int32_t width,
                                      std::int32_t height, std::int32_t alphaMode) {
  const bool keep = alphaMode != 0;
#if KELVANE_X86_SIMD
  if (HasSsse3()) {
    return keep ? DecodeBlocks(payload, width, height, 4, kDxt5BlockBytes, Dxt5BlockSsse3<true>,
                               Dxt5RunSsse3<true>)
                : DecodeBlocks(payload, width, height, 4, kDxt5BlockBytes, Dxt5BlockSsse3<false>,
                               Dxt5RunSsse3<false>);
  }
#endif
  return DecodeBlocks(payload, width, height, 4, kDxt5BlockBytes,
                      [keep](const std::byte* b, std::uint8_t* d, std::ptrdiff_t p) {
                        DecodeDxt5BlockPortable(b, d, p, keep);
                      });
}

const char* Dxt5InstructionSet() {
#if KELVANE_X86_SIMD
  if (HasSsse3()) return "SSSE3";
#endif
  return "portable";
}

}  // namespace kelvane::dxt
