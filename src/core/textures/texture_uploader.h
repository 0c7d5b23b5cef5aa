#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>

#include "textures/pixel_buffer.h"
#include "textures/texture_loader_state.h"

namespace kelvane {

// Where decoded images go. The viewer and the headless modes upload them
// into the current GL context; the decode-only uploader lets the same
// loader run without one.
class TextureUploader {
 public:
  virtual ~TextureUploader() = default;
  // Creates one texture from the buffer and returns its name. Clears
  // `textureHasAlpha` and sets it again when the buffer is RGBA.
  virtual std::uint32_t Upload(const PixelBuffer& pixels) = 0;
  virtual void Delete(std::span<const std::uint32_t> names) = 0;
};

// The flags an upload leaves behind, whoever uploads.
inline void MarkUpload(TextureLoaderState& state, const PixelBuffer& pixels) {
  state.textureHasAlpha = false;
  if (pixels.HasAlpha()) state.textureHasAlpha = true;
}

// Hands out increasing names without a GL context and keeps the last
// buffer, so a headless mode can show what would have been uploaded.
class DecodeOnlyUploader final : public TextureUploader {
 public:
  explicit DecodeOnlyUploader(TextureLoaderState& state) : state_(state) {}

  std::uint32_t Upload(const PixelBuffer& pixels) override {
    MarkUpload(state_, pixels);
    last_ = pixels;
    const std::uint32_t name = ++lastName_;
    live_.emplace(name, pixels.HasAlpha());
    return name;
  }
  void Delete(std::span<const std::uint32_t> names) override {
    for (std::uint32_t name : names)
      live_.erase(name);
  }

  // The buffer of the last upload; nothing before the first.
  const std::optional<PixelBuffer>& LastUpload() const { return last_; }
  // Names handed out and not deleted since.
  std::size_t LiveCount() const { return live_.size(); }

 private:
  TextureLoaderState& state_;
  std::optional<PixelBuffer> last_;
  std::uint32_t lastName_ = 0;
  std::map<std::uint32_t, bool> live_;  // name -> RGBA
};

}  // namespace kelvane
