#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "textures/texture_loader_state.h"

namespace kelvane {

class Notifier;

// Uncompressed TGA: 8-bit indices into a 24-bit colour map, true colour of
// 16, 24 and 32 bits, rows bottom-up or top-down. 8, 16 and 24 bits give
// RGB, 32 bits RGBA. Takes part in the alpha-image protocol both as the
// alpha image (state.loadingAlphaImage) and as the colour image that
// consumes it. Refusals are reported through `notifier`.
ReadResult ReadTgaTexture(std::span<const std::byte> bytes, const TextureRequest& request,
                          TextureLoaderState& state, Notifier& notifier);
// Converters of one row of 24-bit B, G, R or 32-bit B, G, R, A texels to
// R, G, B[, A]: those this processor can run, fastest first. The reader
// uses the first.
struct TgaRowConverter {
  const char* instructionSet;  // "SSSE3", "SSE2" or "portable"
  void (*bgr)(const std::byte* src, std::uint8_t* dst, std::size_t width);
  void (*bgra)(const std::byte* src, std::uint8_t* dst, std::size_t width);
};
std::span<const TgaRowConverter> TgaRowConverters();
// The same from the file named by the request.
ReadResult ReadTgaTextureFile(const TextureRequest& request, TextureLoaderState& state,
                              Notifier& notifier);

}  // namespace kelvane
