#pragma once

#include <filesystem>
#include <ostream>

#include "textures/pixel_buffer.h"

namespace kelvane {

struct ThumbnailOptions {
  std::filesystem::path input;   // a mesh file or a texture image
  std::filesystem::path output;  // always written as PNG, whatever its name
  int size = 128;                // the longer side at most
};

// A file manager's preview: a mesh is drawn as --render frames it, at 4:3
// with `size` as its width; a texture is its decoded picture shrunk to fit.
// The kind comes from the extension, else from the first bytes.
// Objects whose textures cannot be read are drawn in a neutral lit grey.
// The output is written in place (truncated, never replaced), and only once
// the picture exists, so a failure leaves it untouched. Returns 0 when
// written, 1 when the input cannot be read or drawn, 2 for a size out of
// 1..4096.
int RunThumbnail(const ThumbnailOptions& options, std::ostream& messages);

// The picture shrunk by averaging so that its longer side is at most
// `size` (at least one texel each way); a smaller picture is returned as it is.
PixelBuffer FitWithin(const PixelBuffer& picture, int size);

}  // namespace kelvane
