#include "qt_notifier.h"

#include <QApplication>
#include <QMessageBox>

namespace kelvane {

namespace {

// The core writes line breaks as carriage returns.
QString Lines(const std::string& text) {
  QString out = QString::fromStdString(text);
  out.replace("\r\n", "\n");
  out.replace('\r', '\n');
  return out;
}

}  // namespace

void QtNotifier::ShowMessage(const Notice& notice) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(notice.caption), Lines(notice.text),
                  QMessageBox::Ok, owner_);
  box.exec();
}

bool QtNotifier::AskYesNo(const Notice& question) {
  QMessageBox box(QMessageBox::Question, QString::fromStdString(question.caption),
                  Lines(question.text), QMessageBox::Yes | QMessageBox::No, owner_);
  return box.exec() == QMessageBox::Yes;
}

void QtNotifier::Beep() {
  QApplication::beep();
}

}  // namespace kelvane
