#include "windows/view_widget.h"

#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>

namespace kelvane {

namespace {

void (*LookUp(const char* name))() {
  QOpenGLContext* context = QOpenGLContext::currentContext();
  return context ? context->getProcAddress(name) : nullptr;
}

}  // namespace

GlProcLookup QtProcLookup() {
  return &LookUp;
}

ViewWidget::ViewWidget(QWidget* parent) : QOpenGLWidget(parent) {
  // The last picture must survive paints that draw nothing.
  setUpdateBehavior(QOpenGLWidget::PartialUpdate);
  setMouseTracking(true);
  // A click on the view takes the keys back from any control.
  setFocusPolicy(Qt::ClickFocus);
}

void ViewWidget::initializeGL() {
  contextReady_ = context() && context()->isValid();
  if (contextReady_ && renderer_) renderer_->SetupGL();
  // A new context's buffer holds nothing: the first paint shows the
  // background until a frame is wanted.
  backgroundPending_ = true;
}

void ViewWidget::resizeGL(int, int) {
  // The window sets the projection in its resize handling.
}

void ViewWidget::ApplyPerspective() {
  if (!contextReady_ || !renderer_) return;
  makeCurrent();
  const qreal ratio = devicePixelRatioF();
  renderer_->SetPerspective(static_cast<int>(width() * ratio), static_cast<int>(height() * ratio));
  doneCurrent();
}

void ViewWidget::ShowBackgroundOnly() {
  backgroundPending_ = true;
  update();
}

void ViewWidget::paintGL() {
  if (!renderer_) return;
  if (!wantFrame || !wantFrame()) {
    if (backgroundPending_) renderer_->ClearToBackground();
    backgroundPending_ = false;
    return;
  }
  backgroundPending_ = false;
  renderer_->RenderFrame();
  ++frames_;
  if (frameDrawn) frameDrawn();
}

QImage ViewWidget::RenderOffscreen(int width, int height) {
  if (!contextReady_ || !renderer_) return {};
  makeCurrent();
  QImage picture;
  {
    // The buffer ends while its context is current: ended later, its
    // storage would wait for the next makeCurrent, and a context closed
    // before that would never free it.
    QOpenGLFramebufferObject buffer(width, height, QOpenGLFramebufferObject::CombinedDepthStencil);
    if (buffer.isValid() && buffer.bind()) {
      renderer_->SetPerspective(width, height);
      renderer_->RenderFrame();
      // The clear colour's alpha is 0, so the pixels are read as opaque, and
      // GL's bottom row comes first.
      QImage rows(width, height, QImage::Format_RGBX8888);
      QOpenGLFunctions* gl = context()->functions();
      gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
      gl->glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rows.bits());
      picture = rows.mirrored(false, true).convertToFormat(QImage::Format_RGB32);
      buffer.release();
    }
  }
  const qreal ratio = devicePixelRatioF();
  renderer_->SetPerspective(static_cast<int>(this->width() * ratio),
                            static_cast<int>(this->height() * ratio));
  doneCurrent();
  return picture;
}

}  // namespace kelvane
