#include "windows/file_watcher.h"

#include <set>
#include <system_error>

#include "mesh/material_textures.h"
#include "mesh/model.h"
#include "platform/content_path.h"

namespace kelvane {

namespace fs = std::filesystem;

FileWatcher::FileWatcher(QObject* parent) : QObject(parent) {
  settle_.setSingleShot(true);
  settle_.setInterval(300);
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] { settle_.start(); });
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { settle_.start(); });
  connect(&settle_, &QTimer::timeout, this, [this] { Settled(); });
}

FileWatcher::Stamp FileWatcher::StampOf(const fs::path& file) {
  std::error_code ec;
  Stamp s;
  if (!fs::is_regular_file(file, ec)) return s;
  s.exists = true;
  s.size = fs::file_size(file, ec);
  s.time = fs::last_write_time(file, ec);
  return s;
}

void FileWatcher::Watch(const std::vector<fs::path>& files) {
  settle_.stop();
  stamps_.clear();
  for (const auto& file : files)
    stamps_[file] = StampOf(file);
  Rearm();
}

// A file replaced by a rename is no longer watched: the folders catch that,
// and every file that exists is watched again.
void FileWatcher::Rearm() {
  if (!watcher_.files().isEmpty()) watcher_.removePaths(watcher_.files());
  if (!watcher_.directories().isEmpty()) watcher_.removePaths(watcher_.directories());
  std::set<fs::path> folders;
  QStringList paths;
  for (const auto& [file, stamp] : stamps_) {
    folders.insert(file.parent_path());
    if (stamp.exists) paths << QString::fromStdString(file.string());
  }
  for (const auto& folder : folders)
    paths << QString::fromStdString(folder.string());
  if (!paths.isEmpty()) watcher_.addPaths(paths);
}

void FileWatcher::Settled() {
  bool any = false;
  for (auto& [file, stamp] : stamps_) {
    const Stamp now = StampOf(file);
    if (!(now == stamp)) {
      stamp = now;
      any = true;
    }
  }
  Rearm();
  if (any) emit changed();
}

std::vector<fs::path> ModelSourceFiles(const fs::path& meshFile, const T3DModel& model) {
  const fs::path folder = meshFile.parent_path();
  std::set<fs::path> files{meshFile};
  auto add = [&](const std::string& name) {
    if (name.empty()) return;
    const auto found = FindContentFile(folder, name);
    files.insert(found ? *found : folder / name);
  };
  for (const auto& object : model.objects) {
    const TMaterial& m = object->material;
    for (const std::string* name :
         {&m.primaryTextureName, &m.bumpTextureName, &m.reflectionTextureName}) {
      if (name->empty()) continue;
      add(*name);
      add(*name + ".txt");
      if (const auto description = FindContentFile(folder, *name + ".txt")) {
        const TextureDescription d = ReadTextureDescription(*description);
        add(d.primary);
        add(d.alpha);
      }
    }
  }
  return {files.begin(), files.end()};
}

}  // namespace kelvane
