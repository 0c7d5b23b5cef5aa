#pragma once

#include <QImage>
#include <QOpenGLWidget>
#include <functional>

#include "platform/gl_entry_points.h"

namespace kelvane {

// What draws the view's frames into its context: the window hands in the
// core's frame drawing (CoreFrameRenderer). The view itself only clears to
// the background (ShowBackgroundOnly) and reads pictures back.
class FrameRenderer {
 public:
  virtual ~FrameRenderer() = default;
  // Once, right after the context was made.
  virtual void SetupGL() = 0;
  // Viewport and projection for a drawing area of this many pixels.
  virtual void SetPerspective(int width, int height) = 0;
  virtual void RenderFrame() = 0;
  // Clears to the background colour alone.
  virtual void ClearToBackground() = 0;
};

// The GL entry-point lookup of whichever Qt context is current.
GlProcLookup QtProcLookup();

// The OpenGL view on the main window's panel. It draws only when the window
// says a frame is wanted; otherwise the last picture stays.
class ViewWidget final : public QOpenGLWidget {
  Q_OBJECT

 public:
  explicit ViewWidget(QWidget* parent);

  void SetRenderer(FrameRenderer* renderer) { renderer_ = renderer; }
  // Asked before each paint: draw a frame now?
  std::function<bool()> wantFrame;
  // After each frame drawn.
  std::function<void()> frameDrawn;

  bool ContextReady() const { return contextReady_; }
  int FrameCount() const { return frames_; }
  // The picture becomes the background alone (nothing open, a load that
  // failed) at the next paint; frames are drawn again when the window asks
  // for them.
  void ShowBackgroundOnly();
  // The projection follows the panel's size from now on.
  void ApplyPerspective();
  // The current frame drawn into an off-screen buffer of `width` x `height`
  // with that size's projection; the view itself is left as it was.
  QImage RenderOffscreen(int width, int height);

 protected:
  void initializeGL() override;
  void resizeGL(int width, int height) override;
  void paintGL() override;

 private:
  FrameRenderer* renderer_ = nullptr;
  bool contextReady_ = false;
  bool backgroundPending_ = false;
  int frames_ = 0;
};

}  // namespace kelvane
