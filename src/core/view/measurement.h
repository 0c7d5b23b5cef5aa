#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/vector3.h"
#include "view/picking.h"

// Measuring in the view: two picked points of the scene, their distance
// and its components, in metres and in feet and inches.

namespace kelvane {

struct FrameState;

// The points picked so far, in scene space (view axes). A third pick
// starts a new measurement.
struct Measurement {
  std::optional<TVector3> first;
  std::optional<TVector3> second;
  bool Empty() const { return !first; }
};

// Takes a picked point: the first, the second, or the first of a new pair.
void AddMeasurePoint(Measurement& measurement, const TVector3& point);

// A length as "40 ft 6.0 in": whole feet and inches to a tenth, rounded
// once so that 11.96 in become the next foot.
std::string FeetAndInches(double metres);
// "12.345 m (40 ft 6.0 in)".
std::string LengthText(double metres);

// The straight distance between two scene points and its components along
// the asset's axes (x, y, z with z up), each as a length.
struct MeasureFigures {
  double distance = 0.0;
  double dx = 0.0, dy = 0.0, dz = 0.0;
};
MeasureFigures Figures(const TVector3& a, const TVector3& b);

// A bounding box (in the asset's axes, z up) as length, width and height:
// the longer horizontal side, the shorter one, and the vertical one. None
// of them when the load met no vertex.
struct BoxDimensions {
  double length = 0.0, width = 0.0, height = 0.0;
};
std::optional<BoxDimensions> DimensionsOf(const TMeshBounds& bounds);

// The status line's text for what has been picked.
std::string MeasurementText(const Measurement& measurement);

// What a frame draws as pickable: the current mesh, or every model of a
// traincar at its placement.
std::vector<PickTarget> PickTargets(const FrameState& frame);
// The point under pixel (x, y) of a drawing area of width x height, as
// the frame shows it.
std::optional<PickHit> PickPixel(const FrameState& frame, int width, int height, double x, double y,
                                 bool snapToVertex);

}  // namespace kelvane
