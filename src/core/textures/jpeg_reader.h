#pragma once

#include <cstddef>
#include <span>

#include "textures/texture_loader_state.h"

namespace kelvane {

class Notifier;

// Any JPEG that libjpeg decodes, always as RGBA with alpha 255 unless a
// held alpha image of exactly the same size supplies the alpha. Never
// becomes the held alpha image itself. Refusals are reported through
// `notifier`.
ReadResult ReadJpegTexture(std::span<const std::byte> bytes, const TextureRequest& request,
                           TextureLoaderState& state, Notifier& notifier);
// The same from the file named by the request.
ReadResult ReadJpegTextureFile(const TextureRequest& request, TextureLoaderState& state,
                               Notifier& notifier);

}  // namespace kelvane
