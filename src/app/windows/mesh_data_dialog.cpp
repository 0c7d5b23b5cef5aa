#include "windows/mesh_data_dialog.h"

#include <QFrame>
#include <QGridLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/shell_rules.h"
#include "view/measurement.h"

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
  // Taller than the bare box and count: dimensions and budget sit below.
  setFixedSize(337, 470);
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

  auto* sizeBox = new QFrame(this);
  sizeBox->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* sizeGrid = new QGridLayout(sizeBox);
  sizeGrid->addWidget(Bold("Dimensions", sizeBox), 0, 0, 1, 2);
  const char* sides[] = {"Length", "Width", "Height"};
  for (int r = 0; r < 3; ++r) {
    sizeGrid->addWidget(new QLabel(sides[r], sizeBox), r + 1, 0);
    auto* value = new QLabel("-------------", sizeBox);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    dimensions[static_cast<std::size_t>(r)] = value;
    sizeGrid->addWidget(value, r + 1, 1);
  }
  layout->addWidget(sizeBox);

  auto* budgetBox = new QFrame(this);
  budgetBox->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* budgetGrid = new QGridLayout(budgetBox);
  budgetGrid->addWidget(Bold("Budget", budgetBox), 0, 0, 1, 4);
  const char* figures[] = {"Triangles", "Vertices",     "Objects",
                           "Materials", "Draw batches", "Texture bytes"};
  for (int i = 0; i < 6; ++i) {
    const int row = i / 2 + 1, column = (i % 2) * 2;
    budgetGrid->addWidget(new QLabel(figures[i], budgetBox), row, column);
    auto* value = new QLabel("-------------", budgetBox);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    budgetValues[static_cast<std::size_t>(i)] = value;
    budgetGrid->addWidget(value, row, column + 1);
  }
  layout->addWidget(budgetBox);

  auto* close = new QPushButton("Close", this);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(close, 0, Qt::AlignHCenter);
}

void MeshDataDialog::SetData(const TMeshBounds& bounds, std::int64_t polyCount,
                             const AssetBudget& budget) {
  bounds_ = bounds;
  polyCount_ = polyCount;
  budget_ = budget;
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

  const auto sides = DimensionsOf(bounds_);
  const double lengths[] = {sides ? sides->length : 0, sides ? sides->width : 0,
                            sides ? sides->height : 0};
  for (std::size_t i = 0; i < dimensions.size(); ++i) {
    dimensions[i]->setText(sides ? QString::fromStdString(LengthText(lengths[i]))
                                 : QString("-------------"));
  }
  const std::int64_t counts[] = {budget_.triangles, budget_.vertices, budget_.objects,
                                 budget_.materials, budget_.drawBatches};
  for (std::size_t i = 0; i < 5; ++i)
    budgetValues[i]->setText(QString::number(counts[i]));
  budgetValues[5]->setText(QString::number(budget_.textureBytes));
  budgetValues[5]->setToolTip(QString::fromStdString(MegabytesText(budget_.textureBytes)));
}

}  // namespace kelvane
