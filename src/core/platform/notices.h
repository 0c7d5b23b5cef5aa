#pragma once

#include <string>
#include <vector>

namespace kelvane {

// A modal message box with one OK button, as the user sees it.
struct Notice {
  std::string caption;
  std::string text;
};

// Where the core reports to the user. The viewer shows message boxes, the
// command line prints them, tests record them.
class Notifier {
 public:
  virtual ~Notifier() = default;
  virtual void ShowMessage(const std::string& text, const std::string& caption) = 0;
  // The system's default beep; silent where there is none.
  virtual void Beep() {}
};

class RecordingNotifier final : public Notifier {
 public:
  void ShowMessage(const std::string& text, const std::string& caption) override {
    notices.push_back({caption, text});
  }
  void Beep() override { ++beeps; }
  std::vector<Notice> notices;
  int beeps = 0;
};

}  // namespace kelvane
