// Opening meshes and traincars: File > Open, the re-open item, recent
// files, the command line, dropped files and reloads when files change.
// What is open is the session's; the window only shows it.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

#include "base/text.h"
#include "platform/wine_paths.h"
#include "shell/shell_rules.h"
#include "view/frame.h"
#include "windows/file_watcher.h"
#include "windows/main_window.h"
#include "windows/main_window_parts.h"

namespace kelvane {

namespace fs = std::filesystem;

namespace {

constexpr int kReloadRetryMs = 300;

}  // namespace

SessionOptions MainWindow::SessionSetUp() {
  SessionOptions o;
  o.notifier = &notifier_;
  // The glTF export writes the pictures as they were decoded.
  o.keepPictures = true;
  // Mesh Data shows the texture bytes each upload took.
  o.recordTextures = true;
  o.uploader = [this](TextureLoaderState& state) {
    return std::make_unique<ViewTextureUploader>(state, [this] { return glView->ContextReady(); });
  };
  // Beside the program in a build, in the install prefix's data folder once installed.
  const bool beside = FileExists(options_.exeFolder / "BallastTexture.jpg") ||
                      FileExists(options_.exeFolder / "GroundTexture.jpg");
  o.trackFolder = beside ? options_.exeFolder : options_.installedDataFolder;
  o.hooks.stopRequested = [this] { return closeRequested_; };
  o.hooks.pump = [this] {
    SyncLog(session_.Log());
    QCoreApplication::processEvents();
    if (glView->ContextReady()) glView->makeCurrent();
  };
  o.hooks.busyCursor = [](bool busy) {
    if (busy) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
      QApplication::restoreOverrideCursor();
    }
  };
  return o;
}

// True when the command line named a file or folder that was opened.
bool MainWindow::OpenFromCommandLine() {
  if (options_.arguments.size() != 1) return false;
  const std::string& parameter = options_.arguments.front();
  // Windows paths from the simulator's tools reach us through Wine's drives.
  const fs::path host = HostPathFromArgument(WinePrefix::FromEnvironment(), parameter);
  fs::path file = settings.lastFile;
  // A mesh, a texture or a traincar by its name or first bytes; anything
  // else leaves the remembered file.
  if (IsMeshFileName(parameter) || ContentKindOf(host) != ContentKind::kNothing) {
    // Relative to where the viewer was started, bare "config.txt" included,
    // and remembered as a place that holds from anywhere.
    std::error_code ec;
    file = fs::absolute(host, ec);
    if (ec) file = host;
  }
  if (file.empty() || (!FolderExists(file) && !FileExists(file))) return false;
  OpenContent(file);
  return true;
}

void MainWindow::ShowReopenItem(const std::string& file) {
  reopenAction->setText(ReopenCaption(file));
  recentMenu->Update(recentFiles, file);
}

void MainWindow::OpenFile() {
  QString folder;
  if (!currentFile.empty())
    folder = QString::fromStdString(fs::path(currentFile).parent_path().string());
  if (RefuseWhileBusy()) return;
  const bool wasReady = frame.view.MouseReady;
  frame.view.MouseReady = false;
  const auto chosen = interaction.chooseFile(folder, openFilter);
  // Nothing new, or nothing that loaded: the old model turns as before.
  frame.view.MouseReady = wasReady;
  if (chosen) OpenPath(*chosen);
}

void MainWindow::OpenPath(const fs::path& path) {
  if (RefuseWhileBusy()) return;
  OpenContent(path);
}

void MainWindow::OpenRecent(const std::string& file) {
  if (!FileExists(file)) {
    notifier_.ShowMessage({.caption = "Info", .text = "File not found"});
    recentFiles.Remove(file);
    recentMenu->Update(recentFiles, currentFile);
    return;
  }
  OpenPath(file);
}

void MainWindow::ReopenLast() {
  if (RefuseWhileBusy()) return;
  if (!currentFile.empty() && FileExists(currentFile)) {
    OpenContent(currentFile);
    return;
  }
  notifier_.ShowMessage({.caption = "Info", .text = "File not found"});
  recentFiles.Remove(currentFile);
  recentMenu->Update(recentFiles, "");
  currentFile.clear();
  reopenAction->setText("");
  UpdateStatus();
}

void MainWindow::OpenContent(const fs::path& path) {
  SetBusy(true);
  if (glView->ContextReady()) glView->makeCurrent();
  const OpenOutcome outcome = session_.Open(path);
  // The picture of a texture shown before goes with it.
  if (outcome.replaced && glView->ContextReady()) ReleaseTextureViewGl(frame.textureGl);
  if (glView->ContextReady()) glView->doneCurrent();
  SetBusy(false);
  SyncLog(session_.Log());
  if (outcome.replaced) {
    ShowOpened(outcome);
  } else {
    // What was shown stays, and so does everything about it.
    ShowStatus(
        QString::fromStdString(OneLine("Could not open " + path.string() + ": " + outcome.reason)));
  }
  if (session_.Loaded() && !frame.view.MouseReady) mouseArmTimer.start();
  if (closeRequested_) QTimer::singleShot(0, this, [this] { close(); });
}

