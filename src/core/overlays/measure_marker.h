#pragma once

#include <cstdint>

#include "view/measurement.h"

namespace kelvane {

// The picked points of a measurement, each marked by a small three-axis
// cross, and the line between them with arrow heads at both ends, drawn in
// the attachment markers' colours and measures (yellow line, green
// crosses; sized by `attSize` / `zoom`, so they keep their size on the
// screen). Drawn over the model, whatever lies in front. Uses the current
// matrices (scene space); changes the current colour, leaves line width 1
// and the depth test on.
void DrawMeasurement(const Measurement& measurement, std::int32_t attSize, float zoom);

}  // namespace kelvane
