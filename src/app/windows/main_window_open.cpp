// Opening meshes and traincars: File > Open, the re-open item, recent
// files, the command line and dropped files.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

#include "base/text.h"
#include "platform/wine_paths.h"
#include "shell/shell_rules.h"
#include "view/frame.h"
#include "windows/main_window.h"
#include "windows/main_window_parts.h"

namespace kelvane {

namespace fs = std::filesystem;

namespace {

std::string FileNameOf(const std::string& path) {
  return fs::path(path).filename().string();
}

}  // namespace

// True when the command line named a file or folder that was opened.
bool MainWindow::OpenFromCommandLine() {
  if (options_.arguments.size() != 1) return false;
  std::string parameter = options_.arguments.front();
  // Windows paths from the simulator's tools reach us through Wine's drives.
  const fs::path host = HostPathFromArgument(WinePrefix::FromEnvironment(), parameter);
  if (FolderExists(host)) {
    train.AssetFolder = host;
    currentFile = ConfigFileIn(host).string();
    ShowReopenItem(currentFile);
    NewScene();
    RunConfigOpen();
  } else {
    if (IsMeshFileName(parameter)) train.MeshFileName = host;
    if (train.MeshFileName.empty() || !FileExists(train.MeshFileName)) return false;
    currentFile = train.MeshFileName.string();
    ShowReopenItem(currentFile);
    NewScene();
    ViewMesh();
  }
  if (!closed_ && !train.ModelLoaded) glView->ShowBackgroundOnly();
  return true;
}

void MainWindow::ShowReopenItem(const std::string& file) {
  reopenAction->setText(QString::fromStdString("  " + FileNameOf(file)));
  recentFiles.Add(file);
  recentMenu->Update(recentFiles, file);
}

void MainWindow::NewScene() {
  if (glView->ContextReady()) glView->makeCurrent();
  currentModel_ = nullptr;
  scene_ = std::make_unique<T3DScene>();
  if (glView->ContextReady()) glView->doneCurrent();
}

void MainWindow::Open1Click() {
  QString folder;
  if (!currentFile.empty())
    folder = QString::fromStdString(fs::path(currentFile).parent_path().string());
  if (RefuseWhileBusy()) return;
  const bool wasReady = frame.view.MouseReady;
  frame.view.MouseReady = false;
  const auto chosen = interaction.chooseFile(folder, openFilter);
  if (!chosen) {
    // Nothing new was loaded: the old model turns as before.
    frame.view.MouseReady = wasReady;
    return;
  }
  OpenPath(*chosen);
}

void MainWindow::OpenPath(const fs::path& path) {
  if (RefuseWhileBusy()) return;
  train.TrainCarMode = false;
  train.ModelLoaded = false;
  NewScene();
  if (FolderExists(path)) {
    // A dropped asset folder opens its config.txt.
    currentFile = ConfigFileIn(path).string();
  } else {
    currentFile = path.string();
  }
  train.MeshFileName = currentFile;
  ShowReopenItem(currentFile);
  DispatchByExtension(currentFile);
  UpdateStatus();
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

void MainWindow::DispatchByExtension(const std::string& file) {
  const std::string ext = LowerExtension(file);
  if (ext == ".im" || ext == ".pm") {
    ViewMesh();
  } else if (ext == ".txt") {
    train.AssetFolder = fs::path(file).parent_path();
    RunConfigOpen();
  }
  // Whatever failed to load, no earlier picture stays under the new title.
  if (!closed_ && !train.ModelLoaded) glView->ShowBackgroundOnly();
}

void MainWindow::Open2Click() {
  if (RefuseWhileBusy()) return;
  train.MeshFileName = currentFile;
  if (!currentFile.empty() && FileExists(currentFile)) {
    train.ModelLoaded = false;
    train.TrainCarMode = false;
    NewScene();
    DispatchByExtension(currentFile);
  } else {
    notifier_.ShowMessage({.caption = "Info", .text = "File not found"});
    recentFiles.Remove(currentFile);
    recentMenu->Update(recentFiles, "");
    train.MeshFileName.clear();
    currentFile.clear();
    reopenAction->setText("");
  }
  UpdateStatus();
}

void MainWindow::ViewMesh() {
  frame.draw.BumpsOnly = false;
  showBumpsOnlyAction->setChecked(false);
  frame.modes.ShowAttachments = false;
  sizeMode = false;
  showAttachmentsAction->setChecked(false);
  attachmentSizeAction->setChecked(false);
  if (frame.modes.LocateTextureMode) LocateTexture1Click();
  frame.modes.LocateTextureMode = false;
  locateTextureAction->setChecked(false);
  textureIndex = 0;
  train.ModelLoaded = false;
  frame.view.RedrawPending = false;

  const fs::path file = train.MeshFileName;
  SetCaption(train.TrainCarMode ? TrainCarCaption(train.UserName)
                                : MeshCaption(file.filename().string()));
  if (!FileExists(file)) {
    // Only a name typed into the Open dialog gets here; the viewer closes.
    close();
    return;
  }
  frame.view.Zoom = 1.0f;
  frame.view.PanX = frame.view.PanY = 0.0f;
  frame.view.RotX = frame.view.RotY = 0.0f;
  if (glView->ContextReady()) glView->makeCurrent();
  currentModel_ = &scene_->AddModel();
  train.ModelLoaded = currentModel_->Load(file, load_);
  // Mesh Data describes the empty model a failed load leaves.
  if (!train.ModelLoaded) unit.MeshBounds = TMeshBounds{};
  if (glView->ContextReady()) glView->doneCurrent();
  AfterLoad(true);
  WatchLoadedFiles();
}

// The part of opening a mesh that follows its load; a traincar frames its
// first mesh only.
void MainWindow::AfterLoad(bool firstOfView) {
  if (firstOfView) {
    frame.view.Zoom = FramingZoom(unit, false);
    if (train.TrainCarMode) frame.view.RotY = kTraincarTurn;
  }
  if (train.ModelLoaded && !frame.view.MouseReady) mouseArmTimer.start();
  FormResize();
  UpdateStatus();
}

void MainWindow::RunConfigOpen() {
  SetBusy(true);
  if (glView->ContextReady()) glView->makeCurrent();
  TraincarContext context{train, *scene_, load_, notifier_, runner_};
  context.hooks.stopRequested = [this] { return closeRequested_; };
  context.hooks.pump = [this] {
    mainThread_.RunPending();
    SyncMemo();
    QCoreApplication::processEvents();
    if (glView->ContextReady()) glView->makeCurrent();
  };
  context.hooks.busyCursor = [](bool busy) {
    if (busy) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
      QApplication::restoreOverrideCursor();
    }
  };
  // The bump slider serves every mesh of the car, so it is offered when any
  // of them, not only the last one loaded, got a bump map.
  bool carHasBumps = false;
  context.onModelLoaded = [this, &carHasBumps](T3DModel& model, bool loaded) {
    carHasBumps = carHasBumps || unit.AnyBumpLoaded;
    // Each mesh of the car goes through the steps of opening a mesh.
    frame.draw.BumpsOnly = frame.modes.ShowAttachments = sizeMode = frame.modes.LocateTextureMode =
        false;
    for (QAction* a :
         {showBumpsOnlyAction, showAttachmentsAction, attachmentSizeAction, locateTextureAction})
      a->setChecked(false);
    textureIndex = 0;
    SetCaption(TrainCarCaption(train.UserName));
    if (train.FirstMesh) {
      frame.view.PanX = frame.view.PanY = 0.0f;
      frame.view.RotX = frame.view.RotY = 0.0f;
      frame.view.Zoom = 1.0f;
    }
    currentModel_ = &model;
    train.ModelLoaded = loaded;
    AfterLoad(train.FirstMesh);
    if (glView->ContextReady()) glView->makeCurrent();
  };
  ConfigOpen(context);
  mainThread_.RunPending();
  if (train.TrainCarMode) {
    unit.AnyBumpLoaded = carHasBumps;
    LoadTrackTextures();
  }
  if (glView->ContextReady()) glView->doneCurrent();
  SyncMemo();
  SetBusy(false);
  WatchLoadedFiles();
  RequestFrame();
  if (closeRequested_) QTimer::singleShot(0, this, [this] { close(); });
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
  statusLine->setText("The viewer is busy opening a traincar; try again when it is open");
  return true;
}

void MainWindow::LoadTrackTextures() {
  DeleteTrackTextures();
  // Beside the program in a build, in the install prefix's data folder once installed.
  const bool beside =
      FileExists(exeFolder / "BallastTexture.jpg") || FileExists(exeFolder / "GroundTexture.jpg");
  const fs::path folder = beside ? exeFolder : options_.installedDataFolder;
  const fs::path ballast = folder / "BallastTexture.jpg";
  const fs::path ground = folder / "GroundTexture.jpg";
  if (FileExists(ballast))
    frame.track.BallastLoaded =
        loader_.LoadTexture(ballast, frame.track.BallastTexture, false, kTrackTextureKind);
  if (FileExists(ground))
    frame.track.GroundLoaded =
        loader_.LoadTexture(ground, frame.track.GroundTexture, false, kTrackTextureKind);
}

void MainWindow::DeleteTrackTextures() {
  if (frame.track.BallastLoaded)
    uploader_.Delete(std::span<const std::uint32_t>(&frame.track.BallastTexture, 1));
  if (frame.track.GroundLoaded)
    uploader_.Delete(std::span<const std::uint32_t>(&frame.track.GroundTexture, 1));
  frame.track.BallastLoaded = frame.track.GroundLoaded = false;
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (RefuseWhileBusy()) return;
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() == 1 && urls.front().isLocalFile()) {
    const std::string path = urls.front().toLocalFile().toStdString();
    const std::string ext = LowerExtension(path);
    if (FolderExists(path) || ext == ".im" || ext == ".pm" || ext == ".txt") {
      event->acceptProposedAction();
    }
  }
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile() || RefuseWhileBusy()) return;
  event->acceptProposedAction();
  OpenPath(urls.front().toLocalFile().toStdString());
}

}  // namespace kelvane
