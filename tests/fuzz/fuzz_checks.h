#pragma once

// What every fuzz target checks of a decoded picture, and the way a broken
// promise is reported: a trap, which libFuzzer and the replay both catch.

#include <cstddef>

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

}  // namespace kelvane::fuzz
