#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "assets/traincar.h"
#include "fixtures/asset_writer.h"
#include "platform/dos_command.h"
#include "platform/notices.h"
#include "support/temp_dir.h"

namespace kelvane::testing {

// A simulator installation in a temporary folder: bin/ with the stand-in
// utility, store/ with assets only the utility can open, and
// userdata/editing/ with the assets open for editing.
struct AssetWorld {
  explicit AssetWorld(const std::string& rootName = "Velmora") : root(dir / rootName) {
    std::filesystem::create_directories(editing);
  }

  TempDir dir;
  std::filesystem::path root;
  std::filesystem::path bin = root / "bin";
  std::filesystem::path store = root / "store";
  std::filesystem::path editing = root / "userdata" / "editing";
  std::filesystem::path record = dir / "utility-calls.txt";

  void InstallUtility(bool fail = false, bool hold = false) {
    fixtures::WriteStandInUtility(bin, {KELVANE_STANDIN, store, editing, 0, fail, record, hold});
  }
  // The arguments of every utility call, one line each.
  std::string UtilityCalls() const { return ReadText(record); }
};

// The working folder changed for a scope.
class ScopedWorkingFolder {
 public:
  explicit ScopedWorkingFolder(const std::filesystem::path& folder)
      : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ScopedWorkingFolder(const ScopedWorkingFolder&) = delete;
  ScopedWorkingFolder& operator=(const ScopedWorkingFolder&) = delete;
  ~ScopedWorkingFolder() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};

// An environment variable set for a scope (unset when `value` is null).
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;
  ~ScopedVariable() {
    if (saved_) {
      ::setenv(name_.c_str(), saved_->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// Everything a composition or lookup needs. Polls are short and the
// utility is waited for until it ends: no test depends on how fast it runs.
struct Workbench {
  TraincarState state;
  MeshUnitState unit;
  RecordingNotifier notifier;
  LoadContext load{unit, notifier};
  T3DScene scene;
  MainTaskQueue mainThread;
  TDosCommand runner{notifier, mainThread.Dispatcher()};

  static ResolverTiming Patient() {
    return {.round = std::chrono::milliseconds(5), .rounds = 1 << 30, .settle = {}};
  }
  ResolverContext Resolver() {
    ResolverContext context{state.AssetFolder, runner, state.Memo1};
    context.hooks.pump = [this] { mainThread.RunPending(); };
    context.timing = Patient();
    return context;
  }
  TraincarContext Traincar() {
    TraincarContext context{state, scene, load, notifier, runner};
    context.hooks.pump = [this] { mainThread.RunPending(); };
    context.timing = Patient();
    return context;
  }
  bool Compose(const std::filesystem::path& folder) {
    state.AssetFolder = folder;
    TraincarContext context = Traincar();
    return ConfigOpen(context);
  }
};

}  // namespace kelvane::testing
