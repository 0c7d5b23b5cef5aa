#include "windows/up_down.h"

#include <QVBoxLayout>
#include <algorithm>

namespace kelvane {

UpDown::UpDown(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  upButton = new QToolButton(this);
  downButton = new QToolButton(this);
  upButton->setObjectName("up");
  downButton->setObjectName("down");
  upButton->setArrowType(Qt::UpArrow);
  downButton->setArrowType(Qt::DownArrow);
  for (QToolButton* button : {upButton, downButton}) {
    button->setFixedSize(17, 14);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(button);
  }
  setFixedSize(17, 28);
  connect(upButton, &QToolButton::clicked, this, [this] { Step(true); });
  connect(downButton, &QToolButton::clicked, this, [this] { Step(false); });
}

void UpDown::SetPosition(int position) {
  position_ = std::clamp(position, kMinimum, kMaximum);
}

void UpDown::Step(bool up) {
  SetPosition(position_ + (up ? 1 : -1));
  emit clicked(up);
}

}  // namespace kelvane
