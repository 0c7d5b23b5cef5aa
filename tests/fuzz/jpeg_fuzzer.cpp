// The JPEG wrapper on arbitrary bytes: libjpeg's failures must come back
// as one message, pictures as RGBA, and a held alpha image of the wrong
// size must be refused and released.

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_checks.h"
#include "textures/jpeg_reader.h"

using kelvane::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span bytes(reinterpret_cast<const std::byte*>(data), size);
  const kelvane::TextureRequest request{"fuzz.jpg", false, 2};
  kelvane::TextureLoaderState state;
  kelvane::RecordingNotifier notifier;
  const auto result = kelvane::ReadJpegTexture(bytes, request, state, notifier);
  kelvane::fuzz::RequireWellFormed(result);
  kelvane::fuzz::RequireOneMessageOnRefusal(result, notifier);
  if (!result.Succeeded()) return 0;
  kelvane::fuzz::RequireAlpha(result.image, 255);

  // A held 1 x 1 alpha image fits only a 1 x 1 picture.
  kelvane::TextureLoaderState holding;
  holding.HoldAlphaImage(std::vector<std::uint8_t>{77, 1, 2});
  kelvane::RecordingNotifier told;
  const auto merged = kelvane::ReadJpegTexture(bytes, request, holding, told);
  Require(!holding.HoldsAlphaImage());
  if (result.image.TexelCount() == 1) {
    Require(merged.Succeeded() && told.notices.empty() && !holding.alphaImagePending);
    kelvane::fuzz::RequireAlpha(merged.image, 77);
  } else {
    Require(!merged.Succeeded() && told.notices.size() == 1 && holding.alphaImagePending);
  }
  return 0;
}
