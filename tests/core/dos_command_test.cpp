#include "platform/dos_command.h"
#include "assets/progress_log.h"

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

// Tasks wait until the test thread runs them.
using MainQueue = MainTaskQueue;

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

using Words = std::vector<std::string>;

Words Sh(const std::string& script) {
  return {"/bin/sh", "-c", script};
}

// Runs to the end and gives the time it took.
Clock::duration RunToEnd(TDosCommand& command, MainQueue* queue = nullptr) {
  const auto start = Clock::now();
  command.Execute();
  EXPECT_TRUE(WaitFor([&] { return !command.IsRunning(); }, queue));
  return Clock::now() - start;
}

// A process id the child printed as its line `index`.
pid_t PidOnLine(const TDosCommand& command, std::size_t index = 0) {
  EXPECT_TRUE(WaitFor([&] { return command.Lines().size() > index; }));
  const std::vector<std::string> lines = command.Lines();
  return lines.size() > index ? static_cast<pid_t>(std::stol(lines[index])) : -1;
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

struct Event {
  std::string text;
  TOutputType type;
  TReturnCode end;
  std::thread::id thread;
};

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
  using Lines = std::vector<std::string>;

  command.SetCommandLine(Sh(R"(printf 'a\r\nb\n')"));
  RunToEnd(command);
  EXPECT_EQ(command.Lines(), (Lines{"a", "b"}));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].end, TReturnCode::rcCRLF);
  EXPECT_EQ(events[1].end, TReturnCode::rcLF);

  // CR at the end of one read, LF at the start of the next: no empty line.
  command.SetCommandLine(Sh(R"(printf 'a\r'; sleep 0.3; printf '\nb\n')"));
  RunToEnd(command);
  EXPECT_EQ(command.Lines(), (Lines{"a", "b"}));

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
  EXPECT_EQ(command.Lines(), (Lines{"ab"}));

  command.SetCommandLine(Sh("echo out; echo err 1>&2; echo out again"));
  RunToEnd(command);
  EXPECT_EQ(command.Lines(), (Lines{"out", "err", "out again"}));

  // An unfinished last line is reported once more when the run ends.
  command.SetCommandLine(Sh("printf tail"));
  RunToEnd(command);
  EXPECT_EQ(command.Lines(), (Lines{"tail", "tail"}));
}

TEST_F(DosCommandTest, ArgumentsAndEnvironmentReachTheChildUnparsed) {
  const std::filesystem::path marker =
      std::filesystem::temp_directory_path() / ("kelvane_marker_" + std::to_string(getpid()));
  TDosCommand command(notifier, RunDirectly);
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
  TDosCommand command(notifier, RunDirectly);
  std::vector<std::uint32_t> terminated;
  command.SetOnTerminated([&](TDosCommand&, std::uint32_t code) { terminated.push_back(code); });

  command.Execute();  // empty command line: nothing happens
  EXPECT_EQ(command.EndStatus(), TDosCommand::kNotStarted);

  command.SetCommandLine(Sh("exit 7"));
  RunToEnd(command);
  EXPECT_EQ(command.EndStatus(), TDosCommand::kEnded);
  EXPECT_EQ(command.ExitCode(), 7u);
  command.SetCommandLine(Sh("kill -TERM $$"));
  RunToEnd(command);
  EXPECT_EQ(command.ExitCode(), 128u + SIGTERM);
  EXPECT_EQ(terminated, (std::vector<std::uint32_t>{7u, 128u + SIGTERM}));

  command.SetCommandLine({"/nonexistent/bin/VelmoraUtil.exe", "edit", "<kuid:-1:42>"});
  RunToEnd(command);
  EXPECT_FALSE(command.IsRunning());
  EXPECT_EQ(command.EndStatus(), TDosCommand::kProcessFailed);
  EXPECT_EQ(command.ExitCode(), static_cast<std::uint32_t>(ENOENT));
  ASSERT_EQ(notifier.notices.size(), 1u);
  EXPECT_EQ(notifier.notices[0].text,
            "/nonexistent/bin/VelmoraUtil.exe edit <kuid:-1:42> doesn't exist.");
  EXPECT_EQ(notifier.notices[0].caption, "Error");
  EXPECT_EQ(terminated.size(), 2u);  // a run that never started does not terminate
}

