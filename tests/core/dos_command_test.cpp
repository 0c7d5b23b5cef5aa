#include "assets/dos_command.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

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
using Clock = std::chrono::steady_clock;

constexpr auto kPatience = 10s;  // far beyond anything a passing test needs

// Runs handed-off tasks at once, on the reader thread.
void RunDirectly(std::function<void()> task) {
  task();
}

// Stands in for the main thread's event queue: tasks wait until the test
// thread runs them.
class MainQueue {
 public:
  MainThreadDispatcher Dispatcher() {
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

bool WaitFor(const std::function<bool()>& condition, MainQueue* queue = nullptr,
             Clock::duration patience = kPatience) {
  const auto deadline = Clock::now() + patience;
  while (Clock::now() < deadline) {
    if (queue) queue->RunPending();
    if (condition()) return true;
    std::this_thread::sleep_for(5ms);
  }
  return condition();
}

// A shell script as one quoted argument; the script must hold no double quote.
std::string Sh(const std::string& script) {
  return "/bin/sh -c \"" + script + "\"";
}

// Runs to the end and gives the time it took.
Clock::duration RunToEnd(TDosCommand& command, MainQueue* queue = nullptr) {
  const auto start = Clock::now();
  command.Execute();
  EXPECT_TRUE(WaitFor([&] { return !command.IsRunning(); }, queue));
  return Clock::now() - start;
}

// The child's process id, printed by it as its first line.
pid_t FirstLineAsPid(const TDosCommand& command) {
  EXPECT_TRUE(WaitFor([&] { return !command.Lines().empty(); }));
  const std::vector<std::string> lines = command.Lines();
  return lines.empty() ? -1 : static_cast<pid_t>(std::stol(lines.front()));
}

// Gone entirely: killed and reaped, not a zombie.
bool ProcessGone(pid_t pid) {
  return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Gone, or a zombie left for someone else to reap.
bool ProcessDead(pid_t pid) {
  if (ProcessGone(pid)) return true;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(stat, text)) return true;
  const auto close = text.rfind(')');
  return close != std::string::npos && text.substr(close + 1, 3) == " Z ";
}

struct Event {
  std::string text;
  TOutputType type;
  TReturnCode end;
  std::thread::id thread;
};

TEST(SplitCommandLine, QuotesGroupAndNothingElseIsSpecial) {
  using Words = std::vector<std::string>;
  EXPECT_EQ(SplitCommandLine(R"("C:\Program Files\bin\VelmoraUtil.exe" edit <kuid:-1:42>)"),
            (Words{R"(C:\Program Files\bin\VelmoraUtil.exe)", "edit", "<kuid:-1:42>"}));
  EXPECT_EQ(SplitCommandLine("  a\t\tb  "), (Words{"a", "b"}));
  EXPECT_EQ(SplitCommandLine(R"(ab"c d"e "" x\"y)"), (Words{"abc de", "", R"(x\y)"}));
  EXPECT_EQ(SplitCommandLine(R"(prog "unclosed  tail)"), (Words{"prog", "unclosed  tail"}));
  EXPECT_EQ(SplitCommandLine("$(rm -rf x);|&*'"), (Words{"$(rm", "-rf", "x);|&*'"}));
  EXPECT_TRUE(SplitCommandLine(" \t ").empty());
}

class DosCommandTest : public ::testing::Test {
 protected:
  RecordingNotifier notifier;
};

TEST_F(DosCommandTest, CutsTheOutputOfARealChild) {
  TDosCommand command(notifier, RunDirectly);
  std::vector<Event> events;
  command.SetOnNewLine([&](TDosCommand& sender, const std::string& text, TOutputType type) {
    events.push_back({text, type, sender.OutputReturnCode(), std::this_thread::get_id()});
  });

  command.SetCommandLine(Sh(R"(printf 'a\r\nb\n')"));
  RunToEnd(command);
  EXPECT_EQ(command.Lines(), (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].end, TReturnCode::rcCRLF);
  EXPECT_EQ(events[1].end, TReturnCode::rcLF);
  EXPECT_EQ(command.EndStatus(), TDosCommand::kEnded);
  EXPECT_EQ(command.ExitCode(), 0u);

  // CR at the end of one read, LF at the start of the next: no empty line.
  command.SetCommandLine(Sh(R"(printf 'a\r'; sleep 0.3; printf '\nb\n')"));
  RunToEnd(command);
  EXPECT_EQ(command.Lines(), (std::vector<std::string>{"a", "b"}));

  events.clear();
  command.SetCommandLine(Sh(R"(printf abc; sleep 0.3; printf 'def\n')"));
  RunToEnd(command);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].text, "abc");
  EXPECT_EQ(events[0].type, TOutputType::otBeginningOfLine);
  EXPECT_EQ(events[1].text, "abcdef");
  EXPECT_EQ(events[1].type, TOutputType::otEntireLine);

  command.SetCommandLine(Sh(R"(printf 'a\000\000b\n')"));
  RunToEnd(command);
  EXPECT_EQ(command.Lines(), (std::vector<std::string>{"ab"}));

  // An unfinished last line is reported once more when the run ends.
  command.SetCommandLine(Sh("printf tail"));
  RunToEnd(command);
  EXPECT_EQ(command.Lines(), (std::vector<std::string>{"tail", "tail"}));
}

TEST_F(DosCommandTest, StandardErrorJoinsStandardOutput) {
  TDosCommand command(notifier, RunDirectly);
  command.SetCommandLine(Sh("echo out; echo err 1>&2; echo out again"));
  RunToEnd(command);
  EXPECT_EQ(command.Lines(), (std::vector<std::string>{"out", "err", "out again"}));
}

TEST_F(DosCommandTest, ExitCodes) {
  TDosCommand command(notifier, RunDirectly);
  std::vector<std::uint32_t> terminated;
  command.SetOnTerminated([&](TDosCommand&, std::uint32_t code) { terminated.push_back(code); });

  command.SetCommandLine(Sh("exit 7"));
  RunToEnd(command);
  EXPECT_EQ(command.EndStatus(), TDosCommand::kEnded);
  EXPECT_EQ(command.ExitCode(), 7u);

  command.SetCommandLine(Sh("kill -TERM $$"));
  RunToEnd(command);
  EXPECT_EQ(command.EndStatus(), TDosCommand::kEnded);
  EXPECT_EQ(command.ExitCode(), 128u + SIGTERM);
  EXPECT_EQ(terminated, (std::vector<std::uint32_t>{7u, 128u + SIGTERM}));
}

TEST_F(DosCommandTest, ArgumentsReachTheChildUnparsed) {
  const std::filesystem::path marker =
      std::filesystem::temp_directory_path() / ("kelvane_marker_" + std::to_string(getpid()));
  TDosCommand command(notifier, RunDirectly);
  command.SetCommandLine(std::string("\"") + KELVANE_PRINT_ARGS + "\" edit <kuid2:523:1234:3> " +
                         "\"a  b\" \"\" $(touch${IFS}" + marker.string() + ");*|&'");
  RunToEnd(command);
  EXPECT_EQ(command.Lines(),
            (std::vector<std::string>{"[edit]", "[<kuid2:523:1234:3>]", "[a  b]", "[]",
                                      "[$(touch${IFS}" + marker.string() + ");*|&']"}));
  EXPECT_EQ(command.ExitCode(), 5u);
  EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(DosCommandTest, MissingProgram) {
  TDosCommand command(notifier, RunDirectly);
  const std::string line = "/nonexistent/bin/VelmoraUtil.exe edit <kuid:-1:42>";
  command.SetCommandLine(line);
  bool terminated = false;
  command.SetOnTerminated([&](TDosCommand&, std::uint32_t) { terminated = true; });
  RunToEnd(command);
  EXPECT_FALSE(command.IsRunning());
  EXPECT_EQ(command.EndStatus(), TDosCommand::kProcessFailed);
  EXPECT_EQ(command.ExitCode(), static_cast<std::uint32_t>(ENOENT));
  ASSERT_EQ(notifier.notices.size(), 1u);
  EXPECT_EQ(notifier.notices[0].text, line + " doesn't exist.");
  EXPECT_EQ(notifier.notices[0].caption, "Error");
  EXPECT_FALSE(terminated);
}

TEST_F(DosCommandTest, PipesThatCannotBeMade) {
#ifdef KELVANE_SANITIZED
  GTEST_SKIP() << "the sanitizer runtime needs free descriptors of its own";
#endif
  TDosCommand command(notifier, RunDirectly);
  command.SetCommandLine("/bin/true");

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> filler;
  for (int fd; (fd = ::dup(STDIN_FILENO)) >= 0;)
    filler.push_back(fd);

  command.Execute();
  const bool ended = WaitFor([&] { return !command.IsRunning(); });
  for (int fd : filler)
    ::close(fd);
  setrlimit(RLIMIT_NOFILE, &saved);

  ASSERT_TRUE(ended);
  EXPECT_EQ(command.EndStatus(), TDosCommand::kPipeFailed);
  EXPECT_EQ(command.ExitCode(), static_cast<std::uint32_t>(EMFILE));
  ASSERT_EQ(notifier.notices.size(), 1u);
  EXPECT_NE(notifier.notices[0].text.find("Cannot create a pipe"), std::string::npos);

  // The next run is not affected.
  RunToEnd(command);
  EXPECT_EQ(command.EndStatus(), TDosCommand::kEnded);
}

TEST_F(DosCommandTest, EmptyCommandLineDoesNothing) {
  TDosCommand command(notifier, RunDirectly);
  command.Execute();
  EXPECT_FALSE(command.IsRunning());
  EXPECT_EQ(command.EndStatus(), TDosCommand::kNotStarted);
}

TEST_F(DosCommandTest, TimeLimitAfterBeginning) {
  TDosCommand command(notifier, RunDirectly);
  std::vector<std::uint32_t> terminated;
  command.SetOnTerminated([&](TDosCommand&, std::uint32_t code) { terminated.push_back(code); });
  command.SetMaxTimeAfterBeginning(1);
  command.SetCommandLine(Sh("echo $$; exec sleep 30"));
  const auto start = Clock::now();
  command.Execute();
  const pid_t pid = FirstLineAsPid(command);
  ASSERT_TRUE(WaitFor([&] { return !command.IsRunning(); }));
  const auto took = Clock::now() - start;

  EXPECT_EQ(command.EndStatus(), TDosCommand::kTimedOut);
  EXPECT_GE(took, 1s);
  EXPECT_LT(took, 2s);  // killed and reaped within the limit plus one second
  EXPECT_TRUE(ProcessGone(pid));
  EXPECT_EQ(command.ExitCode(), 0u);
  EXPECT_EQ(terminated, (std::vector<std::uint32_t>{TDosCommand::kStillActive}));
}

TEST_F(DosCommandTest, TimeLimitAfterLastOutput) {
  TDosCommand command(notifier, RunDirectly);
  command.SetMaxTimeAfterLastOutput(1);
  command.SetCommandLine(Sh("for i in 1 2 3 4; do echo $i; sleep 0.4; done; exec sleep 30"));
  const auto took = RunToEnd(command);
  EXPECT_EQ(command.EndStatus(), TDosCommand::kTimedOut);
  EXPECT_EQ(command.Lines(), (std::vector<std::string>{"1", "2", "3", "4"}));
  // Each line restarted the count, so the run outlived the limit itself.
  EXPECT_GE(took, 2s);
  EXPECT_LT(took, 4s);
}

TEST_F(DosCommandTest, WithoutTimeLimitsTheRunLastsAsLongAsTheChild) {
  TDosCommand command(notifier, RunDirectly);
  command.SetCommandLine(Sh("sleep 1.3; echo done"));
  const auto took = RunToEnd(command);
  EXPECT_EQ(command.EndStatus(), TDosCommand::kEnded);
  EXPECT_EQ(command.Lines(), (std::vector<std::string>{"done"}));
  EXPECT_GE(took, 1300ms);
}

TEST_F(DosCommandTest, StopKillsAndReapsAHungChild) {
  TDosCommand command(notifier, RunDirectly);
  std::atomic<std::uint32_t> terminated{0};
  command.SetOnTerminated([&](TDosCommand&, std::uint32_t code) { terminated = code; });
  // Its own child too: the whole process group goes.
  command.SetCommandLine(Sh("sleep 30 & echo $!; echo $$; wait"));
  command.Execute();
  ASSERT_TRUE(WaitFor([&] { return command.Lines().size() >= 2; }));
  const pid_t grandchild = static_cast<pid_t>(std::stol(command.Lines()[0]));
  const pid_t child = static_cast<pid_t>(std::stol(command.Lines()[1]));

  command.Stop();
  EXPECT_FALSE(command.IsRunning());
  EXPECT_TRUE(WaitFor([&] { return command.EndStatus() == TDosCommand::kStopped; }));
  EXPECT_TRUE(WaitFor([&] { return terminated == TDosCommand::kStillActive; }));
  EXPECT_TRUE(ProcessGone(child));
  // The grandchild is reaped by init, not by us; it must at least be dead.
  EXPECT_TRUE(WaitFor([&] { return ProcessDead(grandchild); }));
}

TEST_F(DosCommandTest, StopWhileTheMainThreadIsBusy) {
  MainQueue queue;
  TDosCommand command(notifier, queue.Dispatcher());
  int calls = 0;
  command.SetOnNewLine([&](TDosCommand&, const std::string&, TOutputType) { ++calls; });
  command.SetCommandLine(Sh("echo one; echo two; exec sleep 30"));
  command.Execute();
  // The reader now waits for a main thread that does not come.
  ASSERT_TRUE(WaitFor([&] { return !command.Lines().empty(); }));
  command.Stop();
  EXPECT_TRUE(WaitFor([&] { return command.EndStatus() == TDosCommand::kStopped; }));
  queue.RunPending();  // the abandoned hand-off does nothing
  EXPECT_EQ(calls, 0);
}

TEST_F(DosCommandTest, MainThreadHandOff) {
  MainQueue queue;
  TDosCommand command(notifier, queue.Dispatcher());
  StringLineList memo;
  memo.lines = {"Opening <kuid:-1:42>"};
  command.SetOutputLines(&memo);
  std::vector<Event> events;
  command.SetOnNewLine([&](TDosCommand&, const std::string& text, TOutputType type) {
    events.push_back({text, type, TReturnCode::rcLF, std::this_thread::get_id()});
  });
  command.SetCommandLine(Sh("echo first; printf abc; sleep 0.3; printf 'def\n'; printf x"));
  RunToEnd(command, &queue);

  // Growing beginnings replace each other; the final beginning too.
  EXPECT_EQ(memo.lines, (std::vector<std::string>{"Opening <kuid:-1:42>", "first", "abcdef", "x"}));
  ASSERT_EQ(events.size(), 5u);
  for (const Event& e : events)
    EXPECT_EQ(e.thread, std::this_thread::get_id());
  EXPECT_EQ(events[1].text, "abc");
  EXPECT_EQ(events[2].text, "abcdef");
}

TEST_F(DosCommandTest, DestroyingTheRunnerKillsItsChild) {
  pid_t pid = -1;
  bool terminated = false;
  {
    TDosCommand command(notifier, RunDirectly);
    command.SetOnTerminated([&](TDosCommand&, std::uint32_t) { terminated = true; });
    command.SetCommandLine(Sh("echo $$; exec sleep 30"));
    command.Execute();
    pid = FirstLineAsPid(command);
  }
  EXPECT_TRUE(ProcessGone(pid));
  EXPECT_FALSE(terminated);  // no event reaches a runner being destroyed
}

// The ids of this process's children, zombies included.
std::vector<pid_t> Children() {
  std::vector<pid_t> children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string text;
    if (!std::getline(stat, text)) continue;
    const auto close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(text.substr(close + 1));
    std::string state;
    pid_t parent = 0;
    fields >> state >> parent;
    if (parent == getpid()) children.push_back(std::stoi(entry.path().filename().string()));
  }
  return children;
}

TEST_F(DosCommandTest, HundredRunsLeaveNoChildBehind) {
  if (!std::filesystem::exists("/proc/self/stat")) GTEST_SKIP() << "needs /proc";
  TDosCommand command(notifier, RunDirectly);
  for (int i = 0; i < 100; ++i) {
    // Alternately a child that ends by itself and one replaced while it runs.
    command.SetCommandLine(i % 2 ? "sleep 30" : "/bin/true");
    command.Execute();
    if (i % 2 == 0) {
      ASSERT_TRUE(WaitFor([&] { return !command.IsRunning(); }));
    }
  }
  command.Stop();
  EXPECT_TRUE(WaitFor([&] { return command.EndStatus() == TDosCommand::kStopped; }));
  EXPECT_TRUE(WaitFor([] { return Children().empty(); })) << Children().size() << " left";
}

TEST_F(DosCommandTest, InputToTheChild) {
  TDosCommand command(notifier, RunDirectly);
  command.AddInputLine("stale\n");
  command.SetCommandLine(Sh("read a; echo got $a"));
  command.Execute();
  EXPECT_TRUE(command.InputLines().empty());  // Execute empties the queue
  command.AddInputLine("hel");
  command.AddInputLine("lo\n");
  EXPECT_TRUE(WaitFor([&] { return !command.IsRunning(); }));
  EXPECT_EQ(command.Lines(), (std::vector<std::string>{"got hello"}));

  command.SetInputToOutput(true);
  command.Execute();
  command.AddInputLine("echoed\n");
  EXPECT_TRUE(WaitFor([&] { return !command.IsRunning(); }));
  EXPECT_EQ(command.Lines(), (std::vector<std::string>{"echoed", "got echoed"}));
}

TEST_F(DosCommandTest, InputToAChildThatReadsNothing) {
  TDosCommand command(notifier, RunDirectly);
  // Closed input: writing fails, and must not end this program.
  command.SetCommandLine(Sh("exec 0<&-; sleep 0.3; echo alive"));
  command.Execute();
  command.AddInputLine("ignored\n");
  EXPECT_TRUE(WaitFor([&] { return !command.IsRunning(); }));
  EXPECT_EQ(command.Lines(), (std::vector<std::string>{"alive"}));

  // Open but never read: more than a pipe holds, and the runner still stops.
  command.SetCommandLine(Sh("echo $$; exec sleep 30"));
  command.Execute();
  command.AddInputLine(std::string(1 << 20, 'x'));
  const pid_t pid = FirstLineAsPid(command);
  command.Stop();
  EXPECT_TRUE(WaitFor([&] { return command.EndStatus() == TDosCommand::kStopped; }));
  EXPECT_TRUE(ProcessGone(pid));
}

std::size_t KeptBytes(const std::vector<std::string>& lines) {
  std::size_t bytes = 0;
  for (const std::string& line : lines)
    bytes += line.size() + sizeof(std::string);
  return bytes;
}

// Peak resident memory in KiB since the last reset, or -1 where the system
// cannot tell.
long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
  return -1;
}

