// The BMP reader on arbitrary bytes, as a plain colour image, with a
// constant alpha, and as the held alpha image of a second read of itself.

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_checks.h"
#include "textures/bmp_reader.h"

using kelvane::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span bytes(reinterpret_cast<const std::byte*>(data), size);
  const kelvane::TextureRequest plain{"fuzz.bmp", false, 2};
  {
    kelvane::TextureLoaderState state;
    kelvane::RecordingNotifier notifier;
    const auto result = kelvane::ReadBmpTexture(bytes, plain, state, notifier);
    kelvane::fuzz::RequireWellFormed(result);
    kelvane::fuzz::RequireOneMessageOnRefusal(result, notifier);
  }
  {
    kelvane::TextureLoaderState state;
    kelvane::RecordingNotifier notifier;
    const auto result = kelvane::ReadBmpTexture(bytes, {"fuzz.bmp", true, 100}, state, notifier);
    kelvane::fuzz::RequireOneMessageOnRefusal(result, notifier);
    if (result.Succeeded()) kelvane::fuzz::RequireAlpha(result.image, 100);
  }
  {
    // Held as the alpha image, then read again as the colour image: the
    // same texels, so every alpha is the texel's own red.
    kelvane::TextureLoaderState state;
    kelvane::RecordingNotifier notifier;
    state.loadingAlphaImage = true;
    const auto held = kelvane::ReadBmpTexture(bytes, plain, state, notifier);
    if (held.kind != kelvane::ReadResult::Kind::kAlphaHeld) return 0;
    Require(state.HoldsAlphaImage() && state.alphaImagePending && !state.loadingAlphaImage);
    const auto colour = kelvane::ReadBmpTexture(bytes, plain, state, notifier);
    Require(colour.kind == kelvane::ReadResult::Kind::kImage && notifier.notices.empty());
    Require(colour.image.bytesPerTexel == 4);
    for (std::size_t i = 0; i < colour.image.TexelCount(); ++i) {
      Require(colour.image.pixels[i * 4 + 3] == colour.image.pixels[i * 4]);
    }
    Require(!state.HoldsAlphaImage() && !state.alphaImagePending);
  }
  return 0;
}
