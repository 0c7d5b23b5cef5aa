#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "textures/texture_loader_state.h"

namespace kelvane {

// Format codes of a .texture image chunk.
constexpr std::int32_t kTextureFormatBgrx = 3;  // B, G, R, unused
constexpr std::int32_t kTextureFormatDxt1 = 10;
constexpr std::int32_t kTextureFormatDxt3 = 11;
constexpr std::int32_t kTextureFormatDxt5 = 12;
// Any other code up to 9 is B, G, R, A; codes above 12 are unknown.

// The INFO fields the reader uses.
struct TextureInfo {
  std::int32_t version = 0;
  std::int32_t countFactor1 = 0;  // image chunks = factor 1 x factor 2
  std::int32_t countFactor2 = 0;
  std::int32_t format = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t alphaMode = 0;
};

// A parsed container: the INFO fields and the payload of its last image
// chunk, which is empty when the container declares no images.
struct TextureContainer {
  TextureInfo info;
  bool hasImage = false;
  std::span<const std::byte> payload;
};

// Walks the container; nothing when its tags, lengths or fields are
// damaged, the format is unknown or the last chunk's payload is cut short.
// The chunks before the last are skipped unread.
std::optional<TextureContainer> ParseTextureContainer(std::span<const std::byte> bytes);

// Decodes the last image of a container. Refusals are silent. The held
// alpha image plays no part here.
ReadResult ReadContainerTexture(std::span<const std::byte> bytes, const TextureRequest& request);
// The same from the file named by the request; a file that cannot be read
// is refused.
ReadResult ReadContainerTextureFile(const TextureRequest& request);

}  // namespace kelvane
