#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/line_cutter.h"
#include "platform/notices.h"

namespace kelvane {

class TDosCommand;

using TNewLineEvent =
    std::function<void(TDosCommand& sender, const std::string& text, TOutputType type)>;
using TTerminateEvent = std::function<void(TDosCommand& sender, std::uint32_t exitCode)>;

// Runs `task` on the main thread, before returning or later. The reader thread
// waits until the task has run, unless its run is stopped first; a task that
// runs after that does nothing.
using MainThreadDispatcher = std::function<void(std::function<void()> task)>;

// A list of lines owned by someone else (a memo's lines) that output is
// mirrored into. Used on the main thread only.
class OutputLineList {
 public:
  virtual ~OutputLineList() = default;
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}
  virtual std::size_t Count() const = 0;
  virtual void Add(const std::string& line) = 0;
  virtual void ReplaceLast(const std::string& line) = 0;
};

class StringLineList final : public OutputLineList {
 public:
  std::size_t Count() const override { return lines.size(); }
  void Add(const std::string& line) override { lines.push_back(line); }
  void ReplaceLast(const std::string& line) override { lines.back() = line; }
  std::vector<std::string> lines;
};

// A command line as the user reads it in a message: the words joined by
// spaces, a word holding a space (or none at all) between double quotes.
// Only for showing; nothing ever parses it.
std::string CommandLineText(const std::vector<std::string>& words);

// Runs one command line (program first, then its arguments, each handed to
// the child as it is) as a child process with its standard error joined to
// its standard output, reads that output on a thread of its own and cuts it
// into lines. Execute, Stop and the setters belong to the main thread; the
// getters may be called from any thread, the events' too.
class TDosCommand {
 public:
  enum EndStatusValue : int {
    kNotStarted = 0,
    kCreatingPipes = 2,
    kPipeFailed = 3,
    kPipesMade = 4,
    kProcessFailed = 5,
    kRunning = 6,
    kEnded = 8,
    kStopped = 9,
    kTimedOut = 10,
  };
  // The exit code handed to OnTerminated for a child that did not end itself.
  static constexpr std::uint32_t kStillActive = 259;
  // `Lines` keeps the newest lines within this many bytes, each line counted
  // with its bookkeeping.
  static constexpr std::size_t kMaxKeptBytes = 1024 * 1024;

  // `notifier` shows start failures and must outlive this object.
  TDosCommand(Notifier& notifier, MainThreadDispatcher dispatcher);
  TDosCommand(const TDosCommand&) = delete;
  TDosCommand& operator=(const TDosCommand&) = delete;
  // Stops and kills any child still running and waits for the reader threads;
  // no event is called from then on.
  ~TDosCommand();

  void SetCommandLine(std::vector<std::string> words) { commandLine_ = std::move(words); }
  const std::vector<std::string>& CommandLine() const { return commandLine_; }
  // Variables ("NAME=value") that the child gets on top of this program's
  // own environment, replacing those of the same name.
  void SetEnvironment(std::vector<std::string> assignments) {
    environment_ = std::move(assignments);
  }
  const std::vector<std::string>& Environment() const { return environment_; }
  void SetOnNewLine(TNewLineEvent handler) { onNewLine_ = std::move(handler); }
  void SetOnTerminated(TTerminateEvent handler) { onTerminated_ = std::move(handler); }
  void SetInputToOutput(bool on) { inputToOutput_ = on; }
  bool InputToOutput() const { return inputToOutput_; }
  void SetMaxTimeAfterBeginning(int seconds) { maxTimeAfterBeginning_ = seconds; }
  int MaxTimeAfterBeginning() const { return maxTimeAfterBeginning_; }
  void SetMaxTimeAfterLastOutput(int seconds) { maxTimeAfterLastOutput_ = seconds; }
  int MaxTimeAfterLastOutput() const { return maxTimeAfterLastOutput_; }
  // Where the time limits read the time (the steady clock unless set).
  using TimeSource = std::function<std::chrono::steady_clock::time_point()>;
  void SetClock(TimeSource now) { clock_ = std::move(now); }
  void SetReturnCode(TReturnCode code) { returnCode_ = code; }
  TReturnCode ReturnCode() const { return returnCode_; }
  // Not owned; must outlive the runs that mirror into it.
  void SetOutputLines(OutputLineList* lines) { outputLines_ = lines; }

  // Starts the command line (nothing when it is empty), stopping a run still
  // in progress. The settings are taken as they stand now.
  void Execute();
  bool IsRunning() const;
  // Asks the run to stop; its child is killed and reaped on the reader thread
  // right after, and EndStatus turns to kStopped.
  void Stop();

  // Queues text for the child's standard input, written as it is (no line end
  // added). Execute empties the queue.
  void AddInputLine(std::string text);
  std::vector<std::string> InputLines() const;

  // Of the last run started.
  int EndStatus() const;
  std::uint32_t ExitCode() const;
  TReturnCode OutputReturnCode() const;
  std::vector<std::string> Lines() const;

 private:
  struct Run;
  struct InputQueue;
  struct Worker {
    std::shared_ptr<Run> run;
    std::thread thread;
  };
  void JoinEnded();
  std::shared_ptr<Run> Current() const;
  std::shared_ptr<InputQueue> Input() const;

  Notifier& notifier_;
  MainThreadDispatcher dispatcher_;
  std::vector<std::string> commandLine_;
  std::vector<std::string> environment_;
  TNewLineEvent onNewLine_;
  TTerminateEvent onTerminated_;
  bool inputToOutput_ = false;
  int maxTimeAfterBeginning_ = 0;
  int maxTimeAfterLastOutput_ = 0;
  TimeSource clock_ = [] { return std::chrono::steady_clock::now(); };
  TReturnCode returnCode_ = TReturnCode::rcCRLF;
  OutputLineList* outputLines_ = nullptr;

  mutable std::mutex currentMutex_;  // guards input_ and current_
  std::shared_ptr<InputQueue> input_;
  std::shared_ptr<Run> current_;
  std::vector<Worker> workers_;
};

}  // namespace kelvane
