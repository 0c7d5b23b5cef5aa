#include "view/measurement.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "view/frame.h"

namespace kelvane {

namespace {

constexpr double kMetresPerInch = 0.0254;

std::string Metres(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f m", value);
  return text;
}

std::string PointText(const TVector3& p) {
  // Scene (x, y, z) is the asset's (x, -z, y).
  char text[128];
  std::snprintf(text, sizeof text, "(%.3f, %.3f, %.3f) m", double(p.x) + 0.0, -double(p.z) + 0.0,
                double(p.y) + 0.0);
  return text;
}

}  // namespace

void AddMeasurePoint(Measurement& measurement, const TVector3& point) {
  if (!measurement.first || measurement.second) {
    measurement.first = point;
    measurement.second.reset();
  } else {
    measurement.second = point;
  }
}

std::string FeetAndInches(double metres) {
  const bool negative = metres < 0.0;
  // Tenths of an inch, rounded once.
  const long long tenths = std::llround(std::abs(metres) / kMetresPerInch * 10.0);
  const long long feet = tenths / 120;
  const long long rest = tenths % 120;
  char text[64];
  std::snprintf(text, sizeof text, "%s%lld ft %lld.%lld in", negative && tenths ? "-" : "", feet,
                rest / 10, rest % 10);
  return text;
}

std::string LengthText(double metres) {
  return Metres(metres) + " (" + FeetAndInches(metres) + ")";
}

MeasureFigures Figures(const TVector3& a, const TVector3& b) {
  const double x = double(b.x) - double(a.x);
  const double up = double(b.y) - double(a.y);
  const double depth = double(b.z) - double(a.z);
  MeasureFigures f;
  f.distance = std::sqrt(x * x + up * up + depth * depth);
  f.dx = std::abs(x);
  f.dy = std::abs(depth);
  f.dz = std::abs(up);
  return f;
}

std::optional<BoxDimensions> DimensionsOf(const TMeshBounds& b) {
  if (b.firstVertex) return std::nullopt;
  const double x = double(b.maxX) - double(b.minX);
  const double y = double(b.maxY) - double(b.minY);
  return BoxDimensions{std::max(x, y), std::min(x, y), double(b.maxZ) - double(b.minZ)};
}

std::string MeasurementText(const Measurement& m) {
  if (!m.first) return {};
  if (!m.second) {
    return "Measuring from " + PointText(*m.first) +
           ": Ctrl+click the second point (Shift+Ctrl snaps to a vertex, Escape clears)";
  }
  const MeasureFigures f = Figures(*m.first, *m.second);
  return "Distance " + LengthText(f.distance) + "   X " + LengthText(f.dx) + "   Y " +
         LengthText(f.dy) + "   Z " + LengthText(f.dz);
}

std::vector<PickTarget> PickTargets(const FrameState& frame) {
  std::vector<PickTarget> targets;
  if (!frame.unit) return targets;
  if (frame.trainCarMode) {
    if (!frame.scene) return targets;
    for (std::size_t i = 0; i < frame.scene->ModelCount(); ++i) {
      const T3DModel& model = frame.scene->Model(i);
      targets.push_back({&model, &model.placement});
    }
  } else if (frame.currentModel) {
    targets.push_back({frame.currentModel, nullptr});
  }
  return targets;
}

std::optional<PickHit> PickPixel(const FrameState& frame, int width, int height, double x, double y,
                                 bool snapToVertex) {
  const auto ray = PixelRay(frame.view, width, height, x, y);
  if (!ray) return std::nullopt;
  return PickRay(*ray, PickTargets(frame), snapToVertex);
}

}  // namespace kelvane
