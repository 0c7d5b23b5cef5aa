#pragma once

#include <cstdint>
#include <span>

#include "textures/texture_uploader.h"

namespace kelvane {

// Creates, configures and fills one 2D texture in the current GL context:
// modulate, linear filters, mipmaps for RGBA (which sets
// `textureHasAlpha`), level 0 only for RGB. The texture stays bound.
std::uint32_t CreateTexture(const PixelBuffer& pixels, TextureLoaderState& state);

// Uploads into whatever GL context is current when it is called.
class GlTextureUploader final : public TextureUploader {
 public:
  explicit GlTextureUploader(TextureLoaderState& state) : state_(state) {}
  std::uint32_t Upload(const PixelBuffer& pixels) override { return CreateTexture(pixels, state_); }
  void Delete(std::span<const std::uint32_t> names) override;

 private:
  TextureLoaderState& state_;
};

}  // namespace kelvane
