#pragma once

#include <QToolButton>
#include <QWidget>

namespace kelvane {

// A pair of arrow buttons with a position, as the attachment and texture
// boxes step through their lists. Each press reports which arrow it was,
// also at the ends of the range, where the position stays put.
class UpDown final : public QWidget {
  Q_OBJECT

 public:
  explicit UpDown(QWidget* parent);

  int Position() const { return position_; }
  void SetPosition(int position);
  // Presses an arrow as the user would.
  void Step(bool up);

  QToolButton* upButton = nullptr;
  QToolButton* downButton = nullptr;

  static constexpr int kMinimum = -1000;
  static constexpr int kMaximum = 1000;

 signals:
  void clicked(bool up);

 private:
  int position_ = 0;
};

}  // namespace kelvane
