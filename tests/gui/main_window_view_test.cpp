// The main window as a user meets it: the picture after each command, the
// background, the first window, the keyboard's ways in and the texts shown.
#include <QContextMenuEvent>
#include <QCursor>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>

#include "main_window_test.h"
#include "shell/shell_rules.h"
#include "shell/track_gauges.h"
#include "view/frame.h"
#include "viewer_fixture.h"
#include "windows/textures_dialog.h"

using namespace kelvane;
using namespace kelvane::testing;

namespace {

// The view once its render burst is over: nothing more is drawn until
// something asks for a frame.
bool Settled(MainWindow& w) {
  return QTest::qWaitFor(
      [&w] { return !w.Frame().view.RedrawPending && !w.Ui().burstEndTimer->isActive(); }, 5000);
}

// A frame drawn since `before` frames, with no input in between.
bool DrawnSince(MainWindow& w, int before) {
  return QTest::qWaitFor([&w, before] { return w.Ui().glView->FrameCount() > before; }, 3000);
}

QImage Picture(MainWindow& w) {
  return w.Ui().glView->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
}

// The view's centre, where a background shows around a small model.
QColor Corner(const QImage& picture) {
  return picture.pixelColor(2, 2);
}

}  // namespace

// Each command that changes what the picture shows draws it at once: the
// frame after it differs from the one before, without any other input.
void MainWindowTest::commandsRedrawAtOnce() {
  Viewer v;
  const auto sample = fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
  const fs::path body = sample.locomotive / "body.im";
  struct Row {
    const char* command;
    fs::path open;
    std::function<void(MainWindow&)> before;  // brings the view to where the command acts
    std::function<void(MainWindow&)> run;
  };
  const Row rows[] = {
      {"Show Axes", v.mesh, nullptr, [](MainWindow& w) { w.ShowAxes(); }},
      {"units item", v.mesh, nullptr, [](MainWindow& w) { w.SwitchUnits(); }},
      {"B-ground Colour", v.mesh, nullptr,
       [](MainWindow& w) {
         w.Interaction().chooseColour = [](const QColor&) { return QColor(200, 30, 30); };
         w.ChooseBackgroundColour();
       }},
      {"bump slider", body,
       [](MainWindow& w) {
         // Turned 60 degrees, as a traincar first shows, to the side with the bumped panel.
         for (int i = 0; i < 30; ++i)
           QTest::keyClick(&w, Qt::Key_Left);
       },
       [](MainWindow& w) { w.Ui().bumpSlider->setValue(0); }},
      {"attachment stepper", v.mesh, [](MainWindow& w) { w.ShowAttachments(); },
       [](MainWindow& w) { w.Ui().stepper->upButton->click(); }},
      {"Adjust Track closed", sample.locomotive, nullptr,
       [](MainWindow& w) {
         w.Interaction().execDialog = [](QDialog& dialog) {
           qobject_cast<AdjustTrackDialog*>(&dialog)->gaugeCombo->setCurrentIndex(
               kNoTrackGaugeIndex);
           return 1;
         };
         w.AdjustTrack();
       }},
  };
  for (const Row& row : rows) {
    MainWindow& w = v.Start({row.open.string()});
    QVERIFY2(v.Loaded(), row.command);
    w.resize(640, 480);
    if (row.before) row.before(w);
    QVERIFY2(NextFrame(w), row.command);
    QVERIFY2(Settled(w), qPrintable(QString("the render burst's end before ") + row.command));
    const QImage before = Picture(w);
    const int frames = w.Ui().glView->FrameCount();
    row.run(w);
    QVERIFY2(DrawnSince(w, frames), qPrintable(QString("a frame drawn after ") + row.command));
    QVERIFY2(Picture(w) != before, row.command);
    v.Close();
  }
}

