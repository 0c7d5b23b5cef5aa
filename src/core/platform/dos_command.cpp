#include "platform/dos_command.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>

#include <poll.h>

#include "platform/child_process.h"

namespace kelvane {

namespace {

using Clock = std::chrono::steady_clock;

// How long the reader waits for output before it looks at the child, the
// time limits and the stop request again.
constexpr int kPollMilliseconds = 10;
constexpr std::size_t kFirstBufferSize = 1024;
constexpr std::size_t kLargestBufferSize = 64 * 1024;

// Start failures, carrying what the user is told and the system's error code.
class TCreatePipeError : public std::runtime_error {
 public:
  TCreatePipeError(const std::string& text, int code) : std::runtime_error(text), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

class TCreateProcessError : public std::runtime_error {
 public:
  TCreateProcessError(const std::string& text, int code) : std::runtime_error(text), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

}  // namespace

std::string CommandLineText(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) {
    if (!text.empty()) text += ' ';
    const bool group = word.empty() || word.find_first_of(" \t") != std::string::npos;
    text += group ? "\"" + word + "\"" : word;
  }
  return text;
}

struct TDosCommand::InputQueue {
  std::mutex mutex;
  std::deque<std::string> entries;
};

// One run: the settings it was started with, its outcome and the reader
// thread's working state. Shared by the component and the reader thread, so
// a run the component has forgotten can still finish safely.
struct TDosCommand::Run : std::enable_shared_from_this<TDosCommand::Run> {
  // A task handed to the main thread. Guarded by Run::mutex.
  struct HandOff {
    bool started = false;
    bool done = false;
    bool abandoned = false;
  };

  // Settings, fixed for the run.
  TDosCommand* owner = nullptr;
  Notifier* notifier = nullptr;
  MainThreadDispatcher dispatcher;
  std::vector<std::string> commandLine;
  std::vector<std::string> environment;  // the child's, whole
  TNewLineEvent onNewLine;
  TTerminateEvent onTerminated;
  bool inputToOutput = false;
  int maxTimeAfterBeginning = 0;
  int maxTimeAfterLastOutput = 0;
  TDosCommand::TimeSource clock;
  OutputLineList* outputLines = nullptr;
  std::shared_ptr<InputQueue> input;

  // Outcome, read from any thread.
  std::atomic<int> endStatus{kNotStarted};
  std::atomic<std::uint32_t> exitCode{0};
  std::atomic<TReturnCode> outputReturnCode{TReturnCode::rcCRLF};
  std::atomic<bool> active{true};
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> ownerGone{false};

  std::mutex mutex;
  std::condition_variable wake;

  mutable std::mutex linesMutex;
  std::deque<std::string> lines;
  std::size_t keptBytes = 0;

  // Reader thread only.
  LineCutter cutter;
  bool unfinishedReported = false;
  Clock::time_point started;
  Clock::time_point lastOutput;
  pid_t pid = -1;
  UniqueFd toChild;    // our end of the child's standard input
  UniqueFd fromChild;  // our end of the child's standard output and error
  std::vector<char> buffer;

  void RequestStop() {
    {
      std::lock_guard lock(mutex);
      stopRequested = true;
    }
    wake.notify_all();
  }

