#pragma once

// Waits in tests end: a condition is polled until a deadline, and a wait
// that runs out ends the test with a message naming what it waited for.

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

namespace kelvane::testing {

// Far beyond any healthy run under the sanitizers on a busy machine: a
// deadline only turns a hang into a failure.
inline constexpr std::chrono::seconds kWaitDeadline{30};

// GoogleTest reports an exception that leaves a test as its failure, with
// this text.
class WaitTimedOut : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Polls `condition` every millisecond, calling `meanwhile` (when given)
// before each look; throws WaitTimedOut naming `what` once `deadline` has
// passed.
inline void WaitUntil(const std::string& what, const std::function<bool()>& condition,
                      const std::function<void()>& meanwhile = {},
                      std::chrono::milliseconds deadline = kWaitDeadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    if (meanwhile) meanwhile();
    if (condition()) return;
    if (std::chrono::steady_clock::now() > end) {
      throw WaitTimedOut("waited " + std::to_string(deadline.count() / 1000) + " s in vain for " +
                         what);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace kelvane::testing
