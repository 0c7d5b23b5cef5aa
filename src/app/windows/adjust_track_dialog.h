#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <cstdint>

namespace kelvane {

class Notifier;

// The track values the dialog edits; copied in before and out after.
struct TrackValues {
  std::int32_t gaugeIndex = 3;
  std::int32_t unitsIndex = 0;
  std::int32_t tieSpacing = 800;  // millimetres
  float gauge = 1.44f;            // rail-centre distance, metres
};

// "Adjust Track": gauge, units and sleeper spacing of the traincar's track.
class AdjustTrackDialog final : public QDialog {
  Q_OBJECT

 public:
  AdjustTrackDialog(QWidget* parent, Notifier& notifier);

  // Copies the values in and prepares the controls; with gauge "Other" the
  // gauge is first shown in a message.
  void Prepare(const TrackValues& values);
  // The values as the dialog leaves them.
  TrackValues Result() const;

  QComboBox* gaugeCombo = nullptr;
  QComboBox* unitsCombo = nullptr;
  QLineEdit* metricBox = nullptr;
  QLabel* unitsMetric = nullptr;
  QSpinBox* gaugeStepper = nullptr;
  QLineEdit* imperial = nullptr;
  QSpinBox* spacing = nullptr;
  QLabel* spacingImperial = nullptr;

 private:
  void DisplayUpdate();
  void UpDownStep(int position);
  void SpacingChange(int value);

  Notifier& notifier_;
  TrackValues values_;
  float dialogGauge_ = 0.0f;
  int dialogGaugeMm_ = 0;
  bool suppressUpDown_ = false;
  bool preparing_ = false;
};

}  // namespace kelvane
