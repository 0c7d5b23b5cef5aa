#include "platform/child_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string_view>

#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

extern char** environ;

namespace kelvane {

namespace {

// The child's standard handles are put in place by dup2, which only works
// cleanly when no pipe end is itself 0, 1 or 2 (a parent started with a
// closed standard handle hands those numbers out).
int MoveAboveStandardHandles(int fd) {
  if (fd > STDERR_FILENO) return fd;
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int error = errno;
  ::close(fd);
  errno = error;
  return moved;
}

std::uint32_t ExitCodeOf(int waitStatus) {
  if (WIFEXITED(waitStatus)) return static_cast<std::uint32_t>(WEXITSTATUS(waitStatus));
  // The shells' convention for a child ended by a signal.
  if (WIFSIGNALED(waitStatus)) return 128u + static_cast<std::uint32_t>(WTERMSIG(waitStatus));
  return 0;
}

class SpawnFileActions {
 public:
  SpawnFileActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
 public:
  SpawnAttributes() { posix_spawnattr_init(&attributes_); }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

sigset_t PipeSignal() {
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  return pipeSignal;
}

}  // namespace

// Both ends close on exec, so a child never holds another run's pipes.
int MakePipe(UniqueFd& readEnd, UniqueFd& writeEnd) {
  int fds[2];
#ifdef __linux__
  if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
#else
  if (::pipe(fds) != 0) return errno;
  ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
#endif
  const int r = MoveAboveStandardHandles(fds[0]);
  const int rError = errno;
  const int w = MoveAboveStandardHandles(fds[1]);
  const int wError = errno;
  readEnd.Reset(r);
  writeEnd.Reset(w);
  if (r < 0) return rError;
  if (w < 0) return wError;
  return 0;
}

void SetNonBlocking(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

std::size_t BytesWaiting(int fd) {
  int waiting = 0;
  if (::ioctl(fd, FIONREAD, &waiting) != 0 || waiting < 0) return 0;
  return static_cast<std::size_t>(waiting);
}

std::vector<std::string> ChildEnvironment(const std::vector<std::string>& assignments) {
  const auto name = [](std::string_view variable) {
    return variable.substr(0, variable.find('='));
  };
  std::vector<std::string> variables;
  for (char** v = environ; v && *v; ++v) {
    const std::string_view variable(*v);
    const bool replaced =
        std::any_of(assignments.begin(), assignments.end(),
                    [&](const std::string& a) { return name(a) == name(variable); });
    if (!replaced) variables.emplace_back(variable);
  }
  variables.insert(variables.end(), assignments.begin(), assignments.end());
  return variables;
}

int SpawnChild(const std::vector<std::string>& words, std::vector<std::string> environment,
               int input, int output, pid_t& pid) {
  SpawnFileActions actions;
  posix_spawn_file_actions_adddup2(actions.get(), input, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(actions.get(), output, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.get(), output, STDERR_FILENO);

  // Its own process group, so that a stop reaches whatever it started too; a
  // clean signal state, whatever this program or thread has changed.
  SpawnAttributes attributes;
  posix_spawnattr_setflags(attributes.get(),
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(attributes.get(), 0);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(attributes.get(), &signals);
  for (const int s :
       {SIGPIPE, SIGCHLD, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2})
    sigaddset(&signals, s);
  posix_spawnattr_setsigdefault(attributes.get(), &signals);

  std::vector<std::string> argWords = words;
  std::vector<char*> argv;
  for (std::string& w : argWords)
    argv.push_back(w.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& v : environment)
    envp.push_back(v.data());
  envp.push_back(nullptr);

  const int error =
      posix_spawnp(&pid, argv[0], actions.get(), attributes.get(), argv.data(), envp.data());
  if (error != 0) pid = -1;
  return error;
}

std::optional<std::uint32_t> PollChildExit(pid_t pid) {
  int status = 0;
  pid_t r;
  do {
    r = ::waitpid(pid, &status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == pid) return ExitCodeOf(status);
  // Reaped by someone else (SIGCHLD ignored): it has ended, code unknown.
  if (r < 0) return 0u;
  return std::nullopt;
}

void KillAndReapChild(pid_t pid) {
  // The child is not reaped yet, so its id and group cannot have been reused.
  ::kill(-pid, SIGKILL);
  ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

void BlockPipeSignal() {
  const sigset_t pipeSignal = PipeSignal();
  pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
}

void ConsumePipeSignal() {
  const sigset_t pipeSignal = PipeSignal();
  const timespec none{0, 0};
  sigtimedwait(&pipeSignal, nullptr, &none);
}

}  // namespace kelvane
