#include "platform/dos_command.h"
#include "assets/progress_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "support/deadline.h"
#include "support/temp_dir.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KELVANE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KELVANE_SANITIZED 1
#endif
#endif

namespace kelvane {
namespace {

using namespace std::chrono_literals;
using Words = std::vector<std::string>;

// Runs handed-off tasks at once, on the reader thread.
void RunDirectly(std::function<void()> task) {
  task();
}

// Waits until `condition` holds, running the main thread's tasks meanwhile;
// past the deadline the test fails, naming `what`. Children that a test
// stops sleep 300 s, far beyond the deadline, so that only a stop ends them
// in time.
void WaitFor(const std::string& what, const std::function<bool()>& condition,
             MainTaskQueue* queue = nullptr) {
  testing::WaitUntil(what, condition, [queue] {
    if (queue) queue->RunPending();
  });
}

Words Sh(const std::string& script) {
  return {"/bin/sh", "-c", script};
}

void RunToEnd(TDosCommand& command, MainTaskQueue* queue = nullptr) {
  command.Execute();
  WaitFor(
      "the command to end", [&] { return !command.IsRunning(); }, queue);
}

// A process id the child printed as its line `index`.
pid_t PidOnLine(const TDosCommand& command, std::size_t index = 0) {
  WaitFor("output line " + std::to_string(index) + " (a process id)",
          [&] { return command.Lines().size() > index; });
  return static_cast<pid_t>(std::stol(command.Lines()[index]));
}

// State letter of a process from its /proc stat line, with its parent; state
// 0 when it is gone.
std::pair<char, pid_t> StateOf(const std::filesystem::path& procEntry) {
  std::ifstream stat(procEntry / "stat");
  std::string text;
  if (!std::getline(stat, text) || text.rfind(')') == std::string::npos) return {0, 0};
  std::istringstream fields(text.substr(text.rfind(')') + 1));
  char state = 0;
  pid_t parent = 0;
  fields >> state >> parent;
  return {state, parent};
}

// Killed and reaped: no trace left.
bool ProcessGone(pid_t pid) {
  return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Gone, or a zombie left for init to reap.
bool ProcessDead(pid_t pid) {
  const char state = StateOf("/proc/" + std::to_string(pid)).first;
  return ProcessGone(pid) || state == 0 || state == 'Z';
}

// A clock the test moves by hand; it counts how often the runner read it.
class HandClock {
 public:
  explicit HandClock(TDosCommand& command) : command_(command) {
    command.SetClock([this] {
      ++reads_;
      return std::chrono::steady_clock::time_point(std::chrono::milliseconds(ms_.load()));
    });
  }
  // Moves on, then waits until the runner has looked at the new time in
  // later rounds (or its run has ended).
  void Advance(std::chrono::milliseconds by) {
    ms_ += by.count();
    const int seen = reads_;
    WaitFor("the runner to read the clock three times",
            [&] { return reads_ >= seen + 3 || !command_.IsRunning(); });
  }

 private:
  TDosCommand& command_;
  std::atomic<std::int64_t> ms_{1000000};
  std::atomic<int> reads_{0};
};

class DosCommandTest : public ::testing::Test {
 protected:
  RecordingNotifier notifier;
  TDosCommand command{notifier, RunDirectly};
  std::vector<std::uint32_t> terminated;
  void SetUp() override {
    command.SetOnTerminated([&](TDosCommand&, std::uint32_t code) { terminated.push_back(code); });
  }
};

// Cutting itself is the line cutter's; here, what reaches the events from a
// real child.
TEST_F(DosCommandTest, OutputOfARealChild) {
  std::vector<TReturnCode> ends;
  command.SetOnNewLine([&](TDosCommand& sender, const std::string&, TOutputType) {
    ends.push_back(sender.OutputReturnCode());
  });
  command.SetCommandLine(Sh(R"(printf 'a\r\nb\n')"));
  RunToEnd(command);
  EXPECT_EQ(command.Lines(), (Words{"a", "b"}));
  EXPECT_EQ(ends, (std::vector<TReturnCode>{TReturnCode::rcCRLF, TReturnCode::rcLF}));

  command.SetCommandLine(Sh("echo out; echo err 1>&2; echo out again"));
  RunToEnd(command);
  EXPECT_EQ(command.Lines(), (Words{"out", "err", "out again"}));

  // An unfinished last line is reported once more when the run ends.
  command.SetCommandLine(Sh("printf tail"));
  RunToEnd(command);
  EXPECT_EQ(command.Lines(), (Words{"tail", "tail"}));
}

TEST_F(DosCommandTest, ArgumentsAndEnvironmentReachTheChildUnparsed) {
  testing::TempDir dir;
  const std::filesystem::path marker = dir / "marker";
  const std::string injection = "$(touch${IFS}" + marker.string() + ");*|&'";
  command.SetCommandLine(
      {KELVANE_PRINT_ARGS, "edit", "<kuid2:523:1234:3>", "a  b", "", "\"q\" \"r", injection});
  RunToEnd(command);
  EXPECT_EQ(command.Lines(), (Words{"[edit]", "[<kuid2:523:1234:3>]", "[a  b]", "[]", "[\"q\" \"r]",
                                    "[" + injection + "]"}));
  EXPECT_FALSE(std::filesystem::exists(marker));

  // Variables given replace ours of the same name; the others are kept.
  ::setenv("KELVANE_KEPT", "kept", 1);
  command.SetEnvironment({"HOME=/elsewhere", "KELVANE_ADDED=a b"});
  command.SetCommandLine(Sh("echo \"$HOME|$KELVANE_ADDED|$KELVANE_KEPT\""));
  RunToEnd(command);
  ::unsetenv("KELVANE_KEPT");
  EXPECT_EQ(command.Lines(), (Words{"/elsewhere|a b|kept"}));
}

TEST_F(DosCommandTest, ExitCodesAndStartFailures) {
  command.Execute();  // empty command line: nothing happens
  EXPECT_EQ(command.EndStatus(), TDosCommand::kNotStarted);

  command.SetCommandLine(Sh("exit 7"));
  RunToEnd(command);
  EXPECT_EQ(command.EndStatus(), TDosCommand::kEnded);
  EXPECT_EQ(command.ExitCode(), 7u);
  command.SetCommandLine(Sh("kill -TERM $$"));
  RunToEnd(command);
  EXPECT_EQ(command.ExitCode(), 128u + SIGTERM);

  command.SetCommandLine({"/nonexistent/bin/VelmoraUtil.exe", "edit", "<kuid:-1:42>"});
  RunToEnd(command);
  EXPECT_EQ(command.EndStatus(), TDosCommand::kProcessFailed);
  EXPECT_EQ(command.ExitCode(), static_cast<std::uint32_t>(ENOENT));
  ASSERT_EQ(notifier.notices.size(), 1u);
  EXPECT_EQ(notifier.notices[0].text,
            "/nonexistent/bin/VelmoraUtil.exe edit <kuid:-1:42> doesn't exist.");
  // A run that never started does not terminate.
  EXPECT_EQ(terminated, (std::vector<std::uint32_t>{7u, 128u + SIGTERM}));
}

TEST_F(DosCommandTest, PipesThatCannotBeMade) {
#ifdef KELVANE_SANITIZED
  GTEST_SKIP() << "the sanitizer runtime needs free descriptors of its own";
#endif
  command.SetCommandLine({"/bin/true"});
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> filler;
  for (int fd; (fd = ::dup(STDIN_FILENO)) >= 0;)
    filler.push_back(fd);
  RunToEnd(command);
  for (int fd : filler)
    ::close(fd);
  setrlimit(RLIMIT_NOFILE, &saved);

  EXPECT_EQ(command.EndStatus(), TDosCommand::kPipeFailed);
  EXPECT_EQ(command.ExitCode(), static_cast<std::uint32_t>(EMFILE));
  ASSERT_EQ(notifier.notices.size(), 1u);
  EXPECT_NE(notifier.notices[0].text.find("Cannot create a pipe"), std::string::npos);
  RunToEnd(command);  // the next run is not affected
  EXPECT_EQ(command.EndStatus(), TDosCommand::kEnded);
}

TEST_F(DosCommandTest, TimeLimitsOnTheRunnersClock) {
  HandClock clock(command);
  command.SetMaxTimeAfterBeginning(1);
  command.SetCommandLine(Sh("echo $$; exec sleep 300"));
  command.Execute();
  const pid_t pid = PidOnLine(command);
  clock.Advance(900ms);
  EXPECT_TRUE(command.IsRunning());
  clock.Advance(200ms);
  WaitFor("the command to end", [&] { return !command.IsRunning(); });
  EXPECT_EQ(command.EndStatus(), TDosCommand::kTimedOut);
  EXPECT_TRUE(ProcessGone(pid));
  EXPECT_EQ(command.ExitCode(), 0u);
  EXPECT_EQ(terminated, (std::vector<std::uint32_t>{TDosCommand::kStillActive}));

  // Each line restarts the count after the last output.
  command.SetMaxTimeAfterBeginning(0);
  command.SetMaxTimeAfterLastOutput(1);
  command.SetCommandLine(Sh("while read line; do echo $line; done"));
  command.Execute();
  for (const char* line : {"1", "2", "3", "4"}) {
    clock.Advance(800ms);
    command.AddInputLine(std::string(line) + "\n");
    const std::size_t count = std::size_t(line[0] - '0');
    WaitFor("line " + std::to_string(count) + " echoed",
            [&] { return command.Lines().size() == count || !command.IsRunning(); });
    ASSERT_TRUE(command.IsRunning()) << "timed out after line " << count - 1;
  }
  clock.Advance(1100ms);
  WaitFor("the command to end", [&] { return !command.IsRunning(); });
  EXPECT_EQ(command.EndStatus(), TDosCommand::kTimedOut);
  EXPECT_EQ(command.Lines(), (Words{"1", "2", "3", "4"}));

  // No limit set: none applies.
  command.SetMaxTimeAfterLastOutput(0);
  command.SetCommandLine(Sh("read line; echo done"));
  command.Execute();
  clock.Advance(3600s);
  command.AddInputLine("go\n");
  WaitFor("the command to end", [&] { return !command.IsRunning(); });
  EXPECT_EQ(command.EndStatus(), TDosCommand::kEnded);
  EXPECT_EQ(command.Lines(), (Words{"done"}));
}

TEST_F(DosCommandTest, StopAndDestructionKillAndReap) {
  std::atomic<std::uint32_t> ended{0};
  pid_t child = -1;
  {
    TDosCommand runner(notifier, RunDirectly);
    runner.SetOnTerminated([&](TDosCommand&, std::uint32_t code) { ended = code; });
    // It starts a child of its own: the whole process group must go.
    runner.SetCommandLine(Sh("sleep 300 & echo $!; echo $$; wait"));
    runner.Execute();
    const pid_t grandchild = PidOnLine(runner, 0);
    child = PidOnLine(runner, 1);
    runner.Stop();
    EXPECT_FALSE(runner.IsRunning());
    WaitFor("the stopped run's end event", [&] { return ended == TDosCommand::kStillActive; });
    EXPECT_EQ(runner.EndStatus(), TDosCommand::kStopped);
    EXPECT_TRUE(ProcessGone(child));
    WaitFor("the child's own child to die", [&] { return ProcessDead(grandchild); });

    ended = 0;
    runner.SetCommandLine(Sh("echo $$; exec sleep 300"));
    runner.Execute();
    child = PidOnLine(runner);
  }
  EXPECT_TRUE(ProcessGone(child));
  EXPECT_EQ(ended, 0u);  // no event reaches a runner being destroyed
}

TEST_F(DosCommandTest, MainThreadHandOff) {
  MainTaskQueue queue;
  TDosCommand runner(notifier, queue.Dispatcher());
  int calls = 0;
  runner.SetOnNewLine([&](TDosCommand&, const std::string&, TOutputType) { ++calls; });
  runner.SetCommandLine(Sh("echo one; echo two; exec sleep 300"));
  runner.Execute();
  // The reader now waits for a main thread that does not come: stopped, the
  // abandoned hand-off does nothing.
  WaitFor("the first line", [&] { return !runner.Lines().empty(); });
  runner.Stop();
  WaitFor("the stopped end status", [&] { return runner.EndStatus() == TDosCommand::kStopped; });
  queue.RunPending();
  EXPECT_EQ(calls, 0);

  StringLineList memo;
  memo.lines = {"Opening <kuid:-1:42>"};
  runner.SetOutputLines(&memo);
  std::vector<std::string> texts;
  const auto mainThread = std::this_thread::get_id();
  std::vector<std::thread::id> threads;
  runner.SetOnNewLine([&](TDosCommand&, const std::string& text, TOutputType) {
    threads.push_back(std::this_thread::get_id());
    texts.push_back(text);
  });
  // The second part of the line comes only once the first was reported.
  runner.SetCommandLine(Sh("echo first; printf abc; read go; printf 'def\n'; printf x"));
  runner.Execute();
  WaitFor(
      "two lines handed to the main thread", [&] { return texts.size() == 2; }, &queue);
  runner.AddInputLine("\n");
  WaitFor(
      "the command to end", [&] { return !runner.IsRunning(); }, &queue);
  queue.RunPending();

  // Growing beginnings replace each other; the final beginning too.
  EXPECT_EQ(memo.lines, (Words{"Opening <kuid:-1:42>", "first", "abcdef", "x"}));
  EXPECT_EQ(texts, (Words{"first", "abc", "abcdef", "x", "x"}));
  EXPECT_EQ(threads, std::vector<std::thread::id>(texts.size(), mainThread));
}

TEST_F(DosCommandTest, HundredRunsLeaveNoChildBehind) {
  for (int i = 0; i < 100; ++i) {
    // Alternately a child that ends by itself and one replaced while it runs.
    command.SetCommandLine(i % 2 ? Words{"sleep", "300"} : Words{"/bin/true"});
    command.Execute();
    if (i % 2 == 0) WaitFor("the command to end", [&] { return !command.IsRunning(); });
  }
  command.Stop();
  WaitFor("every child of this process to be reaped", [] {
    for (const auto& entry : std::filesystem::directory_iterator("/proc"))
      if (StateOf(entry.path()).second == getpid()) return false;
    return true;
  });
}

TEST_F(DosCommandTest, InputToTheChild) {
  command.AddInputLine("stale\n");
  command.SetCommandLine(Sh("read a; echo got $a"));
  command.Execute();
  EXPECT_TRUE(command.InputLines().empty());  // Execute empties the queue
  command.AddInputLine("hel");
  command.AddInputLine("lo\n");
  WaitFor("the command to end", [&] { return !command.IsRunning(); });
  EXPECT_EQ(command.Lines(), (Words{"got hello"}));

  command.SetInputToOutput(true);
  command.Execute();
  command.AddInputLine("echoed\n");
  WaitFor("the command to end", [&] { return !command.IsRunning(); });
  EXPECT_EQ(command.Lines(), (Words{"echoed", "got echoed"}));

  // Closed input: writing fails, must not end this program, and drops the
  // queue.
  command.SetCommandLine(Sh("exec 0<&-; echo closed; exec sleep 300"));
  command.Execute();
  WaitFor("the first line", [&] { return !command.Lines().empty(); });
  command.AddInputLine("ignored\n");
  WaitFor("the input queue to be dropped", [&] { return command.InputLines().empty(); });
  command.Stop();

  // Open but never read: more than a pipe holds, and the runner still stops.
  command.SetCommandLine(Sh("echo $$; exec sleep 300"));
  command.Execute();
  command.AddInputLine(std::string(1 << 20, 'x'));
  const pid_t pid = PidOnLine(command);
  command.Stop();
  WaitFor("the stopped child to be reaped", [&] { return ProcessGone(pid); });
}

std::size_t KeptBytes(const Words& lines) {
  std::size_t bytes = 0;
  for (const std::string& line : lines)
    bytes += line.size() + sizeof(std::string);
  return bytes;
}

TEST_F(DosCommandTest, FloodOfOutput) {
  // 100 MB in lines of 100 bytes.
  command.SetCommandLine(
      Sh("yes 012345678901234567890123456789012345678901234567890123456789012345678901234567"
         "8901234567890123456789 | head -c 100000000; echo; echo last"));
  RunToEnd(command);
  Words lines = command.Lines();
  EXPECT_EQ(command.EndStatus(), TDosCommand::kEnded);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "last");
  EXPECT_LE(KeptBytes(lines), TDosCommand::kMaxKeptBytes);
  EXPECT_GT(KeptBytes(lines), TDosCommand::kMaxKeptBytes / 2);

  // 20 MB without a line end: one line, cut short.
  command.SetCommandLine(Sh(R"(head -c 20000000 /dev/zero | tr '\0' x)"));
  RunToEnd(command);
  lines = command.Lines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), std::string(LineCutter::kDefaultMaxLineLength, 'x'));
  EXPECT_LE(KeptBytes(lines), TDosCommand::kMaxKeptBytes);

  // A flood that never ends still stops.
  command.SetCommandLine({"yes"});
  command.Execute();
  WaitFor("a thousand lines", [&] { return command.Lines().size() > 1000; });
  command.Stop();
  WaitFor("the stopped end status", [&] { return command.EndStatus() == TDosCommand::kStopped; });
}

}  // namespace
}  // namespace kelvane
