// The main window driven as a user would, with a temporary settings file.
#include <dlfcn.h>
#include <link.h>

#include <QDialog>
#include <QImage>
#include <QImageReader>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QWheelEvent>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>

#include "fixtures/asset_writer.h"
#include "fixtures/sample_assets.h"
#include "fixtures/texture_writer.h"
#include "platform/notices.h"
#include "shell/shell_rules.h"
#include "support/temp_dir.h"
#include "viewer_main.h"
#include "windows/main_window.h"
#include "windows/textures_dialog.h"

using kelvane::TForm1;
namespace fs = std::filesystem;

namespace {

// Host folders already set up, so no first-run set-up starts.
const char* kSetUp = "[Paths]\nCorvel_dir=NotFound\nDunmere_dir=NotFound\nEstrel_dir=NotFound\n";

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteText(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary);
  out << text;
}

// Keeps the GL driver that Xvfb's contexts loaded in the process until its
// end. Otherwise it is unloaded when the X connection closes, and the
// sanitizer's leak report at exit could no longer tell the driver's own
// allocations, which it keeps for the process's life, from ours.
void PinGraphicsDrivers() {
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void*) {
        const std::string_view name = info->dlpi_name ? info->dlpi_name : "";
        if (name.find("/dri/") != std::string_view::npos)
          dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
        return 0;
      },
      nullptr);
}

struct Viewer {
  kelvane::testing::TempDir dir;
  kelvane::RecordingNotifier notifier;
  std::unique_ptr<TForm1> window;
  fs::path mesh;
  fs::path ini;
  std::vector<std::string> urlsOpened;

  Viewer() {
    kelvane::fixtures::WriteSampleAssets(dir.path() / "assets");
    mesh = dir.path() / "assets" / "wagon" / "wagon.im";
    ini = dir.path() / "kelvane.ini";
  }

  void Start(const std::vector<std::string>& arguments, const std::string& settingsText) {
    if (!settingsText.empty()) WriteText(ini, settingsText);
    Open(arguments);
  }

  void Open(const std::vector<std::string>& arguments, bool waitUntilShown = true) {
    kelvane::WindowOptions options;
    options.settingsFile = ini;
    options.arguments = arguments;
    options.exeFolder = dir.path() / "bin";
    options.executable = dir.path() / "bin" / "kelvane";
    window = std::make_unique<TForm1>(options, notifier);
    window->interaction.chooseFile = [](const QString&, int) { return std::nullopt; };
    window->interaction.chooseColour = [](const QColor&) { return std::nullopt; };
    window->interaction.execDialog = [](QDialog&) { return 0; };
    window->interaction.browseFolder = [](const std::string&) { return std::nullopt; };
    window->interaction.pause = [](std::chrono::milliseconds) {};
    window->interaction.openUrl = [this](const QUrl& url) {
      urlsOpened.push_back(url.toLocalFile().toStdString());
      return true;
    };
    window->show();
    if (!waitUntilShown) return;
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    PinGraphicsDrivers();
    // What the window does once it is shown has been done.
    QCoreApplication::processEvents();
  }

  void Close() {
    window->close();
    window.reset();
  }

  bool Loaded() const { return window->train.ModelLoaded; }
};

// Waits until the view has drawn a frame after this call.
bool NextFrame(TForm1& w) {
  const int before = w.GLView->FrameCount();
  w.view.RedrawPending = true;
  w.GLView->update();
  return QTest::qWaitFor([&w, before] { return w.GLView->FrameCount() > before; }, 3000);
}

