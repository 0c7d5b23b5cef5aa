// The main window: start-up, input, frames, numbers, thumbnails, settings.
#include "main_window_test.h"

#include <QImageReader>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>

#include "shell/shell_rules.h"
#include "view/frame.h"
#include "viewer_fixture.h"
#include "viewer_main.h"

using namespace kelvane;
using namespace kelvane::testing;

void MainWindowTest::initTestCase() {
  // No simulator installation of this machine is looked at; drive Z: is /.
  qputenv("WINEPREFIX", QByteArray::fromStdString((scratch_ / "wine").string()));
  fs::create_directories(scratch_ / "wine" / "dosdevices");
  fs::create_directory_symlink("/", scratch_ / "wine" / "dosdevices" / "z:");
}

// "$mesh" is the sample wagon, "$windows" the same as the simulator's macro
// passes it (through the Wine drive, in another case).
void MainWindowTest::startOpens_data() {
  QTest::addColumn<QString>("lastFile");
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<bool>("loaded");
  QTest::addColumn<QString>("reopenItem");
  QTest::addColumn<bool>("traincarFilter");
  QTest::newRow("remembered mesh") << "$mesh" << QStringList() << false << "wagon.im" << false;
  QTest::newRow("remembered car") << "/x/config.txt" << QStringList() << false << "x" << true;
  QTest::newRow("mesh") << "" << QStringList{"$mesh"} << true << "wagon.im" << false;
  QTest::newRow("Windows path") << "" << QStringList{"$windows"} << true << "wagon.im" << false;
  QTest::newRow("two files") << "" << QStringList{"$mesh", "$mesh"} << false << "" << false;
  QTest::newRow("text file") << "$mesh" << QStringList{"a.txt"} << true << "wagon.im" << false;
}

void MainWindowTest::startOpens() {
  QFETCH(QString, lastFile);
  QFETCH(QStringList, arguments);
  QFETCH(bool, loaded);
  QFETCH(QString, reopenItem);
  QFETCH(bool, traincarFilter);
  Viewer v;
  std::string windows = "Z:" + (v.mesh.parent_path() / "WAGON.IM").string();
  std::replace(windows.begin(), windows.end(), '/', '\\');
  auto resolve = [&](const QString& s) {
    return s == "$mesh" ? v.mesh.string() : s == "$windows" ? windows : s.toStdString();
  };
  std::vector<std::string> args;
  for (const QString& a : arguments)
    args.push_back(resolve(a));
  MainWindow& w = v.Start(args, "[MRU]\nlastfile=" + resolve(lastFile) + "\n" + kSetUp);
  QCOMPARE(v.Loaded(), loaded);
  if (loaded) QVERIFY(fs::equivalent(w.Session().OpenedPath(), v.mesh));
  QCOMPARE(w.Ui().reopenAction->text().trimmed().toLower(), reopenItem);
  QCOMPARE(w.Filter() == OpenFilter::kTraincars, traincarFilter);
  QVERIFY(!w.Ui().hostSetUpTimer->isActive());
}

void MainWindowTest::meshOpensFramedAndArmsTheMouseLater() {
  Viewer v;
  MainWindow& w = v.Start({v.mesh.string()});
  QCOMPARE(w.Frame().view.Zoom, FramingZoom(w.Unit(), false));
  QVERIFY(w.windowTitle().contains("wagon.im") && w.Ui().statusLine->text().contains("wagon.im"));
  QVERIFY(!w.Frame().view.MouseReady);
  QVERIFY(QSignalSpy(w.Ui().mouseArmTimer, &QTimer::timeout).wait());
  QVERIFY(w.Frame().view.MouseReady);
  w.OpenFile();  // cancelled: the model turns as before
  QVERIFY(w.Frame().view.MouseReady);
}

