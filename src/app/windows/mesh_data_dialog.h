#pragma once

#include <QDialog>
#include <QLabel>
#include <array>
#include <cstdint>

#include "mesh/model.h"

namespace kelvane {

// "Mesh Data": the bounding box of the last loaded mesh and its face count.
class MeshDataDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit MeshDataDialog(QWidget* parent);

  // Takes its own copy of the bounds and count and fills the labels.
  void SetData(const TMeshBounds& bounds, std::int64_t polyCount);

  // Row-major: minimum x, y, z, maximum x, y, z, size x, y, z.
  std::array<QLabel*, 9> values{};
  QLabel* polyCountLabel = nullptr;

 private:
  TMeshBounds bounds_;
  std::int64_t polyCount_ = 0;
};

}  // namespace kelvane