// True while some process runs with `text` in its command line.
bool ProcessRunsWith(const std::string& text) {
  std::error_code ec;
  for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
    std::string line = ReadText(it->path() / "cmdline");
    std::replace(line.begin(), line.end(), '\0', ' ');
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

// A window manager's frame lies around the window.
bool FrameKnown(const QWidget& window) {
  return window.frameGeometry().top() < window.geometry().top();
}

kelvane::ViewerSettings SavedSettings(const fs::path& ini) {
  return kelvane::ReadSettings(kelvane::TMemIni(ini));
}

bool Near(const QColor& c, int r, int g, int b, int tolerance) {
  return std::abs(c.red() - r) <= tolerance && std::abs(c.green() - g) <= tolerance &&
         std::abs(c.blue() - b) <= tolerance;
}

// Share of pixels that are mostly green, as the ground under a traincar is.
double GreenShare(const QImage& picture) {
  int green = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) {
      const QColor c = picture.pixelColor(x, y);
      if (c.green() > c.red() + 40 && c.green() > c.blue() + 40) ++green;
    }
  return static_cast<double>(green) / (picture.width() * picture.height());
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // No simulator installation of this machine is looked at.
    qputenv("WINEPREFIX", QByteArray::fromStdString((scratch_.path() / "wine").string()));
  }

  void startWithRememberedFileOffersItOnly() {
    Viewer v;
    v.Start({}, "[MRU]\nlastfile=" + v.mesh.string() + "\n" + kSetUp);
    QVERIFY(!v.Loaded());
    QCOMPARE(v.window->Open2->text(), QString("  wagon.im"));
    QCOMPARE(v.window->CurrentFile, v.mesh.string());
    QCOMPARE(v.window->OpenDialogFilterIndex, 1);
    QVERIFY(!v.window->Timer4.isActive());
    v.Close();

    Viewer traincar;
    traincar.Start({}, "[MRU]\nlastfile=/x/loco/config.txt\n" + std::string(kSetUp));
    QCOMPARE(traincar.window->OpenDialogFilterIndex, 2);
    QCOMPARE(traincar.window->Open2->text(), QString("  config.txt"));
  }

  void startWithMeshOpensAndFramesIt() {
    Viewer v;
    v.Start({v.mesh.string()}, kSetUp);
    QVERIFY(v.Loaded());
    QCOMPARE(v.window->windowTitle(),
             QString("Mesh wagon.im     Rotate and zoom with the mouse please."));
    const float extent = kelvane::LargestExtent(v.window->unit, false);
    QVERIFY(extent > 0.0f);
    QCOMPARE(v.window->view.Zoom, 20.0f / std::sqrt(extent));
    QVERIFY(v.window->StatusLine->text().contains("wagon.im"));
    // Dragging is armed half a second after the load, not at once.
    QVERIFY(!v.window->view.MouseReady);
    QTRY_VERIFY_WITH_TIMEOUT(v.window->view.MouseReady, 2000);
    // A cancelled Open leaves the model turning as before.
    v.window->Open1Click();
    QVERIFY(v.window->view.MouseReady);
  }

  // The simulator's macro passes a Windows path: its backslashes and its
  // drive are taken through the Wine prefix, in whatever case it names the
  // file.
  void startWithAWindowsPathOpensThroughThePrefix() {
    const fs::path devices = scratch_.path() / "wine" / "dosdevices";
    fs::create_directories(devices);
    if (!fs::exists(devices / "z:")) fs::create_directory_symlink("/", devices / "z:");
    Viewer v;
    std::string windows = "Z:" + (v.mesh.parent_path() / "WAGON.IM").string();
    std::replace(windows.begin(), windows.end(), '/', '\\');
    v.Start({windows}, kSetUp);
    QVERIFY(v.Loaded());
    QVERIFY(fs::equivalent(v.window->train.MeshFileName, v.mesh));
  }

  void startWithTwoParametersOpensNothing() {
    Viewer v;
    v.Start({v.mesh.string(), v.mesh.string()}, kSetUp);
    QVERIFY(!v.Loaded());
    QCOMPARE(v.window->CurrentModel(), nullptr);
  }

  void startWithTextParameterOpensRememberedMesh() {
    Viewer v;
    v.Start({(v.dir.path() / "notes.txt").string()},
            "[MRU]\nlastfile=" + v.mesh.string() + "\n" + kSetUp);
    QVERIFY(v.Loaded());
    QCOMPARE(v.window->CurrentFile, v.mesh.string());
  }

  void firstStartRunsOpenWithSetUpOnce() {
    fs::create_directories(scratch_.path() / "wine");
    Viewer v;
    v.Start({}, "");
    QStringList captions;
    v.window->interaction.browseFolder = [&captions](const std::string& caption) {
      captions << QString::fromStdString(caption);
      return std::nullopt;
    };
    QVERIFY(v.window->Timer4.isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!v.window->settings.corvelDir.empty(), 3000);
    QCOMPARE(v.window->settings.corvelDir, std::string("NotFound"));
    QCOMPARE(v.window->settings.estrelDir, std::string("NotFound"));
    QVERIFY(!v.window->Memo1->isVisible());
    // The folder dialogs' captions are one line each.
    QCOMPARE(captions.size(), 3);
    for (const QString& caption : captions)
      QVERIFY2(!caption.contains('\r') && !caption.contains('\n'), qPrintable(caption));
    v.Close();

    // No Wine prefix at all: nothing to ask at start, but on request.
    const QByteArray prefix = qgetenv("WINEPREFIX");
    qputenv("WINEPREFIX", QByteArray::fromStdString((v.dir.path() / "no-wine").string()));
    fs::remove(v.ini);
    v.Open({});
    QVERIFY(!v.window->Timer4.isActive());
    int asked = 0;
    v.window->interaction.browseFolder = [&asked](const std::string&) {
      ++asked;
      return std::nullopt;
    };
    v.window->OpenWith1Click();
    QCOMPARE(asked, 3);
    qputenv("WINEPREFIX", prefix);
  }

  void popupVisibilityFollowsTheState() {
    Viewer v;
    v.Start({v.mesh.string()}, kSetUp);
    TForm1& w = *v.window;
    auto visible = [&w] {
      w.PopupMenu1Popup();
      QStringList shown;
      for (QAction* a : w.PopupMenu1->actions())
        if (a->isVisible()) shown << a->text();
      return shown;
    };
    const int points = w.unit.AttachmentCount;
    const QString attachmentItem = points > 0 ? "Show Attachments" : "Wire Frame";
    QCOMPARE(visible(), QStringList({"Make Thumbnail", "B-ground Colour", "Mesh Data", "Show Axes",
                                     "    Units feet", attachmentItem, "Locate Texture"}));

    w.ShowAttachments1Click();
    QStringList expected{"B-ground Colour", attachmentItem};
    if (points > 0) expected << "Attachment Size";
    QCOMPARE(visible(), expected);
    w.ShowAttachments1Click();

    w.LocateTexture1Click();
    QCOMPARE(visible(), QStringList({"B-ground Colour", "Locate Texture"}));
    QVERIFY(w.AttName->isVisible());
    QCOMPARE(w.AttName->width(), 200);
    QVERIFY(!w.TextureNames.empty());
    QCOMPARE(w.AttName->text().toStdString(), w.TextureNames.front());
    QVERIFY(std::is_sorted(w.TextureNames.begin(), w.TextureNames.end()));
    w.LocateTexture1Click();
    QVERIFY(!w.AttName->isVisible());

    // Bump view: refused without support, offered with it.
    w.unit.AnyBumpLoaded = true;
    w.BumpSupported = false;
    w.ShowBumpsOnly1Click();
    QCOMPARE(v.notifier.notices.size(), std::size_t{1});
    QCOMPARE(v.notifier.notices[0].text,
             std::string("Video card does not support OpenGL bump mapping"));
    QCOMPARE(v.notifier.notices[0].caption, std::string("Info"));
    QVERIFY(!w.BumpsOnly);
    w.BumpSupported = true;
    w.ShowBumpsOnly1Click();
    QVERIFY(w.BumpsOnly);
    QCOMPARE(visible(),
             QStringList({"B-ground Colour", "Show Axes", "    Units feet", "Show Bumps Only"}));
    w.ShowBumpsOnly1Click();

    w.train.TrainCarMode = true;
    QCOMPARE(visible(),
             QStringList({"Make Thumbnail", "B-ground Colour", "Bump Effect", "Adjust Track"}));
  }

  void keysMatchModifiersExactly() {
    Viewer v;
    v.Start({v.mesh.string()}, kSetUp);
    TForm1& w = *v.window;
    const float zoom = w.view.Zoom;
    QTest::keyClick(&w, Qt::Key_Up, Qt::ShiftModifier);
    QCOMPARE(w.view.Zoom, zoom * 1.1f);
    QTest::keyClick(&w, Qt::Key_Up, Qt::ShiftModifier | Qt::ControlModifier);
    QCOMPARE(w.view.RotX, -2.0f);
    QCOMPARE(w.view.Zoom, zoom * 1.1f);
    QTest::keyClick(&w, Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(w.view.PanX, -0.1f);
    QCOMPARE(w.view.RotY, 0.0f);
    QTest::keyClick(&w, Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(w.view.RotY, 2.0f);
    // T enters and leaves Locate Texture; Shift+T is no command.
    QTest::keyClick(&w, Qt::Key_T);
    QVERIFY(w.LocateTextureMode);
    QTest::keyClick(&w, Qt::Key_T, Qt::ShiftModifier);
    QVERIFY(w.LocateTextureMode);
    QTest::keyClick(&w, Qt::Key_T);
    QVERIFY(!w.LocateTextureMode);
    QTest::keyClick(&w, Qt::Key_W);
    QVERIFY(w.ShowAttachments);
  }

  // The attachment boxes only show; a click on the view takes the keys back
  // from any control that has them.
  void clickOnTheViewTakesTheKeys() {
    Viewer v;
    v.Start({v.mesh.string()}, kSetUp);
    TForm1& w = *v.window;
    w.ShowAttachments1Click();
    QVERIFY(w.AttName->isVisible());
    QTest::mouseClick(w.AttName, Qt::LeftButton);
    QVERIFY(w.focusWidget() != w.AttName);
    w.BumpEffect1Click();
    QTest::mouseClick(w.BumpEffect, Qt::LeftButton);
    QCOMPARE(w.focusWidget(), w.BumpEffect);
    QTest::mouseClick(w.GLView, Qt::LeftButton, {}, QPoint(40, 40));
    QCOMPARE(w.focusWidget(), w.GLView);
    const float turn = w.view.RotY;
    QTest::keyClick(w.focusWidget(), Qt::Key_Left);
    QCOMPARE(w.view.RotY, turn + 2.0f);
  }

  void wheelZoomsAnywhereOnTheWindow() {
    Viewer v;
    v.Start({v.mesh.string()}, kSetUp);
    TForm1& w = *v.window;
    const float zoom = w.view.Zoom;
    QWidget* away = w.statusBar();
    const QPointF at(5, 5);
    QWheelEvent notch(at, away->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(away, &notch);
    QCOMPARE(w.view.Zoom, zoom * 1.12f);
    QWheelEvent back(at, away->mapToGlobal(at), QPoint(), QPoint(0, -1200), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(away, &back);
    QCOMPARE(w.view.Zoom, 0.001f);
  }

  void framesComeInBurstsAndOnlyAfterALoad() {
    Viewer v;
    v.Start({}, kSetUp);
    TForm1& w = *v.window;
    w.resize(500, 400);
    QTest::qWait(300);
    QCOMPARE(w.GLView->FrameCount(), 0);

    w.OpenPath(v.mesh);
    QVERIFY(v.Loaded());
    QTRY_VERIFY_WITH_TIMEOUT(w.GLView->FrameCount() > 0, 2000);
    QElapsedTimer burst;
    burst.start();
    QTRY_VERIFY_WITH_TIMEOUT(!w.view.RedrawPending, 2000);
    QVERIFY(burst.elapsed() <= 700);
    const int frames = w.GLView->FrameCount();
    QVERIFY(frames > 1);
    QTest::qWait(300);
    QCOMPARE(w.GLView->FrameCount(), frames);
    // Any input starts a new burst.
    QTest::keyClick(&w, Qt::Key_Left);
    QTRY_VERIFY_WITH_TIMEOUT(w.GLView->FrameCount() > frames, 2000);

    // The background is the settings' colour: R 39, G 116, B 152.
    const QImage picture = w.GLView->grabFramebuffer();
    const QColor c = picture.pixelColor(picture.width() / 2, 2);
    QVERIFY(std::abs(c.red() - 39) <= 1 && std::abs(c.green() - 116) <= 1 &&
            std::abs(c.blue() - 152) <= 1);
    QVERIFY(w.GLView->format().depthBufferSize() >= 24);
    picture.save(QString::fromStdString((v.dir.path() / "view.png").string()));
  }

  void meshDataShowsBoundsAndRedFarValues() {
    Viewer v;
    v.Start({v.mesh.string()}, kSetUp);
    TForm1& w = *v.window;
    w.unit.MeshBounds.minX = -125.0f;
    w.unit.MeshBounds.maxX = 125.0f;
    w.unit.MeshBounds.minY = -1.5f;
    w.unit.MeshBounds.maxY = 2.25f;
    w.unit.MeshBounds.minZ = 0.0f;
    w.unit.MeshBounds.maxZ = 3.0f;
    QStringList texts;
    QList<bool> red;
    w.interaction.execDialog = [&](QDialog& dialog) {
      auto* form = qobject_cast<kelvane::TForm2*>(&dialog);
      for (QLabel* l : form->values) {
        texts << l->text();
        red << (l->palette().color(QPalette::WindowText) == QColor(Qt::red));
      }
      texts << form->polyCountLabel->text();
      return 1;
    };
    w.MeshData1Click();
    QCOMPARE(texts,
             QStringList({"-125.000", "-1.500", "0.000", "125.000", "2.250", "3.000", "250.000",
                          "3.750", "3.000", QString::number(w.CurrentModel()->FaceCount())}));
    QCOMPARE(red, QList<bool>({true, false, false, true, false, false, false, false, false}));

    w.unit.MeshBounds.minX = -1.0f;
    w.unit.MeshBounds.maxX = 1.0f;
    texts.clear();
    red.clear();
    w.MeshData1Click();
    QVERIFY(!red.contains(true));
  }

  void thumbnailIsAskedForAndWritten() {
    Viewer v;
    v.Start({v.mesh.string()}, kSetUp);
    TForm1& w = *v.window;
    const QSize before = w.size();
    v.notifier.answers = {true};
    w.MakeThumbnail1Click();
    const fs::path jpeg = v.mesh.parent_path() / "$screenshot$.jpg";
    QTRY_VERIFY_WITH_TIMEOUT(fs::exists(jpeg), 3000);
    QCOMPARE(v.notifier.questions.size(), std::size_t{1});
    QCOMPARE(v.notifier.questions[0].text,
             std::string("Do you wish to save this \"$screenshot$.jpg\" thumbnail?"));
    QImageReader reader(QString::fromStdString(jpeg.string()));
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    QCOMPARE(reader.size(), QSize(240, 180));
    QCOMPARE(w.size(), before);
    QCOMPARE(w.Timer3.interval(), 500);

    // No: nothing is written.
    fs::remove(jpeg);
    w.MakeThumbnail1Click();
    QTRY_COMPARE_WITH_TIMEOUT(v.notifier.questions.size(), std::size_t{2}, 3000);
    QVERIFY(!fs::exists(jpeg));

    // A folder that does not exist: the error is shown, nothing else is lost.
    w.settings.thumbnail = "missing/x.jpg";
    v.notifier.answers = {true};
    w.MakeThumbnail1Click();
    QTRY_COMPARE_WITH_TIMEOUT(v.notifier.notices.size(), std::size_t{1}, 3000);
    QCOMPARE(v.notifier.notices[0].caption, std::string("Error"));
    QVERIFY(v.notifier.notices[0].text.find("missing/x.jpg") != std::string::npos);
    QVERIFY(v.Loaded());
    QCOMPARE(w.Timer3.interval(), 500);
  }

  // The thumbnail is the picture the view shows when its panel is 240 x 180,
  // upright and with the background's colour, whatever the window's size.
  void thumbnailIsTheViewAtThumbnailSize() {
    Viewer v;
    v.Start({v.mesh.string()}, "[Options]\nBGroundColour=0x336699\n" + std::string(kSetUp));
    TForm1& w = *v.window;
    w.resize(700, 520);
    QTRY_VERIFY_WITH_TIMEOUT(w.view.MouseReady, 2000);
    w.view.RotX = 20.0f;  // the ruler's labels above, the model below
    v.notifier.answers = {true};
    w.MakeThumbnail1Click();
    const fs::path jpeg = v.mesh.parent_path() / "$screenshot$.jpg";
    QTRY_VERIFY_WITH_TIMEOUT(fs::exists(jpeg), 3000);
    const QImage thumbnail = w.LastThumbnail();
    QCOMPARE(thumbnail.size(), QSize(240, 180));
    QVERIFY(!w.Image1->isVisible());

    // The same view with the window shrunk so that the view is 240 x 180.
    w.resize(w.size() - w.GLView->size() + QSize(240, 180));
    QTRY_COMPARE_WITH_TIMEOUT(w.GLView->size(), QSize(240, 180), 2000);
    QVERIFY(NextFrame(w));
    const QImage view = w.GLView->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(view.size(), QSize(240, 180));
    int off = 0;
    for (int y = 0; y < 180; ++y)
      for (int x = 0; x < 240; ++x) {
        const QColor a = thumbnail.pixelColor(x, y), b = view.pixelColor(x, y);
        if (!Near(a, b.red(), b.green(), b.blue(), 8)) ++off;
      }
    QVERIFY2(off < 240 * 180 / 100, qPrintable(QString("%1 pixels differ").arg(off)));

    // Written as a JPEG: the corner is the background (R 0x99, G 0x66,
    // B 0x33), the model darker, in the lower part.
    const QImage written(QString::fromStdString(jpeg.string()));
    QVERIFY(Near(written.pixelColor(3, 3), 0x99, 0x66, 0x33, 6));
    QVERIFY(!Near(thumbnail.pixelColor(120, 120), 0x99, 0x66, 0x33, 30));
  }

  // The colour of the settings file is the first frame's background, and
  // a remembered black shows the start-up grey.
  void backgroundFromSettingsFile() {
    Viewer v;
    v.Start({v.mesh.string()}, "[Options]\nBGroundColour=0x336699\n" + std::string(kSetUp));
    QVERIFY(NextFrame(*v.window));
    QVERIFY(Near(v.window->GLView->grabFramebuffer().pixelColor(2, 2), 0x99, 0x66, 0x33, 1));
    v.Close();

    v.Start({v.mesh.string()}, "[Options]\nBGroundColour=0\n" + std::string(kSetUp));
    QVERIFY(NextFrame(*v.window));
    QVERIFY(Near(v.window->GLView->grabFramebuffer().pixelColor(2, 2), 128, 128, 140, 1));
  }

  void thumbnailNameRules() {
    Viewer v;
    v.Start({}, kSetUp);
    TForm1& w = *v.window;
    auto type = [&w](const QString& text, const char* button) {
      w.interaction.execDialog = [text, button](QDialog& dialog) {
        auto* form = qobject_cast<kelvane::TForm5*>(&dialog);
        form->edit->setText(text);
        dialog.findChild<QPushButton*>(button)->click();
        return dialog.result();
      };
      w.ThumbnailName1Click();
      return w.settings.thumbnail;
    };
    QCOMPARE(type("Loco.Front.JPG", "Accept"), std::string("loco.jpg"));
    QCOMPARE(type("front", "Accept"), std::string("front.jpg"));
    QCOMPARE(type("Sub/Side.x", "Accept"), std::string("sub/side.jpg"));
    QCOMPARE(type("ignored", "Cancel"), std::string("sub/side.jpg"));
  }

  void settingsDefaultsRoundTripAndQuotes() {
    Viewer v;
    v.Start({}, "");
    TForm1& w = *v.window;
    QCOMPARE(w.settings.bgroundColour, kelvane::kDefaultBackgroundColour);
    QCOMPARE(w.settings.showAxes, true);
    QCOMPARE(w.settings.metric, true);
    // The slider's position 8 (Round((0.2 - 0.065) * 60)) sets the strength.
    QCOMPARE(w.BumpEffect->value(), 8);
    QCOMPARE(w.BumpStrength, 8 / 60.0f + 0.065f);
    QCOMPARE(w.settings.gaugeIndex, 3);
    QCOMPARE(w.settings.tieSpacing, 800);
    QCOMPARE(w.Open2->text(), QString("  "));
    w.Timer4.stop();
    w.Units1Click();
    w.ShowAxes1Click();
    w.settings.thumbnail = "front.jpg";
    w.move(30, 40);
    v.Close();

    const std::string text = ReadText(v.ini);
    QVERIFY(text.find("[MRU]") < text.find("[Options]"));
    QVERIFY(text.find("[Options]") < text.find("[Position]"));
    QVERIFY(text.find("[Track]") < text.find("[Paths]"));
    QVERIFY(text.find("Metric=0") != std::string::npos);
    QVERIFY(text.find("ShowAxes=0") != std::string::npos);
    QVERIFY(text.find("bumpalpha=0.19833") != std::string::npos);
    QVERIFY(text.find("BGroundColour=9991207") != std::string::npos);

    v.Open({});
    QCOMPARE(v.window->settings.metric, false);
    QCOMPARE(v.window->Units1->text(), QString("    Units metres"));
    QVERIFY(!v.window->ShowAxes1->isChecked());
    QCOMPARE(v.window->settings.thumbnail, std::string("front.jpg"));
    v.Close();

    WriteText(v.ini,
              "[MRU]\nthumbnail=\"quoted.jpg\"\n[Options]\nBGroundColour=0x10203\n"
              "[Track]\nTieSpacing=50\n" +
                  std::string(kSetUp));
    v.Open({});
    QCOMPARE(v.window->settings.thumbnail, std::string("quoted.jpg"));
    QCOMPARE(v.window->settings.bgroundColour, 0x10203);
    QCOMPARE(v.window->settings.tieSpacing, 300);
  }

  void unreadableSettingsAreNotOverwritten() {
    Viewer v;
    const std::string garbage("[MRU]\nlastfile=x\0y\n", 19);
    WriteText(v.ini, garbage);
    v.Open({});
    QCOMPARE(v.notifier.notices.size(), std::size_t{1});
    QVERIFY(v.window->SettingsUnreadable());
    v.Close();
    QCOMPARE(v.notifier.notices.size(), std::size_t{1});
    QCOMPARE(ReadText(v.ini), garbage);
  }

  void missingReopenFileIsForgotten() {
    Viewer v;
    v.Start({}, "[MRU]\nlastfile=" + (v.dir.path() / "gone.im").string() + "\n" + kSetUp);
    QTest::keyClick(v.window.get(), Qt::Key_R);
    QCOMPARE(v.notifier.notices.size(), std::size_t{1});
    QCOMPARE(v.notifier.notices[0].text, std::string("File not found"));
    QCOMPARE(v.notifier.notices[0].caption, std::string("Info"));
    QCOMPARE(v.window->Open2->text(), QString());
    v.Close();
    QVERIFY(ReadText(v.ini).find("lastfile=\n") != std::string::npos ||
            ReadText(v.ini).find("lastfile=\r\n") != std::string::npos);
  }

  void helpOpensThePageBesideTheProgram() {
    Viewer v;
    v.Start({}, kSetUp);
    v.window->Help1Click();
    QVERIFY(v.urlsOpened.empty());
    fs::create_directories(v.dir.path() / "bin" / "help");
    WriteText(v.dir.path() / "bin" / "help" / "kelvane.html", "<html></html>");
    v.window->Help1Click();
    QCOMPARE(v.urlsOpened.size(), std::size_t{1});
    QCOMPARE(v.urlsOpened[0], (v.dir.path() / "bin" / "help" / "kelvane.html").string());
  }

  // A desktop with nothing to open the page says so.
  void helpWithoutAHandlerSaysSo() {
    Viewer v;
    v.Start({}, kSetUp);
    fs::create_directories(v.dir.path() / "bin" / "help");
    WriteText(v.dir.path() / "bin" / "help" / "kelvane.html", "<html></html>");
    v.window->interaction.openUrl = [](const QUrl&) { return false; };
    v.window->Help1Click();
    QCOMPARE(v.notifier.notices.size(), std::size_t{1});
    QVERIFY(v.notifier.notices[0].text.find("kelvane.html") != std::string::npos);
  }

  // The sample locomotive from its folder, as make run opens it: the
  // pantograph is fetched through the utility, the car stands on its track,
  // and the traincar commands work on it. Its configuration file is
  // remembered by its own name, written here as on Windows.
  void traincarOpensEndToEnd() {
    Viewer v;
    const auto sample = kelvane::fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
    QVERIFY(!fs::exists(sample.editing / "pantograph"));
    const fs::path config = sample.locomotive / "Config.TXT";
    fs::rename(sample.locomotive / "config.txt", config);
    v.Start({sample.locomotive.string()}, kSetUp);
    TForm1& w = *v.window;
    QVERIFY(w.train.TrainCarMode);
    QVERIFY(v.Loaded());
    QVERIFY(fs::exists(sample.editing / "pantograph" / "config.txt"));
    QCOMPARE(w.windowTitle(),
             QString("TrainCar \"Class 7 electric\"     Rotate and zoom with the mouse please."));
    QCOMPARE(w.CurrentFile, config.string());
    QCOMPARE(w.Open2->text(), QString("  Config.TXT"));
    QVERIFY(w.StatusLine->text().contains(QString::fromStdString(sample.locomotive.string())));
    QVERIFY(v.notifier.notices.empty());
    QTest::keyClick(&w, Qt::Key_R);
    QVERIFY(v.Loaded());
    QVERIFY(w.train.TrainCarMode);
    QVERIFY(v.notifier.notices.empty());

    // The body's bump map keeps the slider on offer, though other meshes
    // were loaded after it.
    w.PopupMenu1Popup();
    QStringList shown;
    for (QAction* a : w.PopupMenu1->actions())
      if (a->isVisible()) shown << a->text();
    QCOMPARE(shown,
             QStringList({"Make Thumbnail", "B-ground Colour", "Bump Effect", "Adjust Track"}));

    w.resize(640, 480);
    QVERIFY(NextFrame(w));
    const QImage onTrack = w.GLView->grabFramebuffer();
    QVERIFY(GreenShare(onTrack) > 0.1);

    // Adjust Track: "No Track" takes the track and the ground away.
    w.interaction.execDialog = [](QDialog& dialog) {
      auto* form = qobject_cast<kelvane::TForm4*>(&dialog);
      form->gaugeCombo->setCurrentIndex(9);
      form->spacing->setValue(1200);
      dialog.accept();
      return dialog.result();
    };
    w.AdjustTrack1Click();
    QCOMPARE(w.settings.gaugeIndex, 9);
    QCOMPARE(w.settings.gauge, 0.05f);
    QCOMPARE(w.settings.tieSpacing, 1200);
    QVERIFY(NextFrame(w));
    QCOMPARE(GreenShare(w.GLView->grabFramebuffer()), 0.0);

    // The thumbnail goes beside the car's config.txt.
    v.notifier.answers = {true};
    w.MakeThumbnail1Click();
    QTRY_VERIFY_WITH_TIMEOUT(fs::exists(sample.locomotive / "$screenshot$.jpg"), 3000);
    v.Close();
    const std::string ini = ReadText(v.ini);
    QVERIFY(ini.find("lastfile=" + config.string()) != std::string::npos);
    QVERIFY(ini.find("GaugeIndex=9") != std::string::npos);
  }

  // Closing while a part's lookup waits for a utility that hangs: the window
  // shows during the lookup, refuses to replace the scene, stops the utility
  // and closes once the composition is over, with its settings saved.
  void closingDuringALookupStopsItAndSaves() {
    Viewer v;
    const auto sample = kelvane::fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
    const fs::path calls = v.dir.path() / "calls.txt";
    kelvane::fixtures::WriteStandInUtility(
        sample.installation / "bin",
        {KELVANE_STANDIN, sample.store, sample.editing, 600000, false, calls});
    WriteText(v.ini, kSetUp);
    bool shownDuringLookup = false, refused = false;
    int polls = 0;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      TForm1* w = v.window.get();
      if (!w || !fs::exists(calls) || !w->Memo1->isVisible()) return;
      shownDuringLookup = w->windowHandle() && w->windowHandle()->isExposed();
      if (!shownDuringLookup && ++polls < 100) return;
      poll.stop();
      const std::string before = w->CurrentFile;
      w->OpenPath(v.mesh);
      QTest::keyClick(w, Qt::Key_R);
      refused = w->Busy() && w->CurrentFile == before && !w->Open1->isEnabled() &&
                w->StatusLine->text().contains("busy");
      w->Exit1->trigger();
      w->close();  // as the window's close button does
    });
    poll.start();
    v.Open({sample.locomotive.string()}, false);
    QTRY_VERIFY_WITH_TIMEOUT(!v.window->isVisible(), 30000);
    QVERIFY(shownDuringLookup);
    QVERIFY(refused);
    QVERIFY(!v.window->Busy());
    // One run of the utility, stopped; no later version was asked for.
    QCOMPARE(QString::fromStdString(ReadText(calls)).count('\n'), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!ProcessRunsWith(sample.store.string()), 5000);
    QCOMPARE(SavedSettings(v.ini).lastFile, (sample.locomotive / "config.txt").string());
  }

  // A load that fails leaves the background alone under its title, and
  // Mesh Data describes the empty model.
  void failedLoadShowsNothingOld() {
    Viewer v;
    v.Start({v.mesh.string()}, kSetUp);
    TForm1& w = *v.window;
    QVERIFY(NextFrame(w));
    const fs::path broken = v.dir.path() / "broken.im";
    WriteText(broken, "not a mesh at all");
    w.OpenPath(broken);
    QVERIFY(!v.Loaded());
    QVERIFY(w.windowTitle().contains("broken.im"));
    QVERIFY(w.StatusLine->text().contains("did not load"));
    const QImage picture = w.GLView->grabFramebuffer();
    int off = 0;
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x)
        if (!Near(picture.pixelColor(x, y), 39, 116, 152, 1)) ++off;
    QCOMPARE(off, 0);
    QStringList texts;
    w.interaction.execDialog = [&texts](QDialog& dialog) {
      auto* form = qobject_cast<kelvane::TForm2*>(&dialog);
      for (QLabel* l : form->values)
        texts << l->text();
      texts << form->polyCountLabel->text();
      return 1;
    };
    w.MeshData1Click();
    QCOMPARE(texts, QStringList(9, "0.000") << "0");
  }

  // The place saved at close is the place restored at start, however often
  // the viewer is started (under a window manager, whose frame lies around
  // the client area, too); a place on no screen is brought onto one.
  void windowKeepsItsPlace() {
    Viewer v;
    WriteText(v.ini,
              "[Position]\nTop=200\nLeft=150\nWidth=500\nHeight=400\n" + std::string(kSetUp));
    const bool framed = qEnvironmentVariableIsSet("KELVANE_TEST_WINDOW_MANAGER");
    if (framed) {
      // The window manager frames windows once it runs.
      QWidget probe;
      probe.show();
      QTRY_VERIFY_WITH_TIMEOUT(FrameKnown(probe), 10000);
    }
    for (int start = 0; start < 3; ++start) {
      v.Open({});
      // Closed once framed, as on a desktop. (The toolkit does not always
      // learn the frame in time; the place must hold either way.)
      if (framed) (void)QTest::qWaitFor([&v] { return FrameKnown(*v.window); }, 3000);
      v.Close();
      const kelvane::ViewerSettings saved = SavedSettings(v.ini);
      QCOMPARE(saved.top, 200);
      QCOMPARE(saved.left, 150);
      QCOMPARE(saved.width, 500);
      QCOMPARE(saved.height, 400);
    }
    WriteText(v.ini,
              "[Position]\nTop=-5000\nLeft=9000\nWidth=500\nHeight=400\n" + std::string(kSetUp));
    v.Open({});
    const QRect screen = v.window->screen()->availableGeometry();
    QVERIFY(screen.contains(v.window->geometry().topLeft()));
    v.Close();
    QVERIFY(screen.contains(QPoint(SavedSettings(v.ini).left, SavedSettings(v.ini).top)));
    // Never placed: the whole window, its frame too, starts on the screen.
    WriteText(v.ini, kSetUp);
    v.Open({});
    if (framed) (void)QTest::qWaitFor([&v] { return FrameKnown(*v.window); }, 3000);
    QVERIFY(screen.contains(v.window->frameGeometry().topLeft()));
  }

  // Without a GL context ("Error setting pixel format.") files still open,
  // nothing is drawn, and closing saves the settings. Run by its own test
  // entry with QT_XCB_GL_INTEGRATION=none.
  void withoutAContextFilesStillOpen() {
    Viewer v;
    const auto sample = kelvane::fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
    v.Start({v.mesh.string()}, kSetUp);
    TForm1& w = *v.window;
    if (w.GLView->ContextReady()) QSKIP("the view has a context; see gui.main_window_without_gl");
    QCOMPARE(v.notifier.notices.size(), std::size_t{1});
    QCOMPARE(v.notifier.notices[0].text, std::string("Error setting pixel format."));
    QVERIFY(v.Loaded());
    QVERIFY(w.CurrentModel()->FaceCount() > 0);
    w.OpenPath(sample.locomotive);
    QVERIFY(v.Loaded());
    QVERIFY(w.train.TrainCarMode);
    QCOMPARE(w.GLView->FrameCount(), 0);
    v.Close();
    QCOMPARE(SavedSettings(v.ini).lastFile, (sample.locomotive / "config.txt").string());
  }

  // Dropping a mesh or an asset folder opens it as File > Open would; other
  // files are not taken.
  void droppedFilesOpen() {
    Viewer v;
    const auto sample = kelvane::fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
    v.Start({}, kSetUp);
    TForm1& w = *v.window;
    auto drop = [&w](const fs::path& path) {
      QMimeData data;
      data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path.string()))});
      const QPointF at(50, 50);
      QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&w, &enter);
      if (!enter.isAccepted()) return false;
      QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&w, &dropped);
      return true;
    };
    QVERIFY(!drop(v.dir.path() / "assets" / "wagon" / "wagon_body.tga"));
    QVERIFY(!v.Loaded());
    QVERIFY(drop(v.mesh));
    QVERIFY(v.Loaded());
    QVERIFY(!w.train.TrainCarMode);
    QCOMPARE(w.CurrentFile, v.mesh.string());
    QVERIFY(drop(sample.locomotive));
    QVERIFY(v.Loaded());
    QVERIFY(w.train.TrainCarMode);
    QCOMPARE(w.CurrentFile, (sample.locomotive / "config.txt").string());
  }

  // The stepper steps through the points and stays at the ends.
  void stepperWalksTheAttachmentPoints() {
    Viewer v;
    v.Start({v.mesh.string()}, kSetUp);
    TForm1& w = *v.window;
    const int points = w.unit.AttachmentCount;
    QVERIFY(points >= 2);
    w.ShowAttachments1Click();
    QVERIFY(w.UpDown1->isVisible());
    for (int i = 0; i < points + 1; ++i)
      w.UpDown1->upButton->click();
    QCOMPARE(w.AttIndex, points - 1);
    QCOMPARE(w.AttName->text().toStdString(),
             w.unit.AttachmentTable[static_cast<std::size_t>(points - 1)].name);
    for (int i = 0; i < points + 1; ++i)
      w.UpDown1->downButton->click();
    QCOMPARE(w.AttIndex, 0);
    // In size mode the stepper sits beside the narrow box.
    w.AttachmentSize1Click();
    QCOMPARE(w.AttName->width(), 30);
    QCOMPARE(w.UpDown1->x(), w.AttName->x() + 32);
    w.UpDown1->upButton->click();
    QCOMPARE(w.AttName->text(), QString::number(w.settings.attSize));
  }

  void screenshot() {
    Viewer v;
    v.Start({v.mesh.string()}, kSetUp);
    v.window->resize(640, 480);
    v.window->ShowAttachments1Click();
    QTest::qWait(200);
    const QString out = qEnvironmentVariable("KELVANE_SCREENSHOT_DIR");
    if (out.isEmpty()) QSKIP("KELVANE_SCREENSHOT_DIR not set");
    // The widget grab leaves the GL view out; its own picture goes on top.
    QImage window = v.window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage view = v.window->GLView->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(view.pixelColor(5, 5).blue(), 152);
    {
      QPainter painter(&window);
      painter.drawImage(v.window->GLView->mapTo(v.window.get(), QPoint(0, 0)), view);
    }
    QVERIFY(window.save(out + "/main_window.png"));
  }

  // ----- traincar open time ---------------------------------------------------
  // Opening the sample locomotive (its pantograph fetched through the
  // stand-in utility) up to the first frame that shows it; the time is
  // printed for the record, make bench holds it to its target.
  void traincarOpenToFirstFrameIsReported() {
    Viewer v;
    const auto sample = kelvane::fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
    v.Start({v.mesh.string()}, kSetUp);  // the view is up and drawing
    TForm1& w = *v.window;
    w.resize(640, 480);
    QVERIFY(NextFrame(w));
    QElapsedTimer clock;
    clock.start();
    w.OpenPath(sample.locomotive);
    // Frames drawn while the utility ran showed a part of the car.
    const int composed = w.GLView->FrameCount();
    QVERIFY(QTest::qWaitFor([&w, composed] { return w.GLView->FrameCount() > composed; }, 5000));
    const qint64 ms = clock.elapsed();
    QVERIFY(w.train.TrainCarMode && v.Loaded());
    QVERIFY(GreenShare(w.GLView->grabFramebuffer()) > 0.1);
    qInfo("traincar open to first frame: %lld ms", static_cast<long long>(ms));
  }

  // The File menu's recent files: newest first, eight at most, a missing
  // one dropped with "File not found", the list kept across a restart.
  void recentFilesKeepTheNewestEight() {
    Viewer v;
    v.Start({}, kSetUp);
    TForm1& w = *v.window;
    std::vector<std::string> meshes;
    for (int i = 1; i <= 9; ++i) {
      const fs::path copy = v.mesh.parent_path() / ("m" + std::to_string(i) + ".im");
      fs::copy_file(v.mesh, copy);
      meshes.push_back(copy.string());
      w.OpenPath(copy);
    }
    using List = std::vector<std::string>;
    QCOMPARE(w.RecentList.Entries(), (List(meshes.rbegin(), meshes.rbegin() + 8)));
    w.OpenPath(meshes[4]);
    QCOMPARE(w.RecentList.Entries()[0], meshes[4]);
    QCOMPARE(w.RecentList.Entries()[1], meshes[8]);
    QCOMPARE(w.RecentList.Entries().size(), std::size_t{8});
    // The re-open item is the first of the list; the menu lists the others.
    QCOMPARE(w.Open2->text(), QString("  m5.im"));
    QCOMPARE(w.RecentMenu->Items().size(), std::size_t{7});
    QCOMPARE(w.RecentMenu->Items()[0]->text(), QString("  wagon/m9.im"));

    fs::remove(meshes[2]);
    const auto item =
        std::find_if(w.RecentMenu->Items().begin(), w.RecentMenu->Items().end(),
                     [&](QAction* a) { return a->toolTip() == QString::fromStdString(meshes[2]); });
    QVERIFY(item != w.RecentMenu->Items().end());
    (*item)->trigger();
    QCOMPARE(v.notifier.notices.size(), std::size_t{1});
    QCOMPARE(v.notifier.notices[0].text, std::string("File not found"));
    QCOMPARE(v.notifier.notices[0].caption, std::string("Info"));
    const List kept = w.RecentList.Entries();
    QCOMPARE(kept.size(), std::size_t{7});
    QVERIFY(std::find(kept.begin(), kept.end(), meshes[2]) == kept.end());
    QCOMPARE(w.CurrentFile, meshes[4]);
    QVERIFY(v.Loaded());

    v.Close();
    v.Open({});
    QCOMPARE(v.window->RecentList.Entries(), kept);
    QCOMPARE(v.window->Open2->text(), QString("  m5.im"));
    QCOMPARE(v.window->RecentMenu->Items().size(), std::size_t{6});
  }

  // Ctrl+O opens, F1 helps, Ctrl+Q ends; the window and About show the icon.
  void desktopShortcutsAndIcon() {
    Viewer v;
    v.Start({}, kSetUp);
    TForm1& w = *v.window;
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    int chosen = 0;
    w.interaction.chooseFile = [&chosen](const QString&, int) {
      ++chosen;
      return std::nullopt;
    };
    QTest::keyClick(&w, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(chosen, 1);
    fs::create_directories(v.dir.path() / "bin" / "help");
    WriteText(v.dir.path() / "bin" / "help" / "kelvane.html", "<html></html>");
    QTest::keyClick(&w, Qt::Key_F1);
    QCOMPARE(v.urlsOpened.size(), std::size_t{1});
    QVERIFY(!w.windowIcon().isNull());
    const auto* aboutIcon = w.AboutBox->findChild<QLabel*>("AppIcon");
    QVERIFY(aboutIcon && !aboutIcon->pixmap().isNull());
    QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!w.isVisible());
  }

  // ----- Options > Textures ------------------------------------------------------
  void texturesDialogListsPreviewsHighlightsAndExports() {
    Viewer v;
    v.Start({v.mesh.string()}, kSetUp);
    QVERIFY(v.Loaded());
    TForm1& w = *v.window;
    QStringList files, formats;
    bool exported = false;
    QSize exportedSize;
    w.interaction.execDialog = [&](QDialog& dialog) {
      auto* d = qobject_cast<kelvane::TexturesDialog*>(&dialog);
      for (int row = 0; row < d->table->rowCount(); ++row) {
        files << d->table->item(row, 0)->text();
        formats << d->table->item(row, 1)->text();
      }
      const int roof = int(files.indexOf("roof.texture"));
      d->SelectRow(roof);
      const fs::path png = v.dir.path() / "roof.png";
      exported = d->ExportPng(png);
      exportedSize = QImage(QString::fromStdString(png.string())).size();
      return 1;
    };
    w.Textures1Click();
    QCOMPARE(files, QStringList({"wagon_body.tga", "roof.texture", "frame.jpg", "buffers.bmp"}));
    QCOMPARE(formats, QStringList({"tga", "dxt1", "jpeg", "bmp"}));
    QVERIFY(w.LocateTextureMode);
    QCOMPARE(w.HighlightTextureName, std::string("roof.texture"));
    QVERIFY(exported);
    QCOMPARE(exportedSize, QSize(64, 64));
  }

  // ----- reloading when the files change ------------------------------------------
  void rewrittenMeshAndTextureReloadWithTheCameraKeptDamageKeepsTheOldPicture() {
    Viewer v;
    v.Start({v.mesh.string()}, kSetUp);
    QVERIFY(v.Loaded());
    TForm1& w = *v.window;
    QVERIFY(w.ReloadOnChange1->isChecked());
    w.view.RotX = 20.0f;
    w.view.RotY = 35.0f;
    w.view.Zoom *= 1.5f;
    w.view.PanX = 0.5f;
    w.view.PanY = -0.25f;
    const kelvane::ViewState camera = w.view;
    QVERIFY(NextFrame(w));
    const QImage before = w.GLView->grabFramebuffer();

    // A body texture of another colour, and the mesh written again.
    const fs::path folder = v.mesh.parent_path();
    using namespace kelvane::fixtures;
    const Picture<Rgba8> green{64, 64, std::vector<Rgba8>(64 * 64, {0, 230, 0, 255})};
    WriteFile(folder / "wagon_body.tga", WriteTga(TgaTrueColour(green, 24, false)));
    WriteFile(v.mesh, SampleWagonMesh());
    QTRY_VERIFY_WITH_TIMEOUT(w.StatusLine->text().contains("(reloaded)"), 20000);
    QCOMPARE(w.view.RotX, camera.RotX);
    QCOMPARE(w.view.RotY, camera.RotY);
    QCOMPARE(w.view.Zoom, camera.Zoom);
    QCOMPARE(w.view.PanX, camera.PanX);
    QCOMPARE(w.view.PanY, camera.PanY);
    QVERIFY(NextFrame(w));
    const QImage reloaded = w.GLView->grabFramebuffer();
    QVERIFY(reloaded != before);
    QVERIFY(v.notifier.notices.empty());

    // Cut short: the reload fails and the last good picture stays.
    auto damaged = SampleWagonMesh();
    damaged.resize(damaged.size() / 2);
    WriteFile(v.mesh, damaged);
    QTRY_VERIFY_WITH_TIMEOUT(w.StatusLine->text().startsWith("Reload failed"), 20000);
    QVERIFY(NextFrame(w));
    QCOMPARE(w.GLView->grabFramebuffer(), reloaded);
    QVERIFY2(v.notifier.notices.empty(), "no message box for a reload");
  }

 private:
  kelvane::testing::TempDir scratch_;
};

int main(int argc, char** argv) {
  QSurfaceFormat::setDefaultFormat(kelvane::ViewSurfaceFormat());
  QApplication app(argc, argv);
  MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