void MainWindowTest::firstStartRunsOpenWithSetUpOnce() {
  Viewer v;
  const fs::path driveC = fs::path(qgetenv("WINEPREFIX").toStdString()) / "drive_c";
  fs::create_directories(driveC);
  v.Start({}, "");
  QStringList captions;
  QStringList starts;
  auto record = [&captions, &starts](const std::string& caption,
                                     const fs::path& start) -> std::optional<fs::path> {
    captions << QString::fromStdString(caption);
    starts << QString::fromStdString(start.string());
    return std::nullopt;
  };
  v.window->Interaction().browseFolder = record;
  QVERIFY(v.window->Ui().hostSetUpTimer->isActive());
  QTRY_COMPARE(v.window->Settings().corvelDir, std::string("NotFound"));
  QVERIFY(!v.window->Ui().logBox->isVisible());
  QCOMPARE(captions.size(), 3);
  for (const QString& caption : captions)  // one line each
    QVERIFY2(!caption.contains('\r') && !caption.contains('\n'), qPrintable(caption));
  // The dialogs start on the prefix's C: drive, where the hosts install.
  QCOMPARE(starts, QStringList(3, QString::fromStdString(driveC.string())));
  fs::remove(driveC);
  v.Close();

  // No Wine prefix at all: nothing to ask at start, but on request.
  const QByteArray prefix = qgetenv("WINEPREFIX");
  qputenv("WINEPREFIX", QByteArray::fromStdString((v.dir / "no-wine").string()));
  fs::remove(v.ini);
  v.Open({});
  QVERIFY(!v.window->Ui().hostSetUpTimer->isActive());
  captions.clear();
  v.window->Interaction().browseFolder = record;
  starts.clear();
  v.window->SetUpOpenWith();
  QCOMPARE(captions.size(), 3);
  QCOMPARE(starts, QStringList({"", "", ""}));  // no C: drive to start on
  qputenv("WINEPREFIX", prefix);
}

void MainWindowTest::popupAndLocateTextureFollowTheState() {
  Viewer v;
  MainWindow& w = v.Start({v.mesh.string()});
  QCOMPARE(ShownPopupItems(w),
           (QList<QAction*>{w.Ui().makeThumbnailAction, w.Ui().backgroundColourAction,
                            w.Ui().meshDataAction, w.Ui().showAxesAction, w.Ui().unitsAction,
                            w.Ui().showAttachmentsAction, w.Ui().locateTextureAction}));
  w.LocateTexture();
  QCOMPARE(ShownPopupItems(w),
           (QList<QAction*>{w.Ui().backgroundColourAction, w.Ui().locateTextureAction}));
  QVERIFY(w.Ui().nameBox->isVisible() && !w.TextureNames().empty());
  // The wagon's first object in name order has no texture.
  QCOMPARE(w.TextureNames().front(), std::string());
  QCOMPARE(w.Ui().nameBox->text(), QString("(no texture)"));
  QVERIFY(std::is_sorted(w.TextureNames().begin(), w.TextureNames().end()));
  w.LocateTexture();
  QVERIFY(!w.Ui().nameBox->isVisible());
}

// The bump view: shown where the driver can draw it, refused with the
// design's message where it cannot (gui.no_bump_support takes the DOT3
// extension away from the driver).
void MainWindowTest::bumpsOnlyNeedsTheCardsSupport() {
  const bool unsupported = qEnvironmentVariableIsSet("KELVANE_TEST_NO_BUMP");
  Viewer v;
  // The locomotive's body has a bump map.
  const auto sample = fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
  MainWindow& w = v.Start({(sample.locomotive / "body.im").string()});
  QVERIFY(w.Unit().AnyBumpLoaded);
  QCOMPARE(w.Frame().draw.bump.BumpSupported, !unsupported);
  w.ShowBumpsOnly();
  if (unsupported) {
    QCOMPARE(v.notifier.notices.size(), std::size_t{1});
    QCOMPARE(v.notifier.notices[0].caption, std::string("Info"));
    QCOMPARE(v.notifier.notices[0].text,
             std::string("Video card does not support OpenGL bump mapping"));
    QVERIFY(!w.Frame().draw.BumpsOnly);
  } else {
    QVERIFY(v.notifier.notices.empty());
    QVERIFY(w.Frame().draw.BumpsOnly && ShownPopupItems(w).contains(w.Ui().showBumpsOnlyAction));
  }
}

