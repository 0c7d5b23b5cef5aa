#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

  void InstallUtility(int delayMs = 0, bool fail = false) {
    fixtures::WriteStandInUtility(bin, {KELVANE_STANDIN, store, editing, delayMs, fail, record});
  }
  // The arguments of every utility call, one line each.
  std::string UtilityCalls() const {
    std::ifstream in(record);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
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

// Everything a composition or lookup needs, with short waits.
struct Workbench {
  TraincarState state;
  MeshUnitState unit;
  RecordingNotifier notifier;
  LoadContext load{unit, notifier};
  T3DScene scene;
  MainTaskQueue mainThread;
  TDosCommand runner{notifier, mainThread.Dispatcher()};

  ResolverTiming Fast() const {
    ResolverTiming t;
    t.round = std::chrono::milliseconds(5);
    t.rounds = 400;  // two seconds
    t.settle = std::chrono::milliseconds(0);
    return t;
  }
  ResolverContext Resolver() {
    ResolverContext context{state.AssetFolder, runner, state.Memo1};
    context.hooks.pump = [this] { mainThread.RunPending(); };
    context.timing = Fast();
    return context;
  }
  TraincarContext Traincar() {
    TraincarContext context{state, scene, load, notifier, runner};
    context.hooks.pump = [this] { mainThread.RunPending(); };
    context.timing = Fast();
    return context;
  }
  bool Compose(const std::filesystem::path& folder) {
    state.AssetFolder = folder;
    TraincarContext context = Traincar();
    return ConfigOpen(context);
  }
};

}  // namespace kelvane::testing
