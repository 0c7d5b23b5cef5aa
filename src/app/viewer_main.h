#pragma once

#include <QSurfaceFormat>

namespace kelvane {

// The view's pixel format: compatibility profile, double buffered, the
// deepest depth buffer offered up to 32 bits. Set before the application.
QSurfaceFormat ViewSurfaceFormat();

}  // namespace kelvane
