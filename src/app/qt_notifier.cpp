#include "qt_notifier.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace kelvane {

namespace {

// The core writes line breaks as carriage returns.
QString Lines(const std::string& text) {
  QString out = QString::fromStdString(text);
  out.replace("\r\n", "\n");
  out.replace('\r', '\n');
  return out;
}

// A box over an open dialog belongs to that dialog, so that the window
// manager stacks and focuses it with the dialog rather than with the window
// the dialog blocks.
QWidget* ParentFor(QWidget* owner) {
  QWidget* modal = QApplication::activeModalWidget();
  return modal ? modal : owner;
}

// A box opened while a file loads comes up among the window's own events;
// once on screen it asks for the keys, so that they do not go on to the
// window it blocks.
int Run(QMessageBox& box) {
  QTimer::singleShot(0, &box, [&box] {
    box.raise();
    box.activateWindow();
  });
  return box.exec();
}

}  // namespace

void QtNotifier::ShowMessage(const Notice& notice) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(notice.caption), Lines(notice.text),
                  QMessageBox::Ok, ParentFor(owner_));
  Run(box);
}

bool QtNotifier::AskYesNo(const Notice& question) {
  QMessageBox box(QMessageBox::Question, QString::fromStdString(question.caption),
                  Lines(question.text), QMessageBox::Yes | QMessageBox::No, ParentFor(owner_));
  return Run(box) == QMessageBox::Yes;
}

void QtNotifier::Beep() {
  QApplication::beep();
}

}  // namespace kelvane