// The keypad flag is no modifier; T, W and Shift+T are commands or none.
void MainWindowTest::keysMatchModifiersExactly() {
  Viewer v;
  MainWindow& w = v.Start({v.mesh.string()});
  const Qt::KeyboardModifiers shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers held;
    ViewKey viewKey;
    KeyModifiers modifiers;
  } keys[] = {{Qt::Key_Up, shift, ViewKey::Up, KeyModifiers::ShiftOnly},
              {Qt::Key_Up, shift | ctrl, ViewKey::Up, KeyModifiers::Other},
              {Qt::Key_Left, ctrl, ViewKey::Left, KeyModifiers::CtrlOnly},
              {Qt::Key_Left, ctrl | Qt::KeypadModifier, ViewKey::Left, KeyModifiers::CtrlOnly},
              {Qt::Key_Left, Qt::AltModifier, ViewKey::Left, KeyModifiers::Other}};
  for (const auto& k : keys) {
    ViewState expected = w.Frame().view;
    ApplyViewKey(expected, k.viewKey, k.modifiers);
    QTest::keyClick(&w, k.key, k.held);
    QCOMPARE(Camera(w.Frame().view), Camera(expected));
  }
  QTest::keyClick(&w, Qt::Key_T);
  QVERIFY(w.Frame().modes.LocateTextureMode);
  QTest::keyClick(&w, Qt::Key_T, Qt::ShiftModifier);
  QVERIFY(w.Frame().modes.LocateTextureMode);
  QTest::keyClick(&w, Qt::Key_T);
  QVERIFY(!w.Frame().modes.LocateTextureMode);
  QTest::keyClick(&w, Qt::Key_W);
  QVERIFY(w.Frame().modes.ShowAttachments);
}

void MainWindowTest::clickOnTheViewTakesTheKeys() {
  Viewer v;
  MainWindow& w = v.Start({v.mesh.string()});
  w.ShowAttachments();
  QVERIFY(w.Ui().nameBox->isVisible());
  QTest::mouseClick(w.Ui().nameBox, Qt::LeftButton);
  QVERIFY(w.focusWidget() != w.Ui().nameBox);
  w.BumpEffect();
  QTest::mouseClick(w.Ui().bumpSlider, Qt::LeftButton);
  QCOMPARE(w.focusWidget(), w.Ui().bumpSlider);
  QTest::mouseClick(w.Ui().glView, Qt::LeftButton, {}, QPoint(40, 40));
  QCOMPARE(w.focusWidget(), w.Ui().glView);
  ViewState expected = w.Frame().view;
  ApplyViewKey(expected, ViewKey::Left, KeyModifiers::Other);
  QTest::keyClick(w.focusWidget(), Qt::Key_Left);
  QCOMPARE(Camera(w.Frame().view), Camera(expected));
  for (int delta : {120, -1200}) {
    ApplyWheel(expected, delta);
    QWheelEvent turn({5, 5}, w.statusBar()->mapToGlobal(QPointF(5, 5)), {}, {0, delta},
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.statusBar(), &turn);
    QCOMPARE(w.Frame().view.Zoom, expected.Zoom);
  }
}

// A remembered black background shows the start-up grey.
void MainWindowTest::framesComeInBurstsAndOnlyAfterALoad() {
  Viewer v;
  MainWindow& w = v.Start({}, "[Options]\nBGroundColour=0\n" + kSetUp);
  w.resize(500, 400);
  w.Ui().glView->repaint();
  QCOMPARE(w.Ui().glView->FrameCount(), 0);
  QSignalSpy burstEnds(w.Ui().burstEndTimer, &QTimer::timeout);
  w.OpenPath(v.mesh);
  QVERIFY(burstEnds.wait());
  QVERIFY(!w.Frame().view.RedrawPending);
  const int frames = w.Ui().glView->FrameCount();
  QVERIFY(frames > 1);
  w.Ui().glView->repaint();
  QCOMPARE(w.Ui().glView->FrameCount(), frames);
  QTest::keyClick(&w, Qt::Key_Left);
  QTRY_VERIFY(w.Ui().glView->FrameCount() > frames);
  QVERIFY(Near(w.Ui().glView->grabFramebuffer().pixelColor(2, 2), QColor(128, 128, 140), 1));
  QVERIFY(w.Ui().glView->format().depthBufferSize() >= 24);
}

