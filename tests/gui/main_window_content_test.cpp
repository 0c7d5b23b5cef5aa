// The main window: traincars, closing, failed loads, place, drops, reloads.
#include "main_window_test.h"

#include <QMimeData>
#include <algorithm>

#include "fixtures/asset_writer.h"
#include "fixtures/texture_writer.h"
#include "shell/shell_rules.h"
#include "shell/track_gauges.h"
#include "support/glb_reader.h"
#include "view/frame.h"
#include "viewer_fixture.h"
#include "windows/textures_dialog.h"

using namespace kelvane;
using namespace kelvane::testing;

// The pantograph is fetched through the utility; config.txt is found and
// remembered whatever its case.
void MainWindowTest::traincarOpensEndToEnd() {
  Viewer v;
  const auto sample = fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
  QVERIFY(!fs::exists(sample.editing / "pantograph"));
  const fs::path config = sample.locomotive / "Config.TXT";
  fs::rename(sample.locomotive / "config.txt", config);
  MainWindow& w = v.Start({sample.locomotive.string()});
  QVERIFY(IsTraincar(w) && v.Loaded());
  QVERIFY(fs::exists(sample.editing / "pantograph" / "config.txt"));
  QVERIFY(w.windowTitle().contains("Class 7 electric"));
  QCOMPARE(w.CurrentFile(), config.string());
  QVERIFY(w.Ui().statusLine->text().contains(QString::fromStdString(sample.locomotive.string())));
  QTest::keyClick(&w, Qt::Key_R);
  QVERIFY(IsTraincar(w) && v.Loaded() && v.notifier.notices.empty());
  // The body's bump map keeps the slider on offer, though other meshes
  // were loaded after it.
  QCOMPARE(ShownPopupItems(w),
           (QList<QAction*>{w.Ui().makeThumbnailAction, w.Ui().backgroundColourAction,
                            w.Ui().bumpEffectAction, w.Ui().adjustTrackAction}));
  w.resize(640, 480);
  QVERIFY(NextFrame(w));
  QVERIFY(GreenShare(w.Ui().glView->grabFramebuffer()) > 0.1);
  // Adjust Track: "No Track" takes the track and the ground away.
  w.Interaction().execDialog = [](QDialog& dialog) {
    auto* form = qobject_cast<AdjustTrackDialog*>(&dialog);
    form->gaugeCombo->setCurrentIndex(kNoTrackGaugeIndex);
    form->spacing->setValue(1200);
    return 1;
  };
  w.AdjustTrack();
  QCOMPARE(w.Settings().tieSpacing, 1200);
  QVERIFY(NextFrame(w));
  QCOMPARE(GreenShare(w.Ui().glView->grabFramebuffer()), 0.0);
  v.notifier.answers = {true};
  w.MakeThumbnail();
  QTRY_VERIFY(fs::exists(sample.locomotive / w.Settings().thumbnail));
  v.Close();
  QCOMPARE(SavedSettings(v.ini).lastFile, config.string());
  QCOMPARE(SavedSettings(v.ini).gaugeIndex, kNoTrackGaugeIndex);
}

// The utility hangs; the window shows and refuses to replace the scene.
void MainWindowTest::closingDuringALookupStopsItAndSaves() {
  Viewer v;
  const auto sample = fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
  const fs::path calls = v.dir / "calls.txt";
  fixtures::WriteStandInUtility(
      sample.installation / "bin",
      {KELVANE_STANDIN, sample.store, sample.editing, 600000, false, calls});
  WriteText(v.ini, kSetUp);
  bool shownDuringLookup = false, refused = false;
  int polls = 0;
  QTimer poll;
  poll.setInterval(20);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    MainWindow* w = v.window.get();
    if (!w || !fs::exists(calls) || !w->Ui().logBox->isVisible()) return;
    shownDuringLookup = w->windowHandle() && w->windowHandle()->isExposed();
    if (!shownDuringLookup && ++polls < 100) return;
    poll.stop();
    const std::string before = w->CurrentFile();
    w->OpenPath(v.mesh);
    QTest::keyClick(w, Qt::Key_R);
    refused = w->Busy() && w->CurrentFile() == before && !w->Ui().openAction->isEnabled() &&
              w->Ui().statusLine->text().contains("busy");
    w->Ui().exitAction->trigger();
    w->close();  // as the window's close button does
  });
  poll.start();
  v.Open({sample.locomotive.string()}, false);
  QTRY_VERIFY_WITH_TIMEOUT(!v.window->isVisible(), 30000);
  QVERIFY(shownDuringLookup && refused && !v.window->Busy());
  QCOMPARE(QString::fromStdString(ReadText(calls)).count('\n'), 1);
  QTRY_VERIFY(!ProcessRunsWith(sample.store.string()));
  QCOMPARE(SavedSettings(v.ini).lastFile, (sample.locomotive / "config.txt").string());
}

