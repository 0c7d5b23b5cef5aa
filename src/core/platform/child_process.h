#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>
#include <unistd.h>

namespace kelvane {

// A file descriptor closed when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// A pipe whose ends close on exec and are above the standard handles.
// Returns 0 or the system's error code.
int MakePipe(UniqueFd& readEnd, UniqueFd& writeEnd);
void SetNonBlocking(int fd);
// How many bytes a read would get now without waiting.
std::size_t BytesWaiting(int fd);

// This program's environment with `assignments` ("NAME=value") put over it.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>& assignments);

// Starts `words` (program first, looked up on the PATH) in a process group of
// its own with a clean signal state, its standard input from `input` and its
// standard output and error into `output`. Returns 0 or the system's error
// code.
int SpawnChild(const std::vector<std::string>& words, std::vector<std::string> environment,
               int input, int output, pid_t& pid);

// The exit code once the child has ended (128 + the signal for one that was
// killed), else nothing.
std::optional<std::uint32_t> PollChildExit(pid_t pid);
// Kills the child and its process group and waits for it.
void KillAndReapChild(pid_t pid);

// Holds SIGPIPE back on the calling thread, so a write to a closed pipe fails
// with EPIPE instead of ending the program; the second consumes one that is
// pending.
void BlockPipeSignal();
void ConsumePipeSignal();

}  // namespace kelvane
