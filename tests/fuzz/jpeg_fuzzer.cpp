// The JPEG wrapper on arbitrary bytes: libjpeg's failures must come back
// as one message, pictures as RGBA, and a held alpha image of the wrong
// size must be refused and released with nothing left pending.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_checks.h"
#include "textures/jpeg_reader.h"

using kelvane::fuzz::Require;

namespace {

// The most texels any frame header in the input declares. libjpeg skips
// bytes between markers, so every place that looks like a frame header
// counts. Twenty bytes can declare a picture of millions of texels, all
// decoded from nothing; like libjpeg-turbo's own fuzzers, this one leaves
// those to the malformed-file catalogue's test and spends its time on the
// rest.
std::size_t DeclaredTexels(const std::uint8_t* data, std::size_t size) {
  std::size_t most = 0;
  for (std::size_t at = 0; at + 9 <= size; ++at) {
    if (data[at] != 0xFF) continue;
    const std::uint8_t marker = data[at + 1];
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (!frame) continue;
    const std::size_t height = (std::size_t{data[at + 5]} << 8) | data[at + 6];
    const std::size_t width = (std::size_t{data[at + 7]} << 8) | data[at + 8];
    most = std::max(most, width * height);
  }
  return most;
}

constexpr std::size_t kMostTexels = std::size_t{1} << 18;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (DeclaredTexels(data, size) > kMostTexels) return 0;
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
    Require(!merged.Succeeded() && told.notices.size() == 1 && !holding.alphaImagePending);
  }
  return 0;
}
