#pragma once

#include <deque>
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
  virtual void ShowMessage(const Notice& notice) = 0;
  // A confirmation box with a question icon and the buttons Yes and No;
  // true for Yes. Where nobody can answer, the answer is No.
  virtual bool AskYesNo(const Notice& question) {
    (void)question;
    return false;
  }
  // The system's default beep; silent where there is none.
  virtual void Beep() {}
};

class RecordingNotifier final : public Notifier {
 public:
  void ShowMessage(const Notice& notice) override { notices.push_back(notice); }
  // Questions are recorded and answered from `answers`, then No.
  bool AskYesNo(const Notice& question) override {
    questions.push_back(question);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void Beep() override { ++beeps; }
  std::vector<Notice> notices;
  std::vector<Notice> questions;
  std::deque<bool> answers;
  int beeps = 0;
};

}  // namespace kelvane
