#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace kelvane {

// What the model needs from the texture loader. The viewer and the command
// line hand in the real one; tests record the calls.
class MaterialTextureLoader {
 public:
  virtual ~MaterialTextureLoader() = default;

  // Loads an image as a texture. `texture` is written only when a texture
  // was created. With `useConstantAlpha`, `alphaOrKind` is the alpha of
  // every texel; otherwise it is the material kind.
  virtual bool LoadTexture(const std::filesystem::path& file, std::uint32_t& texture,
                           bool useConstantAlpha, std::int32_t alphaOrKind) = 0;
  // Holds an image whose values become the alpha of the next LoadTexture.
  virtual bool LoadAlphaTexture(const std::filesystem::path& file, std::uint32_t& texture,
                                bool useConstantAlpha, std::int32_t alphaOrKind) = 0;
  // Whether the last upload had an alpha channel; materials clear it before
  // loading their images and copy it afterwards.
  virtual bool TextureHasAlpha() const = 0;
  virtual void ClearTextureHasAlpha() = 0;
  virtual void DeleteTextures(std::span<const std::uint32_t> names) = 0;
};

}  // namespace kelvane