// An open that loads nothing leaves what was shown, and says why.
void MainWindowTest::failedLoadKeepsWhatWasShown() {
  Viewer v;
  const auto sample = fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
  MainWindow& w = v.Start({v.mesh.string()});
  w.resize(640, 480);
  QVERIFY(NextFrame(w));
  const QString title = w.windowTitle();
  const QStringList data = MeshDataTexts(w);
  const auto camera = Camera(w.Frame().view);
  const QImage before = w.Ui().glView->grabFramebuffer();
  const fs::path noConfig = v.dir.path() / "empty-asset";
  fs::create_directories(noConfig);
  WriteText(v.dir.path() / "broken.im", "not a mesh at all");
  fs::path damagedEarly = v.dir.path() / "early.im";
  {
    // Cut inside the first object: nothing of the mesh is left to show.
    const std::string whole = ReadText(sample.locomotive / "body.im");
    WriteText(damagedEarly, whole.substr(0, 40));
  }
  const struct {
    fs::path path;
    std::string reason;
  } rows[] = {{v.dir.path() / "broken.im", "not a mesh file"},
              {damagedEarly, ""},
              {noConfig, "Cannot find \"config.txt\" file."},
              {v.dir.path() / "notes.doc", "File not found"}};
  for (const auto& row : rows) {
    const std::size_t told = v.notifier.notices.size();
    w.OpenPath(row.path);
    QVERIFY2(v.Loaded(), qPrintable(QString::fromStdString(row.path.string())));
    QCOMPARE(w.windowTitle(), title);
    QCOMPARE(MeshDataTexts(w), data);
    QVERIFY(Camera(w.Frame().view) == camera);
    const QString status = w.Ui().statusLine->text();
    QVERIFY2(status.contains(QString::fromStdString(row.path.string())) &&
                 status.contains(QString::fromStdString(row.reason)),
             qPrintable(status));
    if (row.path == noConfig) QCOMPARE(v.notifier.notices.size(), told + 1);
    QVERIFY(std::find(w.Recent().Entries().begin(), w.Recent().Entries().end(),
                      row.path.string()) == w.Recent().Entries().end());
  }
  QVERIFY(NextFrame(w));
  QCOMPARE(PixelsOff(
               w.Ui().glView->grabFramebuffer(),
               [&](int x, int y) { return before.pixelColor(x, y); }, 2),
           0);
}

// Also run under a window manager by gui.main_window_framed.
void MainWindowTest::windowKeepsItsPlace() {
  Viewer v;
  WriteText(v.ini, "[Position]\nTop=200\nLeft=150\nWidth=500\nHeight=400\n" + kSetUp);
  const bool framed = qEnvironmentVariableIsSet("KELVANE_TEST_WINDOW_MANAGER");
  if (framed) {  // the window manager frames windows once it runs
    QWidget probe;
    probe.show();
    QTRY_VERIFY_WITH_TIMEOUT(FrameKnown(probe), 10000);
  }
  // The toolkit does not always learn the frame in time: the place holds either way.
  auto awaitFrame = [&] {
    if (framed) (void)QTest::qWaitFor([&v] { return FrameKnown(*v.window); }, 3000);
  };
  for (int start = 0; start < 3; ++start) {
    v.Open({});
    awaitFrame();
    v.Close();
    const ViewerSettings saved = SavedSettings(v.ini);
    QCOMPARE(QRect(saved.left, saved.top, saved.width, saved.height), QRect(150, 200, 500, 400));
  }
  WriteText(v.ini, "[Position]\nTop=-5000\nLeft=9000\nWidth=500\nHeight=400\n" + kSetUp);
  v.Open({});
  const QRect screen = v.window->screen()->availableGeometry();
  QVERIFY(screen.contains(v.window->geometry().topLeft()));
  v.Close();
  QVERIFY(screen.contains(QPoint(SavedSettings(v.ini).left, SavedSettings(v.ini).top)));
  WriteText(v.ini, kSetUp);  // never placed: the frame too starts on the screen
  v.Open({});
  awaitFrame();
  QVERIFY(screen.contains(v.window->frameGeometry().topLeft()));
}

