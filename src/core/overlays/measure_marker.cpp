#include "overlays/measure_marker.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "base/vec3.h"
#include "overlays/attachment_markers.h"

namespace kelvane {

namespace {

using V = std::array<float, 3>;

void Vertex(const V& v) {
  glVertex3f(v[0], v[1], v[2]);
}

void Cross3(const V& at, float half) {
  glBegin(GL_LINES);
  for (int axis = 0; axis < 3; ++axis) {
    V d{0, 0, 0};
    d[static_cast<std::size_t>(axis)] = half;
    Vertex(Sub(at, d));
    Vertex(Add(at, d));
  }
  glEnd();
}

// The attachment marker's head: four triangles from the tip to a ring of
// radius `radius` around the axis, `depth` behind the tip.
void Head(const V& tip, const V& back, float depth, float radius) {
  const V axis = Unit(back);
  const V helper = std::abs(axis[1]) < 0.9f ? V{0, 1, 0} : V{1, 0, 0};
  const V u = Unit(Cross(axis, helper));
  const V w = Cross(axis, u);
  const V base = Add(tip, Scale(axis, depth));
  const std::array<V, 4> ring{Add(base, Scale(u, radius)), Add(base, Scale(w, radius)),
                              Sub(base, Scale(u, radius)), Sub(base, Scale(w, radius))};
  glBegin(GL_TRIANGLES);
  for (std::size_t i = 0; i < ring.size(); ++i) {
    Vertex(tip);
    Vertex(ring[i]);
    Vertex(ring[(i + 1) % ring.size()]);
  }
  glEnd();
}

}  // namespace

void DrawMeasurement(const Measurement& measurement, std::int32_t attSize, float zoom) {
  if (!measurement.first || zoom == 0.0f) return;
  const MarkerMeasures m = AttachmentMarkerMeasures(attSize, zoom);
  const GLboolean depth = glIsEnabled(GL_DEPTH_TEST);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);
  glLineWidth(2.0f);
  const TVector3 p = *measurement.first;
  const V a{p.x, p.y, p.z};
  glColor3f(0.0f, 1.0f, 0.0f);
  Cross3(a, m.length * 0.5f);
  if (measurement.second) {
    const TVector3 q = *measurement.second;
    const V b{q.x, q.y, q.z};
    Cross3(b, m.length * 0.5f);
    glColor3f(1.0f, 1.0f, 0.0f);
    glBegin(GL_LINES);
    Vertex(a);
    Vertex(b);
    glEnd();
    // Heads as long as a marker's, but never longer than half the line.
    const float span = Length(Sub(b, a));
    if (span > 0.0f) {
      const float depthOfHead = std::min(m.length - m.arrowBase, span / 2.0f);
      const float radius = m.radius * depthOfHead / (m.length - m.arrowBase);
      Head(a, Sub(b, a), depthOfHead, radius);
      Head(b, Sub(a, b), depthOfHead, radius);
    }
  }
  glLineWidth(1.0f);
  if (depth) glEnable(GL_DEPTH_TEST);
}

}  // namespace kelvane
