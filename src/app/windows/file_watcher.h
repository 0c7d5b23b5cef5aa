#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <map>
#include <vector>

namespace kelvane {

class T3DModel;

// Watches the files a model was read from and tells, once the writes have
// settled, that one of them changed. Editors write in several steps
// (truncate, write, rename over), so every event restarts a short wait.
class FileWatcher final : public QObject {
  Q_OBJECT

 public:
  explicit FileWatcher(QObject* parent = nullptr);

  // Replaces what is watched; files that do not exist yet count too.
  void Watch(const std::vector<std::filesystem::path>& files);
  void Clear() { Watch({}); }
  void SetSettleTime(std::chrono::milliseconds time) { settle_.setInterval(time); }

 signals:
  void changed();

 private:
  struct Stamp {
    bool exists = false;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type time{};
    bool operator==(const Stamp&) const = default;
  };
  static Stamp StampOf(const std::filesystem::path& file);
  void Settled();
  void Rearm();

  QFileSystemWatcher watcher_;
  QTimer settle_;
  std::map<std::filesystem::path, Stamp> stamps_;
};

// The files a mesh load reads: the mesh and, beside it, each texture its
// objects name, with the description file and the images it names.
std::vector<std::filesystem::path> ModelSourceFiles(const std::filesystem::path& meshFile,
                                                    const T3DModel& model);

}  // namespace kelvane