// The background shows with nothing open, after a load that fails, and as
// picked, black included, also after a restart.
void MainWindowTest::backgroundShowsAsPicked() {
  Viewer v;
  const QColor blue(39, 116, 152);
  MainWindow& w = v.Start({}, kSetUp);
  QVERIFY(QTest::qWaitFor([&w] { return w.Ui().glView->ContextReady(); }, 3000));
  QVERIFY2(Near(Corner(Picture(w)), blue, 2), "the background with nothing open");
  QCOMPARE(w.Ui().glView->FrameCount(), 0);
  const fs::path broken = v.dir / "broken.im";
  WriteText(broken, "not a mesh");
  w.OpenPath(broken);
  QVERIFY(!v.Loaded());
  QVERIFY2(Near(Corner(Picture(w)), blue, 2), "the background after a load that failed");

  w.Interaction().chooseColour = [](const QColor&) { return QColor(Qt::black); };
  w.ChooseBackgroundColour();
  QVERIFY2(Near(Corner(Picture(w)), Qt::black, 0), "a picked black with nothing open");
  w.OpenPath(v.mesh);
  QVERIFY(NextFrame(w));
  QVERIFY2(Near(Corner(Picture(w)), Qt::black, 0), "a picked black behind a mesh");
  v.Close();
  v.Open({v.mesh.string()});
  QVERIFY(NextFrame(*v.window));
  QVERIFY2(Near(Corner(Picture(*v.window)), Qt::black, 0), "a picked black after a restart");
  v.Close();

  // A file written before black could be picked: 0 is the start-up grey.
  v.Start({v.mesh.string()}, "[Options]\nBGroundColour=0\n" + kSetUp);
  QVERIFY(NextFrame(*v.window));
  QVERIFY(Near(Corner(Picture(*v.window)), QColor(128, 128, 140), 1));
}

// No settings file: a window that shows every control, placed by the
// window manager. Closed maximised, it comes back maximised and keeps the
// size to return to. Run framed by gui.main_window_framed too.
void MainWindowTest::firstWindowAndMaximisedState() {
  Viewer v;
  const bool framed = qEnvironmentVariableIsSet("KELVANE_TEST_WINDOW_MANAGER");
  v.Start({v.mesh.string()}, "");
  MainWindow& w = *v.window;
  const QSize area = w.screen()->availableGeometry().size();
  const WindowSize first = FirstWindowSize(area.width(), area.height());
  QCOMPARE(w.size(), QSize(first.width, first.height));
  w.ShowAttachments();
  const QRect client = w.centralWidget()->rect();
  for (QWidget* box :
       {static_cast<QWidget*>(w.Ui().nameBox), static_cast<QWidget*>(w.Ui().stepper),
        static_cast<QWidget*>(w.Ui().positionBox), static_cast<QWidget*>(w.Ui().rotationBox)}) {
    QVERIFY2(box->isVisible() && client.contains(box->geometry()), qPrintable(box->objectName()));
  }
  QVERIFY(w.Ui().statusLine->isVisible());
  v.Close();
  const ViewerSettings saved = SavedSettings(v.ini);
  QCOMPARE(QSize(saved.width, saved.height), QSize(first.width, first.height));
  QVERIFY(!saved.maximised);

  // A saved size is used as it is.
  WriteText(v.ini, "[Position]\nTop=60\nLeft=70\nWidth=500\nHeight=400\n" + kSetUp);
  v.Open({});
  QCOMPARE(v.window->size(), QSize(500, 400));
  v.window->showMaximized();
  QVERIFY2(QTest::qWaitFor([&v] { return v.window->isMaximized(); }, 5000), "maximised");
  if (framed) {
    QVERIFY2(QTest::qWaitFor([&v] { return v.window->width() > 500; }, 5000),
             "the window manager's maximised size");
  }
  v.Close();
  QVERIFY(SavedSettings(v.ini).maximised);
  QCOMPARE(SavedSettings(v.ini).width, 500);
  QCOMPARE(SavedSettings(v.ini).height, 400);
  v.Open({});
  QVERIFY(v.window->isMaximized());
  QCOMPARE(v.window->normalGeometry().size(), QSize(500, 400));
  v.window->showNormal();
  QVERIFY2(QTest::qWaitFor([&v] { return !v.window->isMaximized(); }, 5000), "un-maximised");
  QVERIFY2(QTest::qWaitFor([&v] { return v.window->size() == QSize(500, 400); }, 5000),
           "the size before maximising");
}