bool ResetPeakResident() {
  return static_cast<bool>(std::ofstream("/proc/self/clear_refs") << "5");
}

TEST_F(DosCommandTest, FloodOfOutput) {
  TDosCommand command(notifier, RunDirectly);
  const bool measured = ResetPeakResident();
  const long before = PeakResidentKiB();

  // 100 MB in lines of 100 bytes.
  command.SetCommandLine(
      Sh("yes 012345678901234567890123456789012345678901234567890123456789012345678901234567"
         "8901234567890123456789 | head -c 100000000; echo; echo last"));
  RunToEnd(command);
  std::vector<std::string> lines = command.Lines();
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
  const long after = PeakResidentKiB();

  // A flood that never ends still stops.
  command.SetCommandLine("yes");
  command.Execute();
  ASSERT_TRUE(WaitFor([&] { return command.Lines().size() > 1000; }));
  command.Stop();
  EXPECT_TRUE(WaitFor([&] { return command.EndStatus() == TDosCommand::kStopped; }));

#ifdef KELVANE_SANITIZED
  (void)measured, (void)before, (void)after;
#else
  if (measured && before > 0) {
    RecordProperty("flood_peak_growth_kib", std::to_string(after - before));
    EXPECT_LT(after - before, 8 * 1024)
        << "peak resident memory grew by " << after - before << " KiB";
  }
#endif
}

}  // namespace
}  // namespace kelvane