  void Work();
  void Start();
  bool ReadOnce();
  void ReadAllWaiting();
  void Cut(std::size_t count);
  void WriteInput();
  void Report(const std::string& text, TOutputType type);
  void Keep(const std::string& text);
  void CallOnMain(std::function<void()> task);
  void ShowFailure(const std::string& text);
};

void TDosCommand::Run::Work() {
  // A write to a child that closed its input must fail with EPIPE, not end
  // this program; the mask is this thread's own and the child's is reset.
  BlockPipeSignal();

  try {
    Start();
  } catch (const TCreatePipeError& error) {
    ShowFailure(error.what());
    endStatus = kPipeFailed;
    exitCode = static_cast<std::uint32_t>(error.code());
    active = false;
    return;
  } catch (const TCreateProcessError& error) {
    ShowFailure(error.what());
    endStatus = kProcessFailed;
    exitCode = static_cast<std::uint32_t>(error.code());
    active = false;
    return;
  }

  std::uint32_t lastFetched = kStillActive;
  for (;;) {
    const std::optional<std::uint32_t> ended = PollChildExit(pid);
    bool readSome = false;
    if (ended) {
      // Everything the child wrote before it ended is waiting now.
      ReadAllWaiting();
    } else {
      readSome = ReadOnce();
    }
    if (!readSome) WriteInput();
    if (ended) {
      lastFetched = *ended;
      exitCode = *ended;
      endStatus = kEnded;
      break;
    }
    if (stopRequested) {
      endStatus = kStopped;
      break;
    }
    const Clock::time_point now = clock();
    if (maxTimeAfterBeginning > 0 && now - started > std::chrono::seconds(maxTimeAfterBeginning)) {
      endStatus = kTimedOut;
      break;
    }
    if (maxTimeAfterLastOutput >= 1 &&
        now - lastOutput > std::chrono::seconds(maxTimeAfterLastOutput)) {
      endStatus = kTimedOut;
      break;
    }
  }

  // Killed before the last report, which may wait for the main thread.
  if (endStatus != kEnded) KillAndReapChild(pid);
  if (!cutter.Carried().empty()) Report(cutter.Carried(), TOutputType::otBeginningOfLine);
  toChild.Reset();
  fromChild.Reset();
  buffer = {};
  if (onTerminated && !ownerGone) onTerminated(*owner, lastFetched);
  active = false;
}

void TDosCommand::Run::Start() {
  endStatus = kCreatingPipes;
  UniqueFd childInput;
  UniqueFd childOutput;
  if (const int error = MakePipe(childInput, toChild)) {
    throw TCreatePipeError(
        std::string("Cannot create a pipe for the child process: ") + std::strerror(error) + ".",
        error);
  }
  if (const int error = MakePipe(fromChild, childOutput)) {
    throw TCreatePipeError(
        std::string("Cannot create a pipe for the child process: ") + std::strerror(error) + ".",
        error);
  }
  endStatus = kPipesMade;

  if (const int error =
          SpawnChild(commandLine, environment, childInput.get(), childOutput.get(), pid)) {
    throw TCreateProcessError(CommandLineText(commandLine) + " doesn't exist.", error);
  }

  SetNonBlocking(toChild.get());
  SetNonBlocking(fromChild.get());
  buffer.resize(kFirstBufferSize);
  started = lastOutput = clock();
  endStatus = kRunning;
}

bool TDosCommand::Run::ReadOnce() {
  if (fromChild.get() < 0) {
    // The child closed its output but runs on: only wait.
    ::poll(nullptr, 0, kPollMilliseconds);
    return false;
  }
  pollfd p{fromChild.get(), POLLIN, 0};
  if (::poll(&p, 1, kPollMilliseconds) <= 0) return false;
  const std::size_t waiting = BytesWaiting(fromChild.get());
  if (waiting > buffer.size()) buffer.resize(std::min(waiting, kLargestBufferSize));
  const ssize_t n = ::read(fromChild.get(), buffer.data(), buffer.size());
  if (n == 0) {
    fromChild.Reset();
    return false;
  }
  if (n < 0) return false;
  Cut(static_cast<std::size_t>(n));
  return true;
}

void TDosCommand::Run::ReadAllWaiting() {
  if (fromChild.get() < 0) return;
  // Bounded by what waits now: a grandchild still writing cannot hold us.
  std::size_t left = BytesWaiting(fromChild.get());
  while (left > 0) {
    if (left > buffer.size()) buffer.resize(std::min(left, kLargestBufferSize));
    const ssize_t n = ::read(fromChild.get(), buffer.data(), std::min(left, buffer.size()));
    if (n <= 0) break;
    Cut(static_cast<std::size_t>(n));
    left -= static_cast<std::size_t>(n);
  }
}

void TDosCommand::Run::Cut(std::size_t count) {
  cutter.Feed(std::span<const char>(buffer.data(), count),
              [this](const std::string& text, TOutputType type, TReturnCode end) {
                if (type == TOutputType::otEntireLine) outputReturnCode = end;
                Report(text, type);
              });
}

void TDosCommand::Run::WriteInput() {
  if (toChild.get() < 0) return;
  for (;;) {
    std::string entry;
    {
      std::lock_guard lock(input->mutex);
      if (input->entries.empty() || stopRequested) return;
      entry = input->entries.front();
    }
    std::size_t written = 0;
    while (written < entry.size()) {
      const ssize_t n = ::write(toChild.get(), entry.data() + written, entry.size() - written);
      if (n > 0) {
        written += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EPIPE) {
        // The child reads no more; consume the signal this thread holds back.
        ConsumePipeSignal();
        toChild.Reset();
        std::lock_guard lock(input->mutex);
        input->entries.clear();
        return;
      }
      // Full pipe: keep the rest for the next round instead of blocking.
      std::lock_guard lock(input->mutex);
      input->entries.front().erase(0, written);
      return;
    }
    {
      std::lock_guard lock(input->mutex);
      input->entries.pop_front();
    }
    if (inputToOutput) {
      cutter.Echo(
          entry, unfinishedReported,
          [this](const std::string& text, TOutputType type, TReturnCode) { Report(text, type); });
    }
  }
}

void TDosCommand::Run::Keep(const std::string& text) {
  const auto cost = [](const std::string& s) { return s.size() + sizeof(std::string); };
  std::lock_guard lock(linesMutex);
  lines.push_back(text);
  keptBytes += cost(text);
  while (keptBytes > kMaxKeptBytes && lines.size() > 1) {
    keptBytes -= cost(lines.front());
    lines.pop_front();
  }
}

void TDosCommand::Run::Report(const std::string& text, TOutputType type) {
  Keep(text);
  lastOutput = clock();
  if ((outputLines || onNewLine) && !ownerGone) {
    const bool replaceLast = unfinishedReported;
    CallOnMain([this, text, type, replaceLast] {
      if (outputLines) {
        outputLines->BeginUpdate();
        if (outputLines->Count() > 0 && replaceLast) {
          outputLines->ReplaceLast(text);
        } else {
          outputLines->Add(text);
        }
        outputLines->EndUpdate();
      }
      if (onNewLine) onNewLine(*owner, text, type);
    });
  }
  unfinishedReported = type == TOutputType::otBeginningOfLine;
}

void TDosCommand::Run::CallOnMain(std::function<void()> task) {
  auto handOff = std::make_shared<HandOff>();
  auto self = shared_from_this();
  dispatcher([self, handOff, task = std::move(task)] {
    {
      std::lock_guard lock(self->mutex);
      if (handOff->abandoned) return;
      handOff->started = true;
    }
    task();
    {
      std::lock_guard lock(self->mutex);
      handOff->done = true;
    }
    self->wake.notify_all();
  });
  std::unique_lock lock(mutex);
  // A stopped run no longer waits for a main thread that may be waiting for
  // it; a task already running is let finish, as it uses this run.
  wake.wait(lock, [&] { return handOff->done || (stopRequested && !handOff->started); });
  if (!handOff->done) handOff->abandoned = true;
}

void TDosCommand::Run::ShowFailure(const std::string& text) {
  if (ownerGone) return;
  Notifier* target = notifier;
  CallOnMain([target, text] { target->ShowMessage({.caption = "Error", .text = text}); });
}

TDosCommand::TDosCommand(Notifier& notifier, MainThreadDispatcher dispatcher)
    : notifier_(notifier),
      dispatcher_(std::move(dispatcher)),
      input_(std::make_shared<InputQueue>()) {}

TDosCommand::~TDosCommand() {
  for (Worker& w : workers_) {
    w.run->ownerGone = true;
    w.run->RequestStop();
  }
  for (Worker& w : workers_) {
    if (!w.thread.joinable()) continue;
    if (w.thread.get_id() == std::this_thread::get_id()) {
      w.thread.detach();  // destroyed from its own event; the run keeps itself alive
    } else {
      w.thread.join();
    }
  }
}

void TDosCommand::JoinEnded() {
  std::erase_if(workers_, [](Worker& w) {
    if (w.run->active || w.thread.get_id() == std::this_thread::get_id()) return false;
    w.thread.join();
    return true;
  });
}

void TDosCommand::Execute() {
  if (commandLine_.empty()) return;
  Stop();
  JoinEnded();
  auto input = std::make_shared<InputQueue>();

  auto run = std::make_shared<Run>();
  run->owner = this;
  run->notifier = &notifier_;
  run->dispatcher = dispatcher_;
  run->commandLine = commandLine_;
  // Taken here, on the main thread, which alone may change the environment.
  run->environment = ChildEnvironment(environment_);
  run->onNewLine = onNewLine_;
  run->onTerminated = onTerminated_;
  run->inputToOutput = inputToOutput_;
  run->maxTimeAfterBeginning = maxTimeAfterBeginning_;
  run->maxTimeAfterLastOutput = maxTimeAfterLastOutput_;
  run->clock = clock_;
  run->outputLines = outputLines_;
  run->input = input;

  // Published before the thread starts, as its events may ask for it.
  {
    std::lock_guard lock(currentMutex_);
    current_ = run;
    input_ = std::move(input);
  }
  workers_.reserve(workers_.size() + 1);
  try {
    workers_.push_back({run, std::thread([run] { run->Work(); })});
  } catch (...) {
    run->active = false;
    throw;
  }
}

std::shared_ptr<TDosCommand::Run> TDosCommand::Current() const {
  std::lock_guard lock(currentMutex_);
  return current_;
}

bool TDosCommand::IsRunning() const {
  const auto run = Current();
  return run && run->active && !run->stopRequested;
}

void TDosCommand::Stop() {
  if (const auto run = Current()) run->RequestStop();
  JoinEnded();
}

std::shared_ptr<TDosCommand::InputQueue> TDosCommand::Input() const {
  std::lock_guard lock(currentMutex_);
  return input_;
}

void TDosCommand::AddInputLine(std::string text) {
  const auto input = Input();
  std::lock_guard lock(input->mutex);
  input->entries.push_back(std::move(text));
}

std::vector<std::string> TDosCommand::InputLines() const {
  const auto input = Input();
  std::lock_guard lock(input->mutex);
  return {input->entries.begin(), input->entries.end()};
}

int TDosCommand::EndStatus() const {
  const auto run = Current();
  return run ? run->endStatus.load() : kNotStarted;
}

std::uint32_t TDosCommand::ExitCode() const {
  const auto run = Current();
  return run ? run->exitCode.load() : 0;
}

TReturnCode TDosCommand::OutputReturnCode() const {
  const auto run = Current();
  return run ? run->outputReturnCode.load() : TReturnCode::rcCRLF;
}

std::vector<std::string> TDosCommand::Lines() const {
  const auto run = Current();
  if (!run) return {};
  std::lock_guard lock(run->linesMutex);
  return {run->lines.begin(), run->lines.end()};
}

}  // namespace kelvane
