#include "windows/adjust_track_dialog.h"

#include <QGridLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <cmath>
#include <cstdio>

#include "assets/traincar.h"
#include "platform/notices.h"
#include "shell/track_gauges.h"

namespace kelvane {

TForm4::TForm4(QWidget* parent, Notifier& notifier)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), notifier_(notifier) {
  setObjectName("Form4");
  setWindowTitle("Adjust Track");
  setFixedSize(290, 204);
  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel("Gauge", this), 0, 0);
  grid->addWidget(new QLabel("Units", this), 0, 2);
  gaugeCombo = new QComboBox(this);
  for (const GaugeChoice& g : kGaugeChoices)
    gaugeCombo->addItem(QString::fromUtf8(g.item));
  unitsCombo = new QComboBox(this);
  for (const char* u : kTrackUnits)
    unitsCombo->addItem(u);
  grid->addWidget(gaugeCombo, 1, 0, 1, 2);
  grid->addWidget(unitsCombo, 1, 2, 1, 2);
  metricBox = new QLineEdit(this);
  metricBox->setReadOnly(true);
  unitsMetric = new QLabel("m", this);
  updown1 = new QSpinBox(this);
  updown1->setRange(0, 2500);
  updown1->setSingleStep(5);
  updown1->setGroupSeparatorShown(false);
  imperial = new QLineEdit(this);
  imperial->setReadOnly(true);
  // The boxes of the other units keep their places while hidden, so the
  // dialog does not rearrange itself when the unit changes.
  for (QWidget* box : {static_cast<QWidget*>(metricBox), static_cast<QWidget*>(unitsMetric),
                       static_cast<QWidget*>(imperial)}) {
    QSizePolicy policy = box->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    box->setSizePolicy(policy);
  }
  grid->addWidget(metricBox, 2, 0);
  grid->addWidget(unitsMetric, 2, 1);
  grid->addWidget(updown1, 2, 2);
  grid->addWidget(imperial, 2, 3);
  grid->addWidget(new QLabel("Sleeper (Tie) Spacing", this), 3, 0, 1, 4);
  spacing = new QSpinBox(this);
  spacing->setRange(300, 2000);
  spacing->setSingleStep(50);
  spacing->setValue(800);
  grid->addWidget(spacing, 4, 0);
  grid->addWidget(new QLabel("mm", this), 4, 1);
  spacingImp = new QLabel(this);
  grid->addWidget(spacingImp, 5, 0, 1, 2);
  auto* exit = new QPushButton("Exit", this);
  QFont font = exit->font();
  font.setBold(true);
  exit->setFont(font);
  grid->addWidget(exit, 5, 3);

  connect(exit, &QPushButton::clicked, this, &QDialog::accept);
  connect(gaugeCombo, &QComboBox::currentIndexChanged, this, [this] { DisplayUpdate(); });
  connect(unitsCombo, &QComboBox::currentIndexChanged, this, [this] { DisplayUpdate(); });
  connect(updown1, &QSpinBox::valueChanged, this, [this](int p) { UpDownStep(p); });
  connect(spacing, &QSpinBox::valueChanged, this, [this](int v) { SpacingChange(v); });
}

void TForm4::Prepare(const TrackValues& values) {
  values_ = values;
  preparing_ = true;
  {
    const QSignalBlocker b1(gaugeCombo), b2(unitsCombo), b3(updown1), b4(spacing);
    gaugeCombo->setCurrentIndex(values_.gaugeIndex);
    unitsCombo->setCurrentIndex(values_.unitsIndex);
    if (values_.gaugeIndex == kOtherGaugeIndex) {
      dialogGauge_ = NominalGauge(values_.gauge);
      char text[32];
      std::snprintf(text, sizeof text, "%.3f", static_cast<double>(dialogGauge_));
      notifier_.ShowMessage({.caption = std::string(kApplicationTitle), .text = text});
      dialogGaugeMm_ = static_cast<int>(std::lround(dialogGauge_ * 1000.0f));
      updown1->setValue(dialogGaugeMm_);
    }
    spacing->setValue(values_.tieSpacing);
  }
  SpacingChange(spacing->value());
  preparing_ = false;
  DisplayUpdate();
}

void TForm4::DisplayUpdate() {
  const int g = gaugeCombo->currentIndex();
  if (g >= 0) {
    const bool other = g == kOtherGaugeIndex;
    if (!other) dialogGauge_ = kGaugeChoices[static_cast<std::size_t>(g)].gauge;
    metricBox->setEnabled(other);
    imperial->setEnabled(other);
    updown1->setEnabled(other);
  }
  dialogGaugeMm_ = static_cast<int>(std::lround(dialogGauge_ * 1000.0f));
  if (!suppressUpDown_) {
    const QSignalBlocker block(updown1);
    updown1->setValue(dialogGaugeMm_);
  }
  values_.gaugeIndex = g;
  values_.unitsIndex = unitsCombo->currentIndex();
  const int u = unitsCombo->currentIndex();
  if (u == 0) {
    imperial->show();
    metricBox->hide();
    unitsMetric->hide();
    imperial->setText(QString::fromStdString(FeetInchesText(dialogGaugeMm_)));
  } else if (u > 0) {
    imperial->hide();
    metricBox->show();
    unitsMetric->show();
    const MetricGaugeText t = MetricGauge(dialogGaugeMm_, u);
    metricBox->setText(QString::fromStdString(t.value));
    unitsMetric->setText(QString::fromStdString(t.unit));
  }
  suppressUpDown_ = false;
}

void TForm4::UpDownStep(int position) {
  dialogGaugeMm_ = position;
  dialogGauge_ = static_cast<float>(dialogGaugeMm_) / 1000.0f;
  suppressUpDown_ = true;
  DisplayUpdate();
}

void TForm4::SpacingChange(int value) {
  values_.tieSpacing = value;
  spacingImp->setText(QString::fromStdString(FeetInchesText(value)));
}

TrackValues TForm4::Result() const {
  TrackValues out = values_;
  out.gaugeIndex = gaugeCombo->currentIndex();
  out.unitsIndex = unitsCombo->currentIndex();
  out.gauge = RailCentreGauge(dialogGauge_);
  return out;
}

}  // namespace kelvane