// Run by gui.main_window_without_gl.
void MainWindowTest::withoutAContextFilesStillOpen() {
  Viewer v;
  const auto sample = fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
  MainWindow& w = v.Start({v.mesh.string()});
  if (w.Ui().glView->ContextReady())
    QSKIP("the view has a context; see gui.main_window_without_gl");
  QCOMPARE(v.notifier.notices.size(), std::size_t{1});
  QVERIFY(v.Loaded() && w.CurrentModel()->FaceCount() > 0);
  w.OpenPath(sample.locomotive);
  QVERIFY(v.Loaded() && IsTraincar(w));
  QCOMPARE(w.Ui().glView->FrameCount(), 0);
  v.Close();
  QCOMPARE(SavedSettings(v.ini).lastFile, (sample.locomotive / "config.txt").string());
}

void MainWindowTest::droppedFilesOpen() {
  Viewer v;
  const auto sample = fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
  MainWindow& w = v.Start({});
  auto drop = [&w](const fs::path& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path.string()))});
    QDragEnterEvent enter({50, 50}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped({50, 50}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &dropped);
    return true;
  };
  WriteText(v.dir.path() / "notes.doc", "nothing the viewer reads");
  QVERIFY(!drop(v.dir.path() / "notes.doc"));
  QVERIFY(drop(v.mesh.parent_path() / "wagon_body.tga"));
  QCOMPARE(w.Session().Kind(), ContentKind::kTexture);
  QVERIFY(drop(v.mesh));
  QVERIFY(v.Loaded() && !IsTraincar(w));
  QCOMPARE(w.CurrentFile(), v.mesh.string());
  QVERIFY(drop(sample.locomotive));
  QVERIFY(v.Loaded() && IsTraincar(w));
  QCOMPARE(w.CurrentFile(), (sample.locomotive / "config.txt").string());
}

// A texture opens on its own, and a mesh under another name by its first
// bytes, from the command line as from the file manager.
void MainWindowTest::texturesAndRenamedMeshesOpen() {
  Viewer v;
  const fs::path renamed = v.dir.path() / "wagon-copy.bin";
  fs::copy_file(v.mesh, renamed);
  const struct {
    fs::path file;
    ContentKind kind;
    QString status;
  } rows[] = {
      {v.mesh.parent_path() / "wagon_body.tga", ContentKind::kTexture, "wagon_body.tga: TGA"},
      {v.mesh.parent_path() / "roof.texture", ContentKind::kTexture,
       "roof.texture: texture container"},
      {renamed, ContentKind::kMesh, "wagon-copy.bin"}};
  for (const auto& row : rows) {
    MainWindow& w = v.Start({row.file.string()});
    QVERIFY2(v.Loaded(), qPrintable(QString::fromStdString(row.file.string())));
    QCOMPARE(w.Session().Kind(), row.kind);
    QVERIFY2(w.Ui().statusLine->text().contains(row.status), qPrintable(w.Ui().statusLine->text()));
    QVERIFY(w.windowTitle().contains(QString::fromStdString(row.file.filename().string())));
    w.resize(480, 360);
    QVERIFY(NextFrame(w));
    // The picture or the mesh covers the middle of the view.
    const QImage shown = w.Ui().glView->grabFramebuffer();
    const QColor background = shown.pixelColor(1, 1);
    const QRect middle(shown.width() / 4, shown.height() / 4, shown.width() / 2,
                       shown.height() / 2);
    const int covered = CountPixels(shown, [&](int x, int y, QColor c) {
      return middle.contains(x, y) && !Near(c, background, 8);
    });
    QVERIFY2(
        covered > middle.width() * middle.height() / 4,
        qPrintable(QString::fromStdString(row.file.string()) + ": " + QString::number(covered)));
    v.Close();
  }
}

