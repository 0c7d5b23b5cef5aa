#pragma once

#include <functional>
#include <utility>

#include "view/frame.h"
#include "windows/view_widget.h"

namespace kelvane {

// The view's frames drawn by the core's frame drawing from the frame state
// the window owns: model passes, axes, track and attachment markers.
class CoreFrameRenderer final : public FrameRenderer {
 public:
  // `beforeFrame` brings the state up to what the window shows.
  CoreFrameRenderer(FrameState& frame, std::function<void()> beforeFrame)
      : frame_(frame), beforeFrame_(std::move(beforeFrame)) {}
  void SetupGL() override;
  void SetPerspective(int width, int height) override;
  void RenderFrame() override;
  void ClearToBackground() override;

  // Before the context goes: the cube map is the context's.
  void Release();

 private:
  FrameState& frame_;
  std::function<void()> beforeFrame_;
};

}  // namespace kelvane
