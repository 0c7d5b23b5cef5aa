#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "textures/texture_loader_state.h"
#include "textures/texture_upload.h"

namespace kelvane {

// Uploads into the view's context; without one (no pixel format could be
// set) the images are still decoded and named, and no GL call is made.
class ViewTextureUploader final : public TextureUploader {
 public:
  ViewTextureUploader(TextureLoaderState& state, std::function<bool()> contextReady)
      : gl_(state), decoded_(state), contextReady_(std::move(contextReady)) {}
  std::uint32_t Upload(const PixelBuffer& pixels) override {
    return contextReady_() ? gl_.Upload(pixels) : decoded_.Upload(pixels);
  }
  void Delete(std::span<const std::uint32_t> names) override {
    if (contextReady_()) {
      gl_.Delete(names);
    } else {
      decoded_.Delete(names);
    }
  }

 private:
  GlTextureUploader gl_;
  DecodeOnlyUploader decoded_;
  std::function<bool()> contextReady_;
};

}  // namespace kelvane
