// The view's input: mouse, wheel and keys.
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "shell/shell_rules.h"
#include "view/measurement.h"
#include "windows/main_window.h"

namespace kelvane {

namespace fs = std::filesystem;

namespace {

ViewKey KeyOf(int key) {
  switch (key) {
    case Qt::Key_Left:
      return ViewKey::Left;
    case Qt::Key_Right:
      return ViewKey::Right;
    case Qt::Key_Up:
      return ViewKey::Up;
    case Qt::Key_Down:
      return ViewKey::Down;
    case Qt::Key_B:
      return ViewKey::B;
    case Qt::Key_R:
      return ViewKey::R;
    case Qt::Key_T:
      return ViewKey::T;
    case Qt::Key_W:
      return ViewKey::W;
    default:
      return ViewKey::Other;
  }
}

KeyModifiers ModifiersOf(Qt::KeyboardModifiers m) {
  // The keypad flag says where a key is, not what is held.
  m &= ~Qt::KeypadModifier;
  if (m == Qt::ShiftModifier) return KeyModifiers::ShiftOnly;
  if (m == Qt::ControlModifier) return KeyModifiers::CtrlOnly;
  return KeyModifiers::Other;
}

}  // namespace

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // The wheel zooms wherever it turns over the window, before any control
  // under it would scroll.
  if (event->type() == QEvent::Wheel) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget->window() == this) {
      ApplyWheel(frame.view, static_cast<QWheelEvent*>(event)->angleDelta().y());
      RequestFrame();
      return true;
    }
  }
  if (watched == viewArea_) {
    if (event->type() == QEvent::MouseButtonPress) {
      auto* e = static_cast<QMouseEvent*>(event);
      // A click gives the keys back to the view.
      viewArea_->setFocus(Qt::MouseFocusReason);
      if (e->button() == Qt::RightButton) {
        if (!RefuseWhileBusy()) popupMenu->popup(e->globalPosition().toPoint());
        return true;
      }
      if (frame.view.MouseReady) {
        frame.view.LastMouseX = static_cast<float>(e->position().x());
        frame.view.LastMouseY = static_cast<float>(e->position().y());
      }
      if (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ControlModifier))
        MeasureAt(e->position(), e->modifiers() & Qt::ShiftModifier);
      return true;
    }
    if (event->type() == QEvent::MouseMove) {
      auto* e = static_cast<QMouseEvent*>(event);
      ApplyDrag(frame.view, static_cast<float>(e->position().x()),
                static_cast<float>(e->position().y()), e->buttons() & Qt::LeftButton,
                e->buttons() & Qt::MiddleButton);
      RequestFrame();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::MeasureAt(QPointF position, bool snap) {
  if (!session_.Loaded() || composing_) return;
  FillFrame();
  const auto hit =
      PickPixel(frame, viewArea_->width(), viewArea_->height(), position.x(), position.y(), snap);
  if (!hit) {
    statusLine->setText("Nothing under the cursor to measure");
    return;
  }
  AddMeasurePoint(frame.measure, hit->point);
  statusLine->setText(QString::fromStdString(MeasurementText(frame.measure)));
  RequestFrame();
}

void MainWindow::ClearMeasurement() {
  frame.measure = {};
  UpdateStatus();
  RequestFrame();
}

void MainWindow::ShowPopupFromKeys() {
  if (RefuseWhileBusy()) return;
  popupMenu->popup(viewArea_->mapToGlobal(viewArea_->rect().center()));
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && !frame.measure.Empty()) {
    ClearMeasurement();
    event->accept();
    return;
  }
  // The keyboard's ways to the view's popup: the Menu key and Shift+F10.
  const Qt::KeyboardModifiers held = event->modifiers() & ~Qt::KeypadModifier;
  if ((event->key() == Qt::Key_Menu && held == Qt::NoModifier) ||
      (event->key() == Qt::Key_F10 && held == Qt::ShiftModifier)) {
    event->accept();
    ShowPopupFromKeys();
    return;
  }
  const KeyCommand command =
      ApplyViewKey(frame.view, KeyOf(event->key()), ModifiersOf(event->modifiers()));
  RequestFrame();
  event->accept();
  if (command != KeyCommand::None && RefuseWhileBusy()) return;
  switch (command) {
    case KeyCommand::BumpsOnly:
      PreparePopup();
      if (showBumpsOnlyAction->isVisible()) ShowBumpsOnly();
      break;
    case KeyCommand::Reopen:
      ReopenLast();
      break;
    case KeyCommand::LocateTexture:
      PreparePopup();
      if (locateTextureAction->isVisible()) LocateTexture();
      break;
    case KeyCommand::Attachments:
      PreparePopup();
      if (showAttachmentsAction->isVisible()) ShowAttachments();
      break;
    case KeyCommand::None:
      break;
  }
}

}  // namespace kelvane
