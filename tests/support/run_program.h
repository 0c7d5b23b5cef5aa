#pragma once

// Runs a program of ours as a user or a script would, with every argument
// passed as it is, and collects what it printed. A run that outlives its
// deadline is killed with everything it started, and the test fails naming
// the command.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/deadline.h"
#include "support/temp_dir.h"

extern char** environ;

namespace kelvane::testing {

struct ProcessResult {
  int status = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// How long a program of ours may run in a test: generous, so that only a
// hang reaches it.
inline constexpr std::chrono::seconds kProgramDeadline{60};

// Standard error goes through a file in `dir`; standard input is empty.
inline ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const TempDir& dir,
                                std::chrono::milliseconds deadline = kProgramDeadline) {
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  const auto errFile = dir / "stderr.txt";

  ProcessResult run;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  // A group of its own, so that a kill reaches whatever it started too.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return run;
  }

  const auto end = std::chrono::steady_clock::now() + deadline;
  bool timedOut = false;
  std::array<char, 4096> buffer;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd ready{out[0], POLLIN, 0};
    const int polled = poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) continue;  // the deadline is checked above
    const ssize_t n = read(out[0], buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // end of output
    run.out.append(buffer.data(), static_cast<std::size_t>(n));
  }
  close(out[0]);
  if (timedOut) kill(-pid, SIGKILL);
  // Output can end before the program does: its end has the same deadline.
  int raw = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &raw, timedOut ? 0 : WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) break;
    if (done == 0 && std::chrono::steady_clock::now() > end) {
      timedOut = true;
      kill(-pid, SIGKILL);
      continue;
    }
    if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (timedOut) {
    std::string command = program;
    for (const std::string& a : args)
      command += " " + a;
    throw WaitTimedOut("waited " + std::to_string(deadline.count() / 1000) + " s in vain for `" +
                       command + "` to end; killed it");
  }
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.err = ReadText(errFile);
  return run;
}

}  // namespace kelvane::testing
