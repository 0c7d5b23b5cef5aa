#include "overlays/axes.h"

#include <GL/gl.h>

namespace kelvane {

namespace {

constexpr float kLabelScale = 0.03f;

void Line(float x0, float y0, float z0, float x1, float y1, float z1) {
  glBegin(GL_LINES);
  glVertex3f(x0, y0, z0);
  glVertex3f(x1, y1, z1);
  glEnd();
}

// The axis letter at both ends, drawn bold.
void EndLetters(const GlyphTable& glyphs, const char* letter, float x, float y, float z,
                float zoom) {
  glPushMatrix();
  glLineWidth(2.0f);
  glTranslatef(x, y, z);
  DrawText3D(glyphs, letter, kLabelScale, zoom);
  glTranslatef(-2.0f * x, -2.0f * y, -2.0f * z);
  DrawText3D(glyphs, letter, kLabelScale, zoom);
  glLineWidth(1.0f);
  glPopMatrix();
}

}  // namespace

std::vector<RulerTick> RulerTicks(RulerAxis axis, bool metric) {
  const float step = metric ? 1.0f : 0.3048f;
  const int count = axis == RulerAxis::Depth ? (metric ? 20 : 64) : (metric ? 10 : 32);
  const std::string unit = axis == RulerAxis::Vertical ? "" : (metric ? "M" : "FT");
  std::vector<RulerTick> ticks;
  for (int pass = 0; pass < 2; ++pass) {
    const float sign = pass == 0 ? 1.0f : -1.0f;
    // The depth axis is the asset's y with its sign reversed.
    const bool negativeLabel = axis == RulerAxis::Depth ? pass == 0 : pass == 1;
    for (int i = 1; i <= count; ++i) {
      RulerTick tick;
      tick.position = sign * step * static_cast<float>(i);
      tick.longTick = i % 5 == 0;
      if ((metric && i % 5 == 0) || (!metric && i % 10 == 0))
        tick.label = (negativeLabel ? "-" : "") + std::to_string(i) + unit;
      ticks.push_back(std::move(tick));
    }
  }
  return ticks;
}

void DrawAxes(const GlyphTable& glyphs, bool metric, float zoom) {
  // x axis
  glColor3f(0.8f, 0.8f, 0.0f);
  Line(-10, 0, 0, 10, 0, 0);
  EndLetters(glyphs, "X", 10.5f, 0, 0, zoom);
  for (const RulerTick& t : RulerTicks(RulerAxis::X, metric)) {
    Line(t.position, 0, 0, t.position, t.longTick ? -0.4f : -0.2f, 0);
    if (t.label.empty()) continue;
    glPushMatrix();
    glTranslatef(t.position, -0.7f, 0.0f);
    DrawText3D(glyphs, t.label, kLabelScale, zoom);
    glPopMatrix();
  }
  // vertical axis: the asset's z
  glColor3f(0.6f, 0.0f, 0.0f);
  Line(0, -10, 0, 0, 10, 0);
  EndLetters(glyphs, "Z", 0, 10.5f, 0, zoom);
  for (const RulerTick& t : RulerTicks(RulerAxis::Vertical, metric)) {
    Line(0, t.position, 0, 0, t.position, t.longTick ? 0.4f : 0.2f);
    if (t.label.empty()) continue;
    glPushMatrix();
    glTranslatef(0.0f, t.position, 0.7f);
    DrawText3D(glyphs, t.label, kLabelScale, zoom);
    glPopMatrix();
  }
  // depth axis: the asset's y, reversed
  glColor3f(0.0f, 0.9f, 0.0f);
  Line(0, 0, -20, 0, 0, 20);
  EndLetters(glyphs, "Y", 0, 0, 20.5f, zoom);
  for (const RulerTick& t : RulerTicks(RulerAxis::Depth, metric)) {
    Line(0, 0, t.position, 0, t.longTick ? -0.4f : -0.2f, t.position);
    if (t.label.empty()) continue;
    glPushMatrix();
    glTranslatef(0.0f, -0.7f, t.position);
    DrawText3D(glyphs, t.label, kLabelScale, zoom);
    glPopMatrix();
  }
  glLineWidth(1.0f);
}

}  // namespace kelvane
