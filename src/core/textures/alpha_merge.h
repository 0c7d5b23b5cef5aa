#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>

#include "textures/pixel_buffer.h"
#include "textures/texture_loader_state.h"

namespace kelvane {

class Notifier;

// Sides reach the uploader as 16-bit values.
constexpr std::int64_t kMaxImageSide = 65535;

// The product of the factors, or nothing when it does not fit in size_t.
std::optional<std::size_t> CheckedProduct(std::initializer_list<std::size_t> factors);

// The caller's constant alpha as a byte; values outside 0..255 are clamped.
std::uint8_t ConstantAlpha(std::int32_t alphaOrKind);

// A kind code above 3 says the image's alpha carries no transparency.
inline bool KindForcesOpaque(std::int32_t alphaOrKind) {
  return alphaOrKind > 3;
}

// The file name without its folder part; both separators count, as names
// may come from Windows content.
std::string ShortName(const std::string& fileName);

// RGBA texels from RGB ones, every alpha `alpha`.
PixelBuffer WithConstantAlpha(const PixelBuffer& rgb, std::uint8_t alpha);

// Alpha of texel i becomes byte 3i of `alphaImage` (its red or grey level).
// False, with nothing changed, when the alpha image is too small to cover
// every texel.
bool ApplyAlphaImage(PixelBuffer& rgba, std::span<const std::uint8_t> alphaImage);

void SetOpaque(PixelBuffer& rgba);

// Refuses a colour image whose size the held alpha image does not match:
// releases the held image, so nothing stays pending, and says so.
void RefuseAlphaImageSize(TextureLoaderState& state, const std::string& fileName,
                          Notifier& notifier);

}  // namespace kelvane
