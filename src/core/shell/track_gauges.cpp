#include "shell/track_gauges.h"

#include <cmath>

#include "base/text.h"

namespace kelvane {

const std::array<GaugeChoice, 10> kGaugeChoices{{
    {"NG 2ft", 0.615f},
    {"NG 2ft 6in", 0.767f},
    {"1m gauge", 1.0f},
    {"NG 3ft 6in", 1.067f},
    {"Std 4ft 8\u00bdin", 1.435f},
    {"1.5m gauge", 1.5f},
    {"Irish 5ft3in", 1.6f},
    {"BG 7ft", 2.134f},
    {"Other", 0.0f},
    {"No Track", 0.0f},
}};

const std::array<const char*, 4> kTrackUnits{"ft in", "m", "cm", "mm"};

std::string FeetInchesText(int millimetres) {
  const double feetExact = millimetres / 304.8;
  const double feet = std::floor(feetExact);
  const double inches = (feetExact - feet) * 12.0;
  return FormatFixed(feet, 0) + "ft - " + FormatFixed(inches, 1) + "in";
}

MetricGaugeText MetricGauge(int millimetres, int unitsIndex) {
  switch (unitsIndex) {
    case 1:
      return {FormatFixed(millimetres / 1000.0, 3), "m"};
    case 2:
      return {FormatFixed(millimetres / 10.0, 1), "cm"};
    case 3:
      return {std::to_string(millimetres), "mm"};
    default:
      return {FeetInchesText(millimetres), ""};
  }
}

}  // namespace kelvane
