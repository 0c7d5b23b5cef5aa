#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "textures/material_texture_loader.h"
#include "textures/texture_loader_state.h"
#include "textures/texture_uploader.h"

namespace kelvane {

class Notifier;

// Which reader a file name reaches, from its ending after ASCII
// upper-casing. Nothing else is recognised (".jpeg" is not).
enum class TextureFileKind { kNone, kBmp, kJpeg, kTga, kContainer };
TextureFileKind TextureKindOf(std::string_view fileName);

// The texture front-end: picks the reader by extension, runs the
// alpha-image protocol through the shared state and hands each decoded
// image to the uploader. Opens exactly the path it is given.
class TextureLoader final : public MaterialTextureLoader {
 public:
  TextureLoader(TextureLoaderState& state, Notifier& notifier, TextureUploader& uploader)
      : state_(state), notifier_(notifier), uploader_(uploader) {}

  // BMP, JPEG, TGA or .texture. True when a texture was created, when the
  // image became the held alpha image and when a container holds no image;
  // `texture` changes only when a texture was created.
  bool LoadTexture(const std::filesystem::path& file, std::uint32_t& texture, bool useConstantAlpha,
                   std::int32_t alphaOrKind) override;
  // BMP or TGA only: the image becomes the held alpha image.
  bool LoadAlphaTexture(const std::filesystem::path& file, std::uint32_t& texture,
                        bool useConstantAlpha, std::int32_t alphaOrKind) override;
  bool TextureHasAlpha() const override { return state_.textureHasAlpha; }
  void ClearTextureHasAlpha() override { state_.textureHasAlpha = false; }
  void DeleteTextures(std::span<const std::uint32_t> names) override { uploader_.Delete(names); }

 private:
  bool Finish(const ReadResult& result, std::uint32_t& texture);

  TextureLoaderState& state_;
  Notifier& notifier_;
  TextureUploader& uploader_;
};

}  // namespace kelvane