// File > Export glTF... writes what is open where the user says.
void MainWindowTest::exportWritesWhatIsOpen() {
  Viewer v;
  MainWindow& w = v.Start({v.mesh.string()});
  const fs::path glb = v.dir.path() / "wagon.glb";
  w.Interaction().chooseExportFile = [&glb] { return glb; };
  w.Ui().exportAction->trigger();
  QVERIFY(v.notifier.notices.empty());
  QCOMPARE(ReadText(glb).substr(0, 4), std::string("glTF"));
  QVERIFY(w.Ui().statusLine->text().contains(QString::fromStdString(glb.string())));
}

// A traincar goes out with the track the view shows: at the gauge and
// spacing of the settings, and none once "No Track" is chosen.
void MainWindowTest::exportAddsTheTrackShown() {
  Viewer v;
  const auto sample = fixtures::WriteSampleTraincar(v.dir.path(), KELVANE_STANDIN);
  MainWindow& w =
      v.Start({sample.locomotive.string()}, kSetUp + "[Track]\nGauge=1.05\nTieSpacing=2000\n");
  QVERIFY(IsTraincar(w) && v.Loaded());
  const fs::path glb = v.dir.path() / "car.glb";
  w.Interaction().chooseExportFile = [&glb] { return glb; };
  // The rails' places, the number of sleepers, or nothing without a track.
  auto exported = [&] {
    w.Ui().exportAction->trigger();
    const auto read = testing::ReadGlb(glb);
    std::vector<float> rails;
    int sleepers = 0;
    for (const auto& node : read ? read->document["nodes"] : nlohmann::json::array()) {
      const std::string name = node.value("name", std::string());
      if (name == "rail") rails.push_back(node["translation"][0].get<float>());
      sleepers += name == "sleeper";
    }
    return std::pair{rails, sleepers};
  };
  QCOMPARE(exported(), std::pair(std::vector<float>{-0.525f, 0.525f}, 21));
  w.Interaction().execDialog = [](QDialog& dialog) {
    qobject_cast<AdjustTrackDialog*>(&dialog)->gaugeCombo->setCurrentIndex(kNoTrackGaugeIndex);
    return 1;
  };
  w.AdjustTrack();
  QCOMPARE(exported(), std::pair(std::vector<float>{}, 0));
  QVERIFY(v.notifier.notices.empty());
}

void MainWindowTest::stepperWalksTheAttachmentPoints() {
  Viewer v;
  MainWindow& w = v.Start({v.mesh.string()});
  const int points = w.Unit().AttachmentCount;
  QVERIFY(points >= 2);
  w.ShowAttachments();
  for (QToolButton* button : {w.Ui().stepper->upButton, w.Ui().stepper->downButton}) {
    for (int i = 0; i < points + 1; ++i)
      button->click();
    const int end = button == w.Ui().stepper->upButton ? points - 1 : 0;
    QCOMPARE(w.Frame().modes.AttIndex, end);
    QCOMPARE(w.Ui().nameBox->text().toStdString(), w.Unit().AttachmentTable.at(end).name);
  }
  w.AttachmentSize();
  const int gap = w.Ui().stepper->x() - (w.Ui().nameBox->x() + w.Ui().nameBox->width());
  QVERIFY2(gap >= 0 && gap < 8, qPrintable(QString::number(gap)));
  const int size = w.Settings().attSize;
  w.Ui().stepper->upButton->click();
  QCOMPARE(w.Ui().nameBox->text(), QString::number(size + 1));
}