// Run under de_DE.UTF-8 by gui.decimal_comma too.
void MainWindowTest::numbersUseAPointWhateverTheLocale() {
  if (qEnvironmentVariableIsSet("KELVANE_TEST_DECIMAL_COMMA")) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 1.5);
    QCOMPARE(QString(text), QString("1,5"));  // the locale is in force
  }
  Viewer v;
  // Gauge "Other" in metres: 1.217 between the rails' centres.
  const fs::path box = WriteMeasuredBox(v.dir.path(), {-125.0f, -1.5f, 0.0f},
                                        {125.0f, 2.25f, 1.167f}, {1.167f, 0, 0});
  MainWindow& w =
      v.Start({box.string()}, "[Track]\nGaugeIndex=8\nUnitsIndex=1\nGauge=1.217\n" + kSetUp);
  QCOMPARE(w.Settings().gauge, 1.217f);
  QList<bool> red;
  QCOMPARE(MeshDataTexts(w, &red),
           QStringList({"-125.000", "-1.500", "0.000", "125.000", "2.250", "1.167", "250.000",
                        "3.750", "1.167", QString::number(w.CurrentModel()->FaceCount())}));
  QCOMPARE(red, QList<bool>({true, false, false, true, false, false, false, false, false}));
  w.ShowAttachments();
  QVERIFY2(w.Ui().positionBox->text().contains(" 1.167,"), qPrintable(w.Ui().positionBox->text()));
  QString shown;
  w.Interaction().execDialog = [&shown](QDialog& dialog) {
    shown = qobject_cast<AdjustTrackDialog*>(&dialog)->metricBox->text();
    return 1;
  };
  w.AdjustTrack();
  QCOMPARE(v.notifier.notices.at(0).text, std::string("1.167"));
  QCOMPARE(shown, QString("1.167"));
  v.Close();
  QVERIFY(ReadText(v.ini).find("Gauge=1.217") != std::string::npos);
}

void MainWindowTest::thumbnailIsTheViewAtThumbnailSize() {
  Viewer v;
  MainWindow& w = v.Start({v.mesh.string()}, "[Options]\nBGroundColour=0x336699\n" + kSetUp);
  w.resize(700, 520);
  QTRY_VERIFY(w.Frame().view.MouseReady);
  const QSize before = w.size();
  const int burst = w.Ui().burstEndTimer->interval();
  // Tilted down: the ruler's labels above, the model below.
  for (int i = 0; i < 10; ++i)
    QTest::keyClick(&w, Qt::Key_Down);
  QCOMPARE(w.Frame().view.RotX, 20.0f);
  v.notifier.answers = {true};
  w.MakeThumbnail();
  const fs::path jpeg = v.mesh.parent_path() / w.Settings().thumbnail;
  QTRY_VERIFY(fs::exists(jpeg));
  QCOMPARE(QImageReader(QString::fromStdString(jpeg.string())).format(), QByteArray("jpeg"));
  const QImage thumbnail = w.LastThumbnail(), written(QString::fromStdString(jpeg.string()));
  QCOMPARE(written.size(), QSize(240, 180));
  QCOMPARE(w.size(), before);
  QCOMPARE(w.Ui().burstEndTimer->interval(), burst);
  QVERIFY(!w.Ui().thumbnailImage->isVisible());
  const QColor background(0x99, 0x66, 0x33);
  QVERIFY(Near(written.pixelColor(3, 3), background, 6));
  QVERIFY(!Near(thumbnail.pixelColor(120, 120), background, 30));

  w.resize(w.size() - w.Ui().glView->size() + thumbnail.size());
  QTRY_COMPARE(w.Ui().glView->size(), thumbnail.size());
  QVERIFY(NextFrame(w));
  const QImage view = w.Ui().glView->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
  const int off = PixelsOff(
      view, [&](int x, int y) { return thumbnail.pixelColor(x, y); }, 8);
  QVERIFY2(off < view.width() * view.height() / 100, qPrintable(QString::number(off)));

  fs::remove(jpeg);
  w.MakeThumbnail();
  QTRY_COMPARE(v.notifier.questions.size(), std::size_t{2});
  QVERIFY(!fs::exists(jpeg));
  w.Interaction().execDialog = [](QDialog& dialog) {
    qobject_cast<ThumbnailNameDialog*>(&dialog)->edit->setText("missing/x.jpg");
    dialog.findChild<QPushButton*>("Accept")->click();
    return 1;
  };
  w.ThumbnailName();
  v.notifier.answers = {true};
  w.MakeThumbnail();
  QTRY_COMPARE(v.notifier.notices.size(), std::size_t{1});
  QVERIFY(v.notifier.notices[0].text.find("missing/x.jpg") != std::string::npos);
  QVERIFY(v.Loaded());
  QCOMPARE(w.Ui().burstEndTimer->interval(), burst);
}

