#pragma once

#include "mesh/model_draw.h"
#include "overlays/stroke_font.h"
#include "windows/view_widget.h"

namespace kelvane {

class MainWindow;

// The view's frames drawn by the core's frame drawing from the main
// window's state: model passes, axes, track and attachment markers.
class CoreFrameRenderer final : public FrameRenderer {
 public:
  explicit CoreFrameRenderer(MainWindow& window) : window_(window), glyphs_(BuildGlyphs()) {}
  void SetupGL() override;
  void SetPerspective(int width, int height) override;
  void RenderFrame() override;

  const DrawSettings& draw() const { return draw_; }
  // Before the context goes: the cube map is the context's.
  void Release();

 private:
  MainWindow& window_;
  DrawSettings draw_;
  GlyphTable glyphs_;
};

}  // namespace kelvane
