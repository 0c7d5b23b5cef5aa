// The BMP reader on arbitrary bytes, as a plain colour image, with a
// constant alpha, and as the held alpha image of a second read of itself.

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_checks.h"
#include "textures/bmp_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span bytes(reinterpret_cast<const std::byte*>(data), size);
  kelvane::fuzz::CheckAlphaImageReader(
      bytes, "fuzz.bmp", 100, [](auto&&... args) { return kelvane::ReadBmpTexture(args...); });
  return 0;
}
