#pragma once

#include <array>
#include <string>

namespace kelvane {

// The gauge list of the Adjust Track dialog, in list order.
struct GaugeChoice {
  const char* item;
  float gauge;  // nominal gauge in metres; "Other" keeps the current one
};
inline constexpr int kOtherGaugeIndex = 8;
inline constexpr int kNoTrackGaugeIndex = 9;
extern const std::array<GaugeChoice, 10> kGaugeChoices;
extern const std::array<const char*, 4> kTrackUnits;

// The rail-centre distance drawn for a nominal gauge, and back.
inline float RailCentreGauge(float nominal) {
  return nominal + 0.05f;
}
inline float NominalGauge(float railCentre) {
  return railCentre - 0.05f;
}

// "4ft - 8.5in" for 1435 mm.
std::string FeetInchesText(int millimetres);

// The gauge as the metric box shows it in unit `unitsIndex` (1 m, 2 cm,
// 3 mm) and the label beside it; unit 0 uses FeetInchesText instead.
struct MetricGaugeText {
  std::string value;
  std::string unit;
};
MetricGaugeText MetricGauge(int millimetres, int unitsIndex);

}  // namespace kelvane
