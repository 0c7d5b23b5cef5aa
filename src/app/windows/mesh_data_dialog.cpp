#include "windows/mesh_data_dialog.h"

#include <QFrame>
#include <QGridLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/shell_rules.h"

namespace kelvane {

namespace {

QLabel* Bold(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

}  // namespace

MeshDataDialog::MeshDataDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName("MeshDataDialog");
  setFixedSize(337, 260);
  auto* layout = new QVBoxLayout(this);
  auto* title = Bold("Mesh Data", this);
  title->setAlignment(Qt::AlignHCenter);
  layout->addWidget(title);

  auto* box = new QFrame(this);
  box->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* grid = new QGridLayout(box);
  grid->addWidget(Bold("Bounding Box", box), 0, 0, 1, 4);
  const char* heads[] = {"X", "Y", "Z"};
  for (int c = 0; c < 3; ++c)
    grid->addWidget(new QLabel(heads[c], box), 1, c + 1, Qt::AlignRight);
  const char* rows[] = {"Minimum", "Maximum", "Size"};
  for (int r = 0; r < 3; ++r) {
    grid->addWidget(new QLabel(rows[r], box), r + 2, 0);
    for (int c = 0; c < 3; ++c) {
      auto* value = new QLabel("-------------", box);
      value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      values[static_cast<std::size_t>(r * 3 + c)] = value;
      grid->addWidget(value, r + 2, c + 1);
    }
  }
  layout->addWidget(box);

  auto* polyBox = new QFrame(this);
  polyBox->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* polyLayout = new QHBoxLayout(polyBox);
  polyLayout->addWidget(Bold("Poly Count", polyBox));
  polyCountLabel = new QLabel("-------------", polyBox);
  polyCountLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  polyLayout->addWidget(polyCountLabel);
  layout->addWidget(polyBox);

  auto* close = new QPushButton("Close", this);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(close, 0, Qt::AlignHCenter);
}

void MeshDataDialog::SetData(const TMeshBounds& bounds, std::int64_t polyCount) {
  bounds_ = bounds;
  polyCount_ = polyCount;
  const float min[3] = {bounds_.minX, bounds_.minY, bounds_.minZ};
  const float max[3] = {bounds_.maxX, bounds_.maxY, bounds_.maxZ};
  const QColor normal = palette().color(QPalette::WindowText);
  auto show = [&](std::size_t i, float v, bool red) {
    values[i]->setText(QString::fromStdString(FixedText(v)));
    QPalette p = values[i]->palette();
    p.setColor(QPalette::WindowText, red ? QColor(Qt::red) : normal);
    values[i]->setPalette(p);
  };
  for (std::size_t c = 0; c < 3; ++c) {
    // Far from the origin is worth noticing: beyond 100 units either way.
    show(c, min[c], min[c] < -100.0f);
    show(3 + c, max[c], max[c] > 100.0f);
    show(6 + c, max[c] - min[c], false);
  }
  polyCountLabel->setText(QString::number(polyCount_));
}

}  // namespace kelvane
