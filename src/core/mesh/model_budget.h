#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "mesh/model.h"
#include "mesh/texture_inventory.h"

// What an asset costs to show: the figures a content creator holds against
// the simulator's budgets.

namespace kelvane {

struct AssetBudget {
  std::int64_t triangles = 0;
  std::int64_t vertices = 0;
  std::int64_t objects = 0;
  std::int64_t materials = 0;  // distinct material names
  // Draws of one full frame with every pass wanted: an object with faces
  // takes one for its base pass, one more for a bump map and one more for
  // a reflection map.
  std::int64_t drawBatches = 0;
  std::uint64_t textureBytes = 0;  // handed to OpenGL, mipmaps included

  AssetBudget& operator+=(const AssetBudget& other);
};

// The figures of one model. Its texture bytes are those of the recorded
// uploads whose texture names its objects' materials hold.
AssetBudget ModelBudget(const T3DModel& model, std::span<const TextureRecord> textures);

// Every upload of the recorded textures: a file loaded for two models
// counts twice, as it is uploaded twice.
std::uint64_t UploadedBytes(std::span<const TextureRecord> textures);

// The limits a check holds assets against; 0: no limit.
struct BudgetLimits {
  std::int64_t maxTriangles = 0;
  std::uint64_t maxTextureBytes = 0;
  bool Any() const { return maxTriangles > 0 || maxTextureBytes > 0; }
};

// Why a budget is over its limits, with its figures ("12000 triangles
// over the limit of 10000; ..."); empty when it is within them.
std::string OverBudget(const AssetBudget& budget, const BudgetLimits& limits);

// Bytes as mebibytes with two decimals: "1.50 MB".
std::string MegabytesText(std::uint64_t bytes);

}  // namespace kelvane
