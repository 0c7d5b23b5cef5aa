#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>

namespace kelvane {

struct TextureOptions {
  std::filesystem::path image;
  std::filesystem::path output;
  // Loaded first through LoadAlphaTexture when given.
  std::optional<std::filesystem::path> alphaImage;
  // With a constant alpha the image is loaded with useConstantAlpha and
  // that value; otherwise with the material kind code.
  std::optional<std::int32_t> constantAlpha;
  std::int32_t kind = 0;
};

// Runs the texture loader without a GL context and writes the buffer that
// would have been uploaded as a PNG. Messages go to `messages` as
// "caption: text". Returns 1 when the loader refuses the image, 0
// otherwise.
int RunTexture(const TextureOptions& options, std::ostream& messages);

}  // namespace kelvane