// Where a thumbnail and an exported picture go, and what the status says.
void MainWindowTest::thumbnailAndExportSayWhere() {
  Viewer v;
  MainWindow& w = v.Start({v.mesh.string()});
  const fs::path folder = v.mesh.parent_path();
  v.notifier.answers = {true};
  w.MakeThumbnail();
  QVERIFY2(QTest::qWaitFor([&] { return v.notifier.questions.size() == 1; }, 5000),
           "the thumbnail question");
  QCOMPARE(v.notifier.questions[0].text,
           "Do you wish to save this \"$screenshot$.jpg\" thumbnail?\n\n"
           "It will be written into the folder:\n" +
               folder.string());
  const QString written = QString::fromStdString((folder / "$screenshot$.jpg").string());
  QCOMPARE(w.Ui().statusLine->text(), "Thumbnail written: " + written);
  QCOMPARE(w.Ui().statusLine->toolTip(), w.Ui().statusLine->text());

  // Export PNG offers the texture's folder and name; a bare name gets ".png".
  fs::path offered;
  w.Interaction().chooseSaveFile = [&](const QString&, const fs::path& suggested, const QString&) {
    offered = suggested;
    return std::optional(v.dir / "roof copy");
  };
  w.Interaction().execDialog = [](QDialog& dialog) {
    auto* d = qobject_cast<TexturesDialog*>(&dialog);
    d->SelectRow(1);
    d->exportButton->click();
    return 1;
  };
  w.Textures();
  QCOMPARE(offered, folder / "roof.png");
  QCOMPARE(QImage(QString::fromStdString((v.dir / "roof copy.png").string())).size(),
           QSize(64, 64));

  // A long message is cut in the line but whole in its tooltip, and does
  // not widen the window.
  const QSize size = w.size();
  const fs::path deep = v.dir / std::string(300, 'd') / "missing.im";
  w.OpenPath(deep);
  QVERIFY(w.Ui().statusLine->toolTip().contains(QString::fromStdString(deep.string())));
  QCOMPARE(w.size(), size);
}

// Objects without a texture are named as such while locating textures.
void MainWindowTest::locateTextureNamesUntexturedObjects() {
  Viewer v;
  fixtures::MeshWriter writer;
  writer.Material({.name = "plain"}, fixtures::Box("plain", {0, 0, 0}, {1, 1, 1}));
  writer.Material({.name = "painted", .textures = {{1, "frame.jpg", 0.0f}}},
                  fixtures::Box("painted", {2, 0, 0}, {1, 1, 1}));
  const fs::path mesh = v.mesh.parent_path() / "two.im";
  fixtures::WriteFile(mesh, writer.Finish());
  MainWindow& w = v.Start({mesh.string()});
  w.LocateTexture();
  QCOMPARE(w.Ui().nameBox->text(), QString("(no texture)"));
  QCOMPARE(w.Frame().draw.HighlightTextureName, std::string());
  w.StepAttachment(true);
  QCOMPARE(w.Ui().nameBox->text(), QString("frame.jpg"));
  w.StepAttachment(false);
  QCOMPARE(w.Ui().nameBox->text(), QString("(no texture)"));
}

