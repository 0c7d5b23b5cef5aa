// Reloading the open mesh or traincar when its files change on disk. The
// new model is read beside the old one, quietly; it replaces the old one
// only when it loaded whole, so a half-written or damaged file leaves the
// last good picture in place.

#include <QTimer>
#include <algorithm>

#include "assets/traincar.h"
#include "windows/file_watcher.h"
#include "windows/main_window.h"

namespace kelvane {

namespace fs = std::filesystem;

namespace {

constexpr int kReloadRetryMs = 300;

// The files of the models in the scene: the composition adds one name per
// model, and the last ones belong to the scene shown.
std::vector<fs::path> SceneFiles(const TraincarState& train, const T3DScene& scene,
                                 const std::string& currentFile) {
  if (!train.TrainCarMode) return {currentFile};
  const std::size_t n = std::min(scene.ModelCount(), train.ModelFiles.size());
  return {train.ModelFiles.end() - std::ptrdiff_t(n), train.ModelFiles.end()};
}

}  // namespace

std::vector<fs::path> MainWindow::LoadedMeshFiles() const {
  if (!scene_ || scene_->ModelCount() == 0 || currentFile.empty()) return {};
  return SceneFiles(train, *scene_, currentFile);
}

void MainWindow::WatchLoadedFiles() {
  std::vector<fs::path> files;
  if (settings.reloadOnChange && scene_) {
    const std::vector<fs::path> meshes = LoadedMeshFiles();
    for (std::size_t i = 0; i < meshes.size() && i < scene_->ModelCount(); ++i) {
      const std::size_t model = scene_->ModelCount() - meshes.size() + i;
      for (const auto& file : ModelSourceFiles(meshes[i], scene_->Model(model)))
        files.push_back(file);
    }
    if (train.TrainCarMode) files.push_back(currentFile);
  }
  watcher_->Watch(files);
}

void MainWindow::ReloadOnChange1Click() {
  settings.reloadOnChange = !settings.reloadOnChange;
  reloadOnChangeAction->setChecked(settings.reloadOnChange);
  WatchLoadedFiles();
}

void MainWindow::ReloadFromDisk() {
  if (closed_ || !settings.reloadOnChange || !scene_ || scene_->ModelCount() == 0) return;
  if (composing_) {
    // A traincar is being composed on the scene and the utility's runner:
    // the reload waits until that is over.
    QTimer::singleShot(kReloadRetryMs, this, [this] { ReloadFromDisk(); });
    return;
  }
  reloadNotices_.notices.clear();
  MeshUnitState trialUnit = unit;
  TraincarState trialTrain = train;
  auto trial = std::make_unique<T3DScene>();
  LoadContext load{trialUnit, reloadNotices_};
  load.textures = &reloadLoader_;
  bool ok = true;
  if (glView->ContextReady()) glView->makeCurrent();
  if (train.TrainCarMode) {
    TraincarContext context{trialTrain, *trial, load, reloadNotices_, runner_};
    context.hooks.pump = [this] { mainThread_.RunPending(); };
    context.onModelLoaded = [&ok](T3DModel&, bool loaded) { ok = ok && loaded; };
    ok = ConfigOpen(context) && ok;
    mainThread_.RunPending();
  } else {
    ok = trial->AddModel().Load(currentFile, load);
  }
  ok = ok && reloadNotices_.notices.empty();
  if (!ok) {
    trial.reset();  // its textures go while the context is current
    if (glView->ContextReady()) glView->doneCurrent();
    const std::string why = reloadNotices_.notices.empty() ? std::string("it could not be read")
                                                           : reloadNotices_.notices.front().text;
    statusLine->setText(
        QString::fromStdString("Reload failed (" + why + "); the last good model is shown"));
    return;
  }
  scene_ = std::move(trial);
  if (glView->ContextReady()) glView->doneCurrent();
  unit = trialUnit;
  if (train.TrainCarMode) train = std::move(trialTrain);
  currentModel_ = &scene_->Model(scene_->ModelCount() - 1);
  train.ModelLoaded = true;
  UpdateStatus();
  statusLine->setText(statusLine->text() + "  (reloaded)");
  WatchLoadedFiles();
  RequestFrame();
}

}  // namespace kelvane
