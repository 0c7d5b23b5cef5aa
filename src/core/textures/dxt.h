#pragma once

// DXT1, DXT3 and DXT5 (BC1 to BC3) decoding with the viewer's own integer
// arithmetic: 5-6-5 endpoints expanded by shifting alone, palette entries
// from truncating divisions. Block decoders are pure functions over one
// block; they never allocate and write 4 rows of 4 texels at `dst`, the
// rows `pitch` bytes apart (a negative pitch writes upward).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "textures/pixel_buffer.h"

namespace kelvane::dxt {

constexpr std::size_t kDxt1BlockBytes = 8;
constexpr std::size_t kDxt3BlockBytes = 16;
constexpr std::size_t kDxt5BlockBytes = 16;

// R, G, B of a 5-6-5 word; 0xFFFF gives (248, 252, 248).
std::array<std::uint8_t, 3> Expand565(std::uint16_t c);

// The alpha palette of a DXT5 block.
std::array<std::uint8_t, 8> Dxt5AlphaPalette(std::uint8_t a0, std::uint8_t a1);

// 3 bytes per texel. Transparent texels of a three-colour block keep their
// colour, as a 3-byte texel has no room for the difference.
void DecodeDxt1BlockRgb(const std::byte* block, std::uint8_t* dst, std::ptrdiff_t pitch);
// 4 bytes per texel: alpha 0 for transparent texels, 255 for the others.
void DecodeDxt1BlockRgba(const std::byte* block, std::uint8_t* dst, std::ptrdiff_t pitch);
// 4 bytes per texel, every alpha `alpha`; transparent texels keep their colour.
void DecodeDxt1BlockConstantAlpha(const std::byte* block, std::uint8_t* dst, std::ptrdiff_t pitch,
                                  std::uint8_t alpha);
// 4 bytes per texel. With `keepAlpha` false every alpha is 255.
void DecodeDxt3Block(const std::byte* block, std::uint8_t* dst, std::ptrdiff_t pitch,
                     bool keepAlpha);
// Uses the processor's shuffles where it has them (SSSE3).
void DecodeDxt5Block(const std::byte* block, std::uint8_t* dst, std::ptrdiff_t pitch,
                     bool keepAlpha);
// The same in plain integer code, for processors without them.
void DecodeDxt5BlockPortable(const std::byte* block, std::uint8_t* dst, std::ptrdiff_t pitch,
                             bool keepAlpha);
// "SSSE3" or "portable": how DecodeDxt5 runs on this processor.
const char* Dxt5InstructionSet();

// Whole images. Blocks run left to right, block rows from the top; a
// block row holds ceil(width / 4) blocks. Decoding stops at the end of the
// payload or after the block rows the height needs; texels beyond the width
// or height are dropped and rows the payload does not reach stay zero.
// Nothing when the sides are outside 1..65535, when the payload ends inside
// a block row, or when the picture would be far larger than its payload
// could describe.
//
// `alphaMode` 2 gives RGBA with transparent texels; otherwise RGB, or RGBA
// with every alpha `constantAlpha` when `useConstantAlpha` is set.
std::optional<PixelBuffer> DecodeDxt1(std::span<const std::byte> payload, std::int32_t width,
                                      std::int32_t height, std::int32_t alphaMode,
                                      bool useConstantAlpha, std::uint8_t constantAlpha);
// RGBA; `alphaMode` 0 makes every alpha 255.
std::optional<PixelBuffer> DecodeDxt3(std::span<const std::byte> payload, std::int32_t width,
                                      std::int32_t height, std::int32_t alphaMode);
std::optional<PixelBuffer> DecodeDxt5(std::span<const std::byte> payload, std::int32_t width,
                                      std::int32_t height, std::int32_t alphaMode);

}  // namespace kelvane::dxt
