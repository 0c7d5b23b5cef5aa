#pragma once

#include <cstdint>

#include "mesh/model.h"
#include "overlays/stroke_font.h"

namespace kelvane {

// Measures of an attachment marker for a size and view scale: they shrink
// as the view zooms in, so markers keep their size on the screen.
struct MarkerMeasures {
  float length, arrowBase, radius, letterHalfHeight, letterDistance;
};
MarkerMeasures AttachmentMarkerMeasures(std::int32_t attSize, float zoom);

// An axis marker with arrow heads and X, Y, Z letters at every attachment
// point of `unit`, the one at `attIndex` yellow, the others green. Uses the
// current matrices; changes the current colour, leaves line width 1.
void DrawAttachments(const MeshUnitState& unit, std::int32_t attIndex, std::int32_t attSize,
                     float zoom);

}  // namespace kelvane