// What opening a mesh does to the window once the session holds it.
void MainWindow::ShowOpened(const OpenOutcome& outcome) {
  frame.draw.BumpsOnly = false;
  frame.modes.ShowAttachments = false;
  sizeMode = false;
  if (frame.modes.LocateTextureMode) LocateTexture();
  frame.modes.LocateTextureMode = false;
  for (QAction* a :
       {showBumpsOnlyAction, showAttachmentsAction, attachmentSizeAction, locateTextureAction})
    a->setChecked(false);
  textureIndex = 0;

  ShowCaption();
  frame.view.Zoom = 1.0f;
  frame.view.PanX = frame.view.PanY = 0.0f;
  frame.view.RotX = frame.view.RotY = 0.0f;
  if (outcome.firstView) {
    frame.view.Zoom = outcome.firstView->zoom;
    frame.view.RotY = outcome.firstView->rotY;
  }
  currentFile = outcome.recentEntry.string();
  if (outcome.loaded) recentFiles.Add(currentFile);
  ShowReopenItem(currentFile);
  FormResize();
  UpdateStatus();
  WatchLoadedFiles();
  // Whatever failed to load, no earlier picture stays under the new title.
  if (!closed_ && !outcome.loaded) glView->ShowBackgroundOnly();
}

void MainWindow::ShowCaption() {
  const TraincarState* car = session_.Traincar();
  const std::string name = session_.OpenedPath().filename().string();
  switch (session_.Kind()) {
    case ContentKind::kTraincar:
      SetCaption(TrainCarCaption(car ? car->UserName : std::string()));
      break;
    case ContentKind::kTexture:
      SetCaption(TextureCaption(name));
      break;
    default:
      SetCaption(MeshCaption(name));
  }
}

void MainWindow::SetBusy(bool busy) {
  composing_ = busy;
  for (QAction* a : {openAction, reopenAction, openWithAction})
    a->setEnabled(!busy);
  UpdateStatus();
}

// Commands that would replace what the composition works on are refused
// while it runs; the status line says why.
bool MainWindow::RefuseWhileBusy() {
  if (!composing_) return false;
  ShowStatus("The viewer is busy opening a traincar; try again when it is open");
  return true;
}

void MainWindow::WatchLoadedFiles() {
  std::vector<fs::path> files;
  const T3DScene* scene = session_.Scene();
  if (settings.reloadOnChange && session_.Loaded()) {
    const std::vector<fs::path> meshes = session_.MeshFiles();
    for (std::size_t i = 0; scene && i < meshes.size() && i < scene->ModelCount(); ++i) {
      for (const auto& file : ModelSourceFiles(meshes[i], scene->Model(i)))
        files.push_back(file);
    }
    if (session_.Kind() != ContentKind::kMesh) files.push_back(session_.OpenedPath());
  }
  watcher_->Watch(files);
}

void MainWindow::ReloadOnChange() {
  settings.reloadOnChange = !settings.reloadOnChange;
  reloadOnChangeAction->setChecked(settings.reloadOnChange);
  WatchLoadedFiles();
}

// The new content is read beside the old one, quietly; it replaces the old
// one only when it loaded and said nothing new, so a half-written or
// damaged file leaves the last good picture in place.
void MainWindow::ReloadFromDisk() {
  if (closed_ || !settings.reloadOnChange || !session_.Loaded()) return;
  if (composing_) {
    // An open is under way on the session and the utility's runner: the
    // reload waits until that is over.
    QTimer::singleShot(kReloadRetryMs, this, [this] { ReloadFromDisk(); });
    return;
  }
  SetBusy(true);
  if (glView->ContextReady()) glView->makeCurrent();
  const OpenOutcome outcome = session_.Reload();
  if (outcome.replaced && glView->ContextReady()) ReleaseTextureViewGl(frame.textureGl);
  if (glView->ContextReady()) glView->doneCurrent();
  SetBusy(false);
  if (!outcome.loaded) {
    ShowStatus(QString::fromStdString(
        OneLine("Reload failed (" + outcome.reason + "); the last good model is shown")));
    // A file put back later is seen again.
    WatchLoadedFiles();
    return;
  }
  // An edited config.txt may name the car anew.
  ShowCaption();
  UpdateStatus();
  ShowStatus(statusLine->text() + "  (reloaded)");
  WatchLoadedFiles();
  RequestFrame();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (RefuseWhileBusy()) return;
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() == 1 && urls.front().isLocalFile()) {
    const std::string path = urls.front().toLocalFile().toStdString();
    if (ContentKindToOpen(path) != ContentKind::kNothing) event->acceptProposedAction();
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile() || RefuseWhileBusy()) return;
  event->acceptProposedAction();
  OpenPath(urls.front().toLocalFile().toStdString());
}

}  // namespace kelvane
