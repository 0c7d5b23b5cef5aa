#pragma once

// What every fuzz target checks of a decoded picture, and the way a broken
// promise is reported: a trap, which libFuzzer and the replay both catch.

#include <cstddef>
#include <span>
#include <string>

#include "platform/notices.h"
#include "textures/texture_loader_state.h"

namespace kelvane::fuzz {

inline void Require(bool promise) {
  if (!promise) __builtin_trap();
}

// A picture is what its sides say: 3 or 4 bytes a texel, no gaps.
inline void RequireWellFormed(const ReadResult& result) {
  if (result.kind != ReadResult::Kind::kImage) return;
  const PixelBuffer& image = result.image;
  Require(image.width > 0 && image.height > 0);
  Require(image.bytesPerTexel == 3 || image.bytesPerTexel == 4);
  Require(image.pixels.size() == image.TexelCount() * image.bytesPerTexel);
}

// A reader that shows messages tells the user exactly once when it refuses
// and never when it succeeds.
inline void RequireOneMessageOnRefusal(const ReadResult& result,
                                       const RecordingNotifier& notifier) {
  Require(notifier.notices.size() == (result.Succeeded() ? 0u : 1u));
}

// Every texel of an RGBA picture has alpha `alpha`.
inline void RequireAlpha(const PixelBuffer& image, std::uint8_t alpha) {
  Require(image.bytesPerTexel == 4);
  for (std::size_t i = 0; i < image.TexelCount(); ++i)
    Require(image.pixels[i * 4 + 3] == alpha);
}

// A reader that takes part in the alpha-image protocol (BMP, TGA), run on
// arbitrary bytes as a plain colour image, with a constant alpha, and as the
// held alpha image of a second read of itself.
template <class Reader>
void CheckAlphaImageReader(std::span<const std::byte> bytes, const std::string& name,
                           std::uint8_t constant, Reader read) {
  const TextureRequest plain{name, false, 2};
  {
    TextureLoaderState state;
    RecordingNotifier notifier;
    const auto result = read(bytes, plain, state, notifier);
    RequireWellFormed(result);
    RequireOneMessageOnRefusal(result, notifier);
  }
  {
    TextureLoaderState state;
    RecordingNotifier notifier;
    const auto result = read(bytes, TextureRequest{name, true, constant}, state, notifier);
    RequireOneMessageOnRefusal(result, notifier);
    if (result.Succeeded()) RequireAlpha(result.image, constant);
    Require(!state.alphaImagePending);  // succeeded or not, no request is left
  }
  // Held, then read again as the colour image: the same texels, so every
  // alpha is the texel's own red.
  TextureLoaderState state;
  RecordingNotifier notifier;
  state.loadingAlphaImage = true;
  const auto held = read(bytes, plain, state, notifier);
  if (held.kind != ReadResult::Kind::kAlphaHeld) return;
  Require(state.HoldsAlphaImage() && state.alphaImagePending && !state.loadingAlphaImage);
  const auto colour = read(bytes, plain, state, notifier);
  Require(colour.kind == ReadResult::Kind::kImage && notifier.notices.empty());
  Require(colour.image.bytesPerTexel == 4);
  for (std::size_t i = 0; i < colour.image.TexelCount(); ++i) {
    Require(colour.image.pixels[i * 4 + 3] == colour.image.pixels[i * 4]);
  }
  Require(!state.HoldsAlphaImage() && !state.alphaImagePending);
}

}  // namespace kelvane::fuzz
