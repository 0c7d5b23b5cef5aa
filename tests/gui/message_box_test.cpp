// The viewer's message boxes under a window manager: whatever is on screen
// when a box opens, the box gets the keys.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include "main_window_test.h"
#include "qt_notifier.h"

using namespace kelvane;

void MainWindowTest::messageBoxesTakeTheKeyboard_data() {
  QTest::addColumn<QString>("moment");
  QTest::newRow("as the window appears") << "appears";
  QTest::newRow("as a dialog closes") << "dialog closed";
  QTest::newRow("over an open dialog") << "dialog open";
}

// Also run under a window manager by gui.main_window_framed.
void MainWindowTest::messageBoxesTakeTheKeyboard() {
  QFETCH(QString, moment);
  if (!qEnvironmentVariableIsSet("KELVANE_TEST_WINDOW_MANAGER"))
    QSKIP("focus is the window manager's; see gui.main_window_framed");
  QWidget owner;
  owner.resize(400, 300);
  QtNotifier notifier;
  notifier.SetOwner(&owner);
  QDialog dialog(&owner);
  dialog.resize(200, 100);

  // While the box is up: did it become the window with the keys before the
  // deadline? The box is closed either way.
  constexpr int kDeadlineMs = 10000;
  bool boxHadKeys = false;
  QString hadKeys = "nothing";
  QElapsedTimer clock;
  QTimer poll;
  poll.setInterval(20);
  connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    const QWindow* focus = QGuiApplication::focusWindow();
    hadKeys = focus ? focus->title() : "nothing";
    boxHadKeys = focus && focus == box->windowHandle();
    if (boxHadKeys || clock.elapsed() > kDeadlineMs) box->done(0);
  });

  owner.show();
  if (moment != "appears") QVERIFY(QTest::qWaitForWindowActive(&owner));
  if (moment == "dialog closed") {
    QTimer::singleShot(100, &dialog, &QDialog::accept);
    dialog.exec();
  } else if (moment == "dialog open") {
    dialog.open();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
  }
  clock.start();
  poll.start();
  notifier.ShowMessage({.caption = "Info", .text = "A box"});
  QVERIFY2(boxHadKeys,
           qPrintable("the box did not get the keys within 10 s; " + hadKeys + " had them"));
}
