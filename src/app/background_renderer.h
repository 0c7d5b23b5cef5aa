#pragma once

#include <array>
#include <cstdint>

#include "windows/view_widget.h"

namespace kelvane {

// Until the frame drawing of the core is wired in, the view's frames are the
// background alone: the GL state of start-up, the viewport, and a clear.
class BackgroundRenderer final : public FrameRenderer {
 public:
  explicit BackgroundRenderer(const std::int32_t& bgroundColour) : bground_(bgroundColour) {}
  void SetupGL() override;
  void SetPerspective(int width, int height) override;
  void RenderFrame() override;

 private:
  const std::int32_t& bground_;
};

}  // namespace kelvane
