#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "textures/pixel_buffer.h"

namespace kelvane {

// The texture loader's state shared by all readers: one instance per
// program, owned by the viewer and passed by reference.
struct TextureLoaderState {
  // Set by the uploader when its last upload was RGBA.
  bool textureHasAlpha = false;
  // The next BMP or TGA image becomes the held alpha image.
  bool loadingAlphaImage = false;
  // The next colour image is built as RGBA with the held image's alpha; set
  // and cleared together with the held image, so it never outlives it.
  bool alphaImagePending = false;
  // The held alpha image: 3 bytes per texel, rows bottom-up; empty when none.
  PixelBytes alphaImage;

  std::size_t AlphaImageSize() const { return alphaImage.size(); }
  bool HoldsAlphaImage() const { return !alphaImage.empty(); }

  void HoldAlphaImage(PixelBytes rgb) {
    alphaImage = std::move(rgb);
    alphaImagePending = true;
    loadingAlphaImage = false;
  }
  void HoldAlphaImage(const std::vector<std::uint8_t>& rgb) {
    HoldAlphaImage(PixelBytes(rgb.begin(), rgb.end()));
  }
  // Drops the held image, and with it the request for RGBA: nothing is left
  // to give a later, unrelated image its alpha.
  void ReleaseAlphaImage() {
    PixelBytes().swap(alphaImage);
    alphaImagePending = false;
  }
};

// What the caller asks of one load.
struct TextureRequest {
  std::string fileName;  // as the caller gave it; messages quote it
  bool useConstantAlpha = false;
  // The alpha 0..255 with useConstantAlpha, the material kind code without.
  std::int32_t alphaOrKind = 0;
};

// The outcome of one reader call.
struct ReadResult {
  enum class Kind {
    kFailed,     // refused; any message has been shown
    kImage,      // `image` is to be uploaded
    kAlphaHeld,  // the image became the held alpha image; nothing to upload
    kNoImage,    // a container that declares no images; nothing to upload
  };
  Kind kind = Kind::kFailed;
  PixelBuffer image;

  bool Succeeded() const { return kind != Kind::kFailed; }

  static ReadResult Failed() { return {}; }
  static ReadResult Image(PixelBuffer b) { return {Kind::kImage, std::move(b)}; }
  static ReadResult AlphaHeld() { return {Kind::kAlphaHeld, {}}; }
  static ReadResult NoImage() { return {Kind::kNoImage, {}}; }
};

}  // namespace kelvane
