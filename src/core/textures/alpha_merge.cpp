#include "textures/alpha_merge.h"

#include <algorithm>
#include <limits>

#include "platform/notices.h"

namespace kelvane {

std::optional<std::size_t> CheckedProduct(std::initializer_list<std::size_t> factors) {
  std::size_t product = 1;
  for (std::size_t f : factors) {
    if (__builtin_mul_overflow(product, f, &product)) return std::nullopt;
  }
  return product;
}

std::uint8_t ConstantAlpha(std::int32_t alphaOrKind) {
  return static_cast<std::uint8_t>(std::clamp(alphaOrKind, 0, 255));
}

std::string ShortName(const std::string& fileName) {
  const std::size_t slash = fileName.find_last_of("/\\");
  return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

PixelBuffer WithConstantAlpha(const PixelBuffer& rgb, std::uint8_t alpha) {
  PixelBuffer out;
  out.width = rgb.width;
  out.height = rgb.height;
  out.bytesPerTexel = 4;
  const std::size_t n = rgb.TexelCount();
  out.pixels.resize(n * 4);
  const std::uint8_t* src = rgb.pixels.data();
  std::uint8_t* dst = out.pixels.data();
  for (std::size_t i = 0; i < n; ++i, src += 3, dst += 4) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
    dst[3] = alpha;
  }
  return out;
}

bool ApplyAlphaImage(PixelBuffer& rgba, std::span<const std::uint8_t> alphaImage) {
  const std::size_t n = rgba.TexelCount();
  if (alphaImage.size() / 3 < n) return false;
  for (std::size_t i = 0; i < n; ++i)
    rgba.pixels[i * 4 + 3] = alphaImage[i * 3];
  return true;
}

void SetOpaque(PixelBuffer& rgba) {
  const std::size_t n = rgba.TexelCount();
  for (std::size_t i = 0; i < n; ++i)
    rgba.pixels[i * 4 + 3] = 255;
}

void RefuseAlphaImageSize(TextureLoaderState& state, const std::string& fileName,
                          Notifier& notifier) {
  state.ReleaseAlphaImage();
  notifier.ShowMessage(
      {.caption = "Info",
       .text = ShortName(fileName) + " Texture ERROR.. Image and Alpha not the same size"});
}

}  // namespace kelvane