TEST_F(DosCommandTest, PipesThatCannotBeMade) {
#ifdef KELVANE_SANITIZED
  GTEST_SKIP() << "the sanitizer runtime needs free descriptors of its own";
#endif
  TDosCommand command(notifier, RunDirectly);
  command.SetCommandLine({"/bin/true"});
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
  RunToEnd(command);  // the next run is not affected
  EXPECT_EQ(command.EndStatus(), TDosCommand::kEnded);
}

TEST_F(DosCommandTest, TimeLimits) {
  TDosCommand command(notifier, RunDirectly);
  std::vector<std::uint32_t> terminated;
  command.SetOnTerminated([&](TDosCommand&, std::uint32_t code) { terminated.push_back(code); });

  command.SetMaxTimeAfterBeginning(1);
  command.SetCommandLine(Sh("echo $$; exec sleep 30"));
  auto took = RunToEnd(command);
  EXPECT_EQ(command.EndStatus(), TDosCommand::kTimedOut);
  EXPECT_GE(took, 1s);
  EXPECT_LT(took, 2s);  // killed and reaped within the limit plus one second
  EXPECT_TRUE(ProcessGone(PidOnLine(command)));
  EXPECT_EQ(command.ExitCode(), 0u);
  EXPECT_EQ(terminated, (std::vector<std::uint32_t>{TDosCommand::kStillActive}));

  command.SetMaxTimeAfterBeginning(0);
  command.SetMaxTimeAfterLastOutput(1);
  command.SetCommandLine(Sh("for i in 1 2 3 4; do echo $i; sleep 0.4; done; exec sleep 30"));
  took = RunToEnd(command);
  EXPECT_EQ(command.EndStatus(), TDosCommand::kTimedOut);
  EXPECT_EQ(command.Lines(), (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_GE(took, 2s);  // each line restarted the count
  EXPECT_LT(took, 4s);

  command.SetMaxTimeAfterLastOutput(0);
  command.SetCommandLine(Sh("sleep 1.3; echo done"));
  took = RunToEnd(command);
  EXPECT_EQ(command.EndStatus(), TDosCommand::kEnded);
  EXPECT_GE(took, 1300ms);
}

TEST_F(DosCommandTest, StopAndDestructionKillAndReap) {
  std::atomic<std::uint32_t> terminated{0};
  pid_t child = -1;
  pid_t grandchild = -1;
  {
    TDosCommand command(notifier, RunDirectly);
    command.SetOnTerminated([&](TDosCommand&, std::uint32_t code) { terminated = code; });
    // It starts a child of its own: the whole process group must go.
    command.SetCommandLine(Sh("sleep 30 & echo $!; echo $$; wait"));
    command.Execute();
    grandchild = PidOnLine(command, 0);
    child = PidOnLine(command, 1);
    command.Stop();
    EXPECT_FALSE(command.IsRunning());
    EXPECT_TRUE(WaitFor([&] { return terminated == TDosCommand::kStillActive; }));
    EXPECT_EQ(command.EndStatus(), TDosCommand::kStopped);
    EXPECT_TRUE(ProcessGone(child));
    EXPECT_TRUE(WaitFor([&] { return ProcessDead(grandchild); }));

    terminated = 0;
    command.SetCommandLine(Sh("echo $$; exec sleep 30"));
    command.Execute();
    child = PidOnLine(command);
  }
  EXPECT_TRUE(ProcessGone(child));
  EXPECT_EQ(terminated, 0u);  // no event reaches a runner being destroyed
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

TEST_F(DosCommandTest, HundredRunsLeaveNoChildBehind) {
  TDosCommand command(notifier, RunDirectly);
  for (int i = 0; i < 100; ++i) {
    // Alternately a child that ends by itself and one replaced while it runs.
    command.SetCommandLine(i % 2 ? Words{"sleep", "30"} : Words{"/bin/true"});
    command.Execute();
    if (i % 2 == 0) {
      ASSERT_TRUE(WaitFor([&] { return !command.IsRunning(); }));
    }
  }
  command.Stop();
  const auto children = [] {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc"))
      count += StateOf(entry.path()).second == getpid();
    return count;
  };
  EXPECT_TRUE(WaitFor([&] { return children() == 0; })) << children() << " left";
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
  const pid_t pid = PidOnLine(command);
  command.Stop();
  EXPECT_TRUE(WaitFor([&] { return ProcessGone(pid); }));
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
  command.SetCommandLine({"yes"});
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
