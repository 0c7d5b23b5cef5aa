#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace kelvane {

// The main window's hidden progress box: lines of asset lookups and set-up
// steps, and whether the box is shown. The window mirrors it.
struct ProgressLog {
  std::vector<std::string> lines;
  bool visible = false;

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
