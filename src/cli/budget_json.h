#pragma once

#include <nlohmann/json.hpp>

#include "mesh/model_budget.h"

namespace kelvane {

// The "budget" entry of --info.
inline nlohmann::ordered_json BudgetJson(const AssetBudget& b) {
  return {{"triangles", b.triangles},      {"vertices", b.vertices},
          {"objects", b.objects},          {"materials", b.materials},
          {"draw_batches", b.drawBatches}, {"texture_bytes", b.textureBytes}};
}

}  // namespace kelvane
