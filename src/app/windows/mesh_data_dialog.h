#pragma once

#include <QDialog>
#include <QLabel>
#include <array>
#include <cstdint>

#include "mesh/model.h"
#include "mesh/model_budget.h"

namespace kelvane {

// "Mesh Data": the bounding box of the last loaded mesh and its face count,
// with the box's length, width and height and what the mesh costs to show.
class MeshDataDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit MeshDataDialog(QWidget* parent);

  // Takes its own copy of the bounds and count and fills the labels.
  void SetData(const TMeshBounds& bounds, std::int64_t polyCount, const AssetBudget& budget);

  // Row-major: minimum x, y, z, maximum x, y, z, size x, y, z.
  std::array<QLabel*, 9> values{};
  QLabel* polyCountLabel = nullptr;
  // Length, width, height: metres, then feet and inches.
  std::array<QLabel*, 3> dimensions{};
  // Triangles, vertices, objects, materials, draw batches, texture bytes.
  std::array<QLabel*, 6> budgetValues{};

 private:
  TMeshBounds bounds_;
  std::int64_t polyCount_ = 0;
  AssetBudget budget_;
};

}  // namespace kelvane
