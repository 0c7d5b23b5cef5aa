#include "viewer_main.h"

namespace kelvane {

QSurfaceFormat ViewSurfaceFormat() {
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
  format.setRedBufferSize(8);
  format.setGreenBufferSize(8);
  format.setBlueBufferSize(8);
  // No alpha planes: the clear colour's alpha of 0 must not make the view
  // see-through where the window is composed.
  format.setAlphaBufferSize(0);
  // Where 32 bits are refused the platform falls back to what it has (24).
  format.setDepthBufferSize(32);
  return format;
}

}  // namespace kelvane
