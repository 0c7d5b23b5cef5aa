#pragma once

#include <cstddef>
#include <span>

#include "textures/texture_loader_state.h"

namespace kelvane {

class Notifier;

// Uncompressed Windows bitmaps of 8 bits (palette or grey levels) and 24
// bits per texel, rows padded to 4 bytes, bottom-up or top-down. Takes
// part in the alpha-image protocol in both roles; a constant alpha sends
// the image down the RGBA path. Any of the Windows info headers (12, 40,
// 52, 56, 108 or 124 bytes) may precede the palette. Refusals are reported
// through `notifier` and leave no RGBA request pending.
ReadResult ReadBmpTexture(std::span<const std::byte> bytes, const TextureRequest& request,
                          TextureLoaderState& state, Notifier& notifier);
// The same from the file named by the request.
ReadResult ReadBmpTextureFile(const TextureRequest& request, TextureLoaderState& state,
                              Notifier& notifier);

}  // namespace kelvane
