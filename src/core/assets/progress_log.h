#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kelvane {

// Lines of asset lookups and set-up steps, and what is under way while
// they are written. Whoever shows the lines decides from `stage` when they
// are worth showing.
struct ProgressLog {
  enum class Stage {
    kQuiet,   // nothing that needs the user's eye
    kLookup,  // an asset is being looked for, or the last lookup found nothing
    kSetUp,   // the host folders are being asked for
  };
  std::vector<std::string> lines;
  Stage stage = Stage::kQuiet;

  void Add(std::string line) { lines.push_back(std::move(line)); }
  void Clear() { lines.clear(); }
};

// Tasks the child-process runner hands to the main thread, run when the
// main thread pumps. Stands in for a window's message queue where there is
// none (command line, tests).
class MainTaskQueue {
 public:
  std::function<void(std::function<void()>)> Dispatcher() {
    return [this](std::function<void()> task) {
      std::lock_guard lock(mutex_);
      tasks_.push_back(std::move(task));
    };
  }
  void RunPending() {
    for (;;) {
      std::function<void()> task;
      {
        std::lock_guard lock(mutex_);
        if (tasks_.empty()) return;
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
      task();
    }
  }

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace kelvane
