// The TGA reader on arbitrary bytes, as a plain colour image, with a
// constant alpha, and as the held alpha image of a second read of itself.

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_checks.h"
#include "textures/tga_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span bytes(reinterpret_cast<const std::byte*>(data), size);
  kelvane::fuzz::CheckAlphaImageReader(
      bytes, "fuzz.tga", 128, [](auto&&... args) { return kelvane::ReadTgaTexture(args...); });
  return 0;
}