// The popup opens from the keyboard at the view's centre; the menu bar's
// menus open with Alt and their letter.
void MainWindowTest::keyboardOpensThePopupAndMenus() {
  Viewer v;
  // The headlight, the last part, is nowhere: the lookup's log stays over the view.
  const auto sample = fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
  fs::remove_all(sample.editing / "headlight");
  MainWindow& w = v.Start({sample.locomotive.string()});
  w.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&w));
  QVERIFY(v.Loaded());
  QVERIFY2(w.Ui().logBox->isVisible(), "the lookup's log after a part was not found");
  // The user clicks into it, to read or copy, with the pointer left there.
  QTest::mouseClick(w.Ui().logBox->viewport(), Qt::LeftButton);
  QCursor::setPos(w.Ui().logBox->mapToGlobal(QPoint(4, 4)));
  QMenu* popup = w.Ui().popupMenu;
  const QPoint centre = w.Ui().glView->mapToGlobal(w.Ui().glView->rect().center());
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers held;
  } keys[] = {{Qt::Key_Menu, Qt::NoModifier}, {Qt::Key_F10, Qt::ShiftModifier}};
  for (const auto& k : keys) {
    // Wherever the keys are: no control keeps them for a menu of its own.
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &w;
    // A control's own menu runs modally: close it, so the test fails rather than waits.
    QString foreign;
    const auto closeForeignMenus = [popup, &foreign] {
      for (QWidget* shown : QApplication::topLevelWidgets()) {
        if (shown != popup && qobject_cast<QMenu*>(shown) && shown->isVisible()) {
          QObject* owner = shown->parent();
          while (owner && owner->objectName().isEmpty())
            owner = owner->parent();
          foreign = owner ? owner->objectName() : QString("?");
          shown->close();
        }
      }
    };
    QTimer closer;
    closer.setSingleShot(true);
    QObject::connect(&closer, &QTimer::timeout, closeForeignMenus);
    closer.start(1000);
    if (k.key == Qt::Key_Menu) {
      // The X platform sends the Menu key first as a context menu event for
      // the control that has the keyboard, at the pointer.
      const QPoint at = QCursor::pos();
      QContextMenuEvent asked(QContextMenuEvent::Keyboard, w.mapFromGlobal(at), at);
      QApplication::sendEvent(w.windowHandle(), &asked);
    }
    QTest::keyClick(target, k.key, k.held);
    const bool opened = QTest::qWaitFor([popup] { return popup->isVisible(); }, 3000);
    closeForeignMenus();
    QVERIFY2(foreign.isEmpty(), qPrintable("a menu of " + foreign + " instead of the view's"));
    QVERIFY2(opened,
             qPrintable(QString("the popup, keys at ") + target->metaObject()->className()));
    QVERIFY2((popup->pos() - centre).manhattanLength() < 40,
             qPrintable(QString("at %1,%2").arg(popup->pos().x()).arg(popup->pos().y())));
    popup->close();
  }
  QTest::keyClick(&w, Qt::Key_F10);
  QVERIFY2(!popup->isVisible(), "F10 alone is no popup key");

  const struct {
    Qt::Key letter;
    const char* menu;
  } menus[] = {
      {Qt::Key_F, "File"}, {Qt::Key_O, "Options"}, {Qt::Key_S, "Setup"}, {Qt::Key_H, "Help"}};
  for (const auto& m : menus) {
    QMenu* menu = nullptr;
    for (QAction* a : w.menuBar()->actions())
      if (a->text().remove('&') == m.menu) menu = a->menu();
    QVERIFY2(menu, m.menu);
    QTest::keyClick(&w, m.letter, Qt::AltModifier);
    QVERIFY2(QTest::qWaitFor([menu] { return menu->isVisible(); }, 3000), m.menu);
    menu->close();
    QTest::keyClick(&w, Qt::Key_Escape);
  }
}

// "config.txt" given alone, in the traincar's folder, opens that traincar
// and is remembered where it is.
void MainWindowTest::bareConfigFileOpensItsFolder() {
  Viewer v;
  const auto sample = fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
  const QString before = QDir::currentPath();
  QVERIFY(QDir::setCurrent(QString::fromStdString(sample.locomotive.string())));
  MainWindow& w = v.Start({"config.txt"});
  QVERIFY(QDir::setCurrent(before));
  QVERIFY(IsTraincar(w) && v.Loaded());
  QCOMPARE(w.Session().Scene()->ModelCount(), std::size_t{7});
  QCOMPARE(w.CurrentFile(), (sample.locomotive / "config.txt").string());
}

// Texts compared whole, and a traincar's first view: turned by 60 degrees,
// framed on its first mesh.
void MainWindowTest::textsAndTheFirstView() {
  Viewer v;
  const auto sample = fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
  MainWindow& w = v.Start({(sample.locomotive / "body.im").string()});
  QCOMPARE(w.windowTitle(), QString("Mesh body.im     Rotate and zoom with the mouse please."));
  const float bodyZoom = w.Frame().view.Zoom;
  QCOMPARE(w.Frame().view.RotY, 0.0f);
  w.OpenPath(sample.locomotive);
  QCOMPARE(w.windowTitle(),
           QString("TrainCar \"Class 7 electric\"     Rotate and zoom with the mouse please."));
  QCOMPARE(w.Frame().view.RotY, 60.0f);
  QCOMPARE(w.Frame().view.Zoom, bodyZoom);

  const QStringList units{w.Ui().unitsAction->text()};
  w.SwitchUnits();
  QCOMPARE(units + QStringList{w.Ui().unitsAction->text()},
           QStringList({"    Units feet", "    Units metres"}));

  v.Close();
  v.Start({}, "[MRU]\nlastfile=" + (v.dir / "gone.im").string() + "\n" + kSetUp);
  v.window->ReopenLast();
  QCOMPARE(v.notifier.notices.size(), std::size_t{1});
  QCOMPARE(v.notifier.notices[0].caption, std::string("Info"));
  QCOMPARE(v.notifier.notices[0].text, std::string("File not found"));
}
