#include "background_renderer.h"

#include <GL/gl.h>

#include "shell/shell_rules.h"

namespace kelvane {

void BackgroundRenderer::SetupGL() {
  const auto c = ClearColourOf(bground_, true);
  glClearColor(c[0], c[1], c[2], c[3]);
  glShadeModel(GL_SMOOTH);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glClearDepth(1.0);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_DEPTH_TEST);
  glAlphaFunc(GL_GREATER, 0.06f);
  glEnable(GL_ALPHA_TEST);
}

void BackgroundRenderer::SetPerspective(int width, int height) {
  glViewport(0, 0, width, height);
}

void BackgroundRenderer::RenderFrame() { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }

}  // namespace kelvane
