#include "overlays/attachment_markers.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>

namespace kelvane {

namespace {

struct P {
  float x, y, z;
};

void Line(P a, P b) {
  glBegin(GL_LINES);
  glVertex3f(a.x, a.y, a.z);
  glVertex3f(b.x, b.y, b.z);
  glEnd();
}

// A line from the origin to the tip and a head of four triangles fanning
// from the tip to the ring.
void Arrow(P tip, const std::array<P, 4>& ring) {
  Line({0, 0, 0}, tip);
  glBegin(GL_TRIANGLES);
  for (std::size_t i = 0; i < ring.size(); ++i) {
    const P& a = ring[i];
    const P& b = ring[(i + 1) % ring.size()];
    glVertex3f(tip.x, tip.y, tip.z);
    glVertex3f(a.x, a.y, a.z);
    glVertex3f(b.x, b.y, b.z);
  }
  glEnd();
}

template <std::size_t N>
void Letter(P at, float zoom, const std::array<std::array<P, 2>, N>& segments) {
  glPushMatrix();
  glTranslatef(at.x, at.y, at.z);
  FaceViewer(zoom);
  for (const auto& s : segments)
    Line(s[0], s[1]);
  glPopMatrix();
}

}  // namespace

MarkerMeasures AttachmentMarkerMeasures(std::int32_t attSize, float zoom) {
  const float s = static_cast<float>(attSize) / zoom;
  return {s, 0.8f * s, 0.06f * s, 0.08f * s, 1.2f * s};
}

void DrawAttachments(const MeshUnitState& unit, std::int32_t attIndex, std::int32_t attSize,
                     float zoom) {
  if (zoom == 0.0f) return;
  const MarkerMeasures m = AttachmentMarkerMeasures(attSize, zoom);
  const float L = m.length, B = m.arrowBase, R = m.radius, H = m.letterHalfHeight,
              T = m.letterDistance;
  const std::size_t count = std::min(static_cast<std::size_t>(std::max(unit.AttachmentCount, 0)),
                                     unit.AttachmentTable.size());
  for (std::size_t i = 0; i < count; ++i) {
    const TAttachPoint& p = unit.AttachmentTable[i];
    if (static_cast<std::int32_t>(i) == attIndex) {
      glColor3f(1.0f, 1.0f, 0.0f);
    } else {
      glColor3f(0.0f, 1.0f, 0.0f);
    }
    glPushMatrix();
    glTranslatef(p.position.x, p.position.z, -p.position.y);
    glRotatef(-p.rotation.z, 0, 1, 0);
    glRotatef(p.rotation.y, 0, 0, 1);
    glRotatef(-p.rotation.x, 1, 0, 0);

    Arrow({L, 0, 0}, {P{B, R, 0}, P{B, 0, R}, P{B, -R, 0}, P{B, 0, -R}});
    Arrow({0, 0, -L}, {P{0, R, -B}, P{R, 0, -B}, P{0, -R, -B}, P{-R, 0, -B}});
    Arrow({0, L, 0}, {P{R, B, 0}, P{0, B, -R}, P{-R, B, 0}, P{0, B, R}});

    glLineWidth(2.0f);
    Letter<2>({T, 0, 0}, zoom, {{{P{-R, H, 0}, P{R, -H, 0}}, {P{R, H, 0}, P{-R, -H, 0}}}});
    Letter<3>({0, 0, -T}, zoom,
              {{{P{R, H, 0}, P{0, 0, 0}}, {P{0, 0, 0}, P{-R, H, 0}}, {P{0, 0, 0}, P{0, -H, 0}}}});
    Letter<3>(
        {0, T, 0}, zoom,
        {{{P{-R, H, 0}, P{R, H, 0}}, {P{R, H, 0}, P{-R, -H, 0}}, {P{-R, -H, 0}, P{R, -H, 0}}}});
    glLineWidth(1.0f);
    glPopMatrix();
  }
}

}  // namespace kelvane
