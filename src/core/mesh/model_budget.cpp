#include "mesh/model_budget.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace kelvane {

AssetBudget& AssetBudget::operator+=(const AssetBudget& o) {
  triangles += o.triangles;
  vertices += o.vertices;
  objects += o.objects;
  materials += o.materials;
  drawBatches += o.drawBatches;
  textureBytes += o.textureBytes;
  return *this;
}

AssetBudget ModelBudget(const T3DModel& model, std::span<const TextureRecord> textures) {
  AssetBudget b;
  std::set<std::string> materials;
  std::set<std::uint32_t> names;
  for (const auto& object : model.objects) {
    const T3DObject& o = *object;
    ++b.objects;
    b.triangles += static_cast<std::int64_t>(o.faces.size());
    b.vertices += static_cast<std::int64_t>(o.vertices.size());
    materials.insert(o.material.name);
    if (!o.faces.empty()) {
      b.drawBatches += 1 + (o.material.hasBump ? 1 : 0) + (o.material.hasReflection ? 1 : 0);
    }
    for (std::uint32_t name : {o.material.hasTexture ? o.material.texture : 0u,
                               o.material.hasBump ? o.material.bumpTexture : 0u,
                               o.material.hasReflection ? o.material.reflectionTexture : 0u}) {
      if (name != 0) names.insert(name);
    }
  }
  b.materials = static_cast<std::int64_t>(materials.size());
  for (const TextureRecord& record : textures) {
    for (std::uint32_t name : record.names)
      if (names.count(name)) b.textureBytes += record.uploadBytes;
  }
  return b;
}

std::uint64_t UploadedBytes(std::span<const TextureRecord> textures) {
  std::uint64_t total = 0;
  for (const TextureRecord& record : textures)
    total += record.uploadBytes * record.names.size();
  return total;
}

std::string MegabytesText(std::uint64_t bytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f MB", double(bytes) / (1024.0 * 1024.0));
  return text;
}

std::string OverBudget(const AssetBudget& budget, const BudgetLimits& limits) {
  std::string why;
  if (limits.maxTriangles > 0 && budget.triangles > limits.maxTriangles) {
    why = std::to_string(budget.triangles) + " triangles over the limit of " +
          std::to_string(limits.maxTriangles);
  }
  if (limits.maxTextureBytes > 0 && budget.textureBytes > limits.maxTextureBytes) {
    if (!why.empty()) why += "; ";
    why += "textures of " + MegabytesText(budget.textureBytes) + " (" +
           std::to_string(budget.textureBytes) + " bytes) over the limit of " +
           MegabytesText(limits.maxTextureBytes);
  }
  return why;
}

}  // namespace kelvane
