#pragma once

#include <string>
#include <vector>

#include "overlays/stroke_font.h"

namespace kelvane {

enum class RulerAxis { X, Vertical, Depth };

struct RulerTick {
  float position = 0.0f;  // along the axis, view units
  bool longTick = false;  // every fifth step
  std::string label;      // empty: no label
};

// The ticks of one axis, every metre (to 10 m, 20 m in depth) or every foot
// (to 32 ft, 64 ft), positive side first. Labels every 5 m or every 10 ft.
std::vector<RulerTick> RulerTicks(RulerAxis axis, bool metric);

// Three coloured axes through the origin with ticks and labels; labels
// face the viewer and are sized by `zoom`. Changes only the current colour
// and leaves the line width at 1.
void DrawAxes(const GlyphTable& glyphs, bool metric, float zoom);

}  // namespace kelvane