void MainWindowTest::recentFilesKeepTheNewestEight() {
  Viewer v;
  MainWindow& w = v.Start({}, "[MRU]\nlastfile=" + (v.dir / "gone.im").string() + "\n" + kSetUp);
  QTest::keyClick(&w, Qt::Key_R);
  QCOMPARE(v.notifier.notices.size(), std::size_t{1});
  QVERIFY(w.Ui().reopenAction->text().isEmpty() && w.CurrentFile().empty());
  QVERIFY(w.Recent().Entries().empty());
  std::vector<std::string> meshes;
  for (int i = 1; i <= 9; ++i) {
    meshes.push_back((v.mesh.parent_path() / ("m" + std::to_string(i) + ".im")).string());
    fs::copy_file(v.mesh, meshes.back());
    w.OpenPath(meshes.back());
  }
  using List = std::vector<std::string>;
  QCOMPARE(w.Recent().Entries(), (List(meshes.rbegin(), meshes.rbegin() + 8)));
  w.OpenPath(meshes[4]);
  QCOMPARE(w.Recent().Entries(), (List{meshes[4], meshes[8], meshes[7], meshes[6], meshes[5],
                                       meshes[3], meshes[2], meshes[1]}));
  QCOMPARE(w.Ui().reopenAction->text().trimmed(), QString("m5.im"));
  QCOMPARE(w.Ui().recentMenu->Items().size(), std::size_t{7});
  QCOMPARE(w.Ui().recentMenu->Items()[0]->text().trimmed(), QString("wagon/m9.im"));
  fs::remove(meshes[2]);
  w.Ui().recentMenu->Items()[5]->trigger();  // m3.im
  QCOMPARE(v.notifier.notices.size(), std::size_t{2});
  const List kept = w.Recent().Entries();
  QCOMPARE(kept.size(), std::size_t{7});
  QVERIFY(std::find(kept.begin(), kept.end(), meshes[2]) == kept.end());
  QCOMPARE(w.CurrentFile(), meshes[4]);
  QVERIFY(v.Loaded());
  v.Close();
  v.Open({});
  QCOMPARE(v.window->Recent().Entries(), kept);
  QCOMPARE(v.window->Ui().recentMenu->Items().size(), std::size_t{6});
}

void MainWindowTest::texturesDialogListsHighlightsAndExports() {
  Viewer v;
  MainWindow& w = v.Start({v.mesh.string()});
  QStringList files;
  QSize exported;
  w.Interaction().execDialog = [&](QDialog& dialog) {
    auto* d = qobject_cast<TexturesDialog*>(&dialog);
    for (int row = 0; row < d->table->rowCount(); ++row)
      files << d->table->item(row, 0)->text() + " " + d->table->item(row, 1)->text();
    d->SelectRow(1);
    if (d->ExportPng(v.dir / "roof.png"))
      exported = QImage(QString::fromStdString((v.dir / "roof.png").string())).size();
    return 1;
  };
  w.Textures();
  QCOMPARE(files, QStringList({"wagon_body.tga tga", "roof.texture dxt1", "frame.jpg jpeg",
                               "buffers.bmp bmp"}));
  QVERIFY(w.Frame().modes.LocateTextureMode);
  QCOMPARE(w.Frame().draw.HighlightTextureName, std::string("roof.texture"));
  QCOMPARE(exported, QSize(64, 64));
}

void MainWindowTest::changedFilesReloadAndDamageKeepsTheLastPicture() {
  Viewer v;
  MainWindow& w = v.Start({v.mesh.string()});
  QVERIFY(w.Ui().reloadOnChangeAction->isChecked());
  // A camera of the user's own: turned, tilted and panned with the keys.
  for (Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Left, Qt::Key_Left, Qt::Key_Left})
    QTest::keyClick(&w, key);
  QTest::keyClick(&w, Qt::Key_Right, Qt::ControlModifier);
  QVERIFY(w.Frame().view.RotX == 4.0f && w.Frame().view.PanX != 0.0f);
  const ViewState camera = w.Frame().view;
  QVERIFY(NextFrame(w));
  const QImage before = w.Ui().glView->grabFramebuffer();
  using namespace kelvane::fixtures;
  const Picture<Rgba8> green{64, 64, std::vector<Rgba8>(64 * 64, {0, 230, 0, 255})};
  WriteFile(v.mesh.parent_path() / "wagon_body.tga", WriteTga(TgaTrueColour(green, 24, false)));
  WriteFile(v.mesh, SampleWagonMesh());
  QTRY_VERIFY_WITH_TIMEOUT(w.Ui().statusLine->text().contains("(reloaded)"), 20000);
  QCOMPARE(Camera(w.Frame().view), Camera(camera));
  QVERIFY(NextFrame(w));
  const QImage reloaded = w.Ui().glView->grabFramebuffer();
  QVERIFY(reloaded != before);
  auto damaged = SampleWagonMesh();
  damaged.resize(damaged.size() / 2);
  WriteFile(v.mesh, damaged);
  QTRY_VERIFY_WITH_TIMEOUT(w.Ui().statusLine->text().startsWith("Reload failed"), 20000);
  QVERIFY(NextFrame(w));
  QCOMPARE(w.Ui().glView->grabFramebuffer(), reloaded);
  QVERIFY2(v.notifier.notices.empty(), "no message box for a reload");
}
