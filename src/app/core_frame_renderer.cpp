#include "core_frame_renderer.h"

namespace kelvane {

void CoreFrameRenderer::SetupGL() {
  const GlProcLookup lookup = QtProcLookup();
  kelvane::SetupGL(frame_.draw, [lookup](const char* name) -> GlProc { return lookup(name); });
  // Every clear of this context shows the background, even before a frame.
  if (beforeFrame_) beforeFrame_();
  SetClearColour(frame_.BGroundColour);
}

void CoreFrameRenderer::ClearToBackground() {
  if (beforeFrame_) beforeFrame_();
  SetClearColour(frame_.BGroundColour);
  ClearGLBuffers();
}

void CoreFrameRenderer::SetPerspective(int width, int height) {
  kelvane::SetPerspective(width, height);
}

void CoreFrameRenderer::RenderFrame() {
  if (beforeFrame_) beforeFrame_();
  kelvane::RenderFrame(frame_);
}

void CoreFrameRenderer::Release() {
  ReleaseDrawResources(frame_.draw);
}

}  // namespace kelvane
