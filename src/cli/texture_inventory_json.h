#pragma once

#include <nlohmann/json.hpp>
#include <vector>

#include "mesh/texture_inventory.h"

namespace kelvane {

// The "textures" entry of --info: one object per texture file loaded.
inline nlohmann::ordered_json TextureInventoryJson(const std::vector<TextureRecord>& records) {
  nlohmann::ordered_json out = nlohmann::ordered_json::array();
  for (const TextureRecord& r : records) {
    out.push_back({{"file", r.file.string()},
                   {"format", r.format},
                   {"width", r.width},
                   {"height", r.height},
                   {"alpha", r.alphaSource},
                   {"upload_bytes", r.uploadBytes},
                   {"objects", r.objects}});
  }
  return out;
}

}  // namespace kelvane
