#pragma once

#include <ostream>
#include <string>

#include "platform/notices.h"

namespace kelvane {

// Message boxes of the headless modes: one "caption: text" line each.
class StreamNotifier final : public Notifier {
 public:
  explicit StreamNotifier(std::ostream& out) : out_(out) {}
  void ShowMessage(const Notice& notice) override {
    out_ << notice.caption << ": " << notice.text << '\n';
  }

 private:
  std::ostream& out_;
};

}  // namespace kelvane