void MainWindowTest::settingsAndThumbnailNameLastOverRestarts() {
  Viewer v;
  MainWindow& w = v.Start({});
  const ViewerSettings first = w.Settings();
  w.SwitchUnits();
  w.ShowAxes();
  w.Ui().bumpSlider->setValue(w.Ui().bumpSlider->value() + 3);
  const float strength = w.Frame().draw.BumpStrength;
  for (const char* button : {"Accept", "Cancel"}) {
    w.Interaction().execDialog = [button](QDialog& dialog) {
      qobject_cast<ThumbnailNameDialog*>(&dialog)->edit->setText(button);
      dialog.findChild<QPushButton*>(button)->click();
      return dialog.result();
    };
    w.ThumbnailName();
  }
  QCOMPARE(w.Settings().thumbnail, ThumbnailFileName("Accept"));
  v.Close();
  v.Open({});
  QCOMPARE(v.window->Ui().unitsAction->text(), QString(UnitsCaption(!first.metric)));
  QCOMPARE(v.window->Ui().showAxesAction->isChecked(), !first.showAxes);
  QCOMPARE(v.window->Frame().draw.BumpStrength, strength);
  QCOMPARE(v.window->Settings().thumbnail, ThumbnailFileName("Accept"));
  v.Close();
  // Settings that cannot be read are said so once and never overwritten.
  const std::string garbage("[MRU]\nlastfile=x\0y\n", 19);
  WriteText(v.ini, garbage);
  v.Open({});
  QVERIFY(v.window->SettingsUnreadable());
  v.Close();
  QCOMPARE(v.notifier.notices.size(), std::size_t{1});
  QCOMPARE(ReadText(v.ini), garbage);
}

void MainWindowTest::desktopShortcutsHelpAndIcon() {
  Viewer v;
  MainWindow& w = v.Start({});
  w.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&w));
  int chosen = 0;
  w.Interaction().chooseFile = [&chosen](const QString&, OpenFilter) {
    ++chosen;
    return std::nullopt;
  };
  QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
  QCOMPARE(chosen, 1);
  QTest::keyClick(&w, Qt::Key_F1);
  QVERIFY(v.urlsOpened.empty());
  const fs::path page = v.dir / "bin" / "help" / "kelvane.html";
  fs::create_directories(page.parent_path());
  WriteText(page, "<html></html>");
  QTest::keyClick(&w, Qt::Key_F1);
  QCOMPARE(v.urlsOpened, std::vector<std::string>{page.string()});
  w.Interaction().openUrl = [](const QUrl&) { return false; };
  w.Help();
  QVERIFY(v.notifier.notices.at(0).text.find(page.string()) != std::string::npos);
  QVERIFY(!w.windowIcon().isNull());
  const auto* aboutIcon = w.Ui().aboutBox->findChild<QLabel*>("AppIcon");
  QVERIFY(aboutIcon && !aboutIcon->pixmap().isNull());
  QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
  QVERIFY(!w.isVisible());
}

int main(int argc, char** argv) {
  QSurfaceFormat::setDefaultFormat(ViewSurfaceFormat());
  QApplication app(argc, argv);
  MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}
