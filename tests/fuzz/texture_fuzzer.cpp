// The .texture container on arbitrary bytes, every format code the file
// may give: the picture must match the INFO sides, decoding must not
// depend on anything but the bytes, and a kind that forces opacity must
// leave no transparent decoded texel in block formats with their own alpha.

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_checks.h"
#include "textures/texture_container.h"

using kelvane::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span bytes(reinterpret_cast<const std::byte*>(data), size);
  const auto container = kelvane::ParseTextureContainer(bytes);
  if (container && container->hasImage) {
    const auto& payload = container->payload;
    Require(payload.data() >= bytes.data() &&
            payload.data() + payload.size() <= bytes.data() + bytes.size());
  }
  for (const kelvane::TextureRequest& request :
       {kelvane::TextureRequest{"fuzz.texture", false, 2},
        kelvane::TextureRequest{"fuzz.texture", true, 128},
        kelvane::TextureRequest{"fuzz.texture", false, 5}}) {
    const auto result = kelvane::ReadContainerTexture(bytes, request);
    Require(!result.Succeeded() || container.has_value());
    kelvane::fuzz::RequireWellFormed(result);
    if (result.kind != kelvane::ReadResult::Kind::kImage) continue;
    const kelvane::TextureInfo& info = container->info;
    Require(result.image.width == info.width && result.image.height == info.height);
    if (!request.useConstantAlpha && request.alphaOrKind == 5 &&
        (info.format == kelvane::kTextureFormatDxt3 ||
         info.format == kelvane::kTextureFormatDxt5)) {
      // Rows the payload does not reach stay zero; every decoded one is opaque.
      const auto& px = result.image.pixels;
      for (std::size_t i = 0; i < result.image.TexelCount(); ++i) {
        Require(px[i * 4 + 3] == 255 ||
                (px[i * 4] | px[i * 4 + 1] | px[i * 4 + 2] | px[i * 4 + 3]) == 0);
      }
    }
    const auto again = kelvane::ReadContainerTexture(bytes, request);
    Require(again.image.pixels == result.image.pixels);
  }
  return 0;
}
