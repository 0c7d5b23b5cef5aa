#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/vector3.h"
#include "mesh/model.h"
#include "view/view_state.h"

// Picking: what lies under a pixel of the view, computed from the same
// projection and view transform a frame draws with, on the CPU. Points are
// returned in scene space: view axes (y up), metres, before the view's
// rotation, zoom and pan, after a traincar model's placement and an
// object's own transforms.

namespace kelvane {

// A 4 x 4 matrix in GL's column-major order.
struct Matrix4 {
  std::array<double, 16> m{};
  static Matrix4 Identity();
  double& at(int row, int column) { return m[static_cast<std::size_t>(column * 4 + row)]; }
  double at(int row, int column) const { return m[static_cast<std::size_t>(column * 4 + row)]; }
};
Matrix4 operator*(const Matrix4& a, const Matrix4& b);
// (x, y, z, 1) through the matrix, divided by w.
TVector3 TransformPoint(const Matrix4& m, double x, double y, double z);
std::optional<Matrix4> Inverse(const Matrix4& m);

// The frame's projection for a drawing area (45 degrees vertical, near 1,
// far 300; aspect 1 when a side is below 1).
Matrix4 ProjectionMatrix(int width, int height);
// The camera, then the view's rotation, zoom and pan: where scene space
// lands in eye space.
Matrix4 ViewMatrix(const ViewState& view);
// A model's placement and an object's transforms, in the order drawn.
Matrix4 PlacementMatrix(const std::vector<PlacementStep>& steps);
Matrix4 ObjectMatrix(const TTransformList& transforms);

// Where a scene point lands in a drawing area of width x height: x from the
// left, y from the top, in pixels (continuous: pixel i spans [i, i + 1)).
// Nothing for a point behind the camera.
std::optional<std::array<double, 2>> ProjectToWindow(const ViewState& view, int width, int height,
                                                     const TVector3& scene);

// The ray through the middle of pixel (x, y) (x from the left, y from the
// top), in scene space: from the near plane to the far plane, unit
// direction.
struct Ray {
  std::array<double, 3> origin{};
  std::array<double, 3> direction{};
  double length = 1e300;  // to the far plane
};
std::optional<Ray> PixelRay(const ViewState& view, int width, int height, double x, double y);

// A model as drawn: its placement in a traincar, none for a mesh alone.
struct PickTarget {
  const T3DModel* model = nullptr;
  const std::vector<PlacementStep>* placement = nullptr;
};

struct PickHit {
  TVector3 point;          // scene space
  double distance = 0.0;   // along the ray
  std::size_t target = 0;  // index into the targets
  std::size_t object = 0;  // index of the object in its model
  bool snapped = false;    // `point` is a vertex
};

// The nearest triangle the ray meets, as the full draw shows it: back
// faces of one-sided materials are culled, two-sided ones count from both
// sides. With `snapToVertex` the point becomes the drawn vertex nearest
// to it.
std::optional<PickHit> PickRay(const Ray& ray, const std::vector<PickTarget>& targets,
                               bool snapToVertex);

}  // namespace kelvane
