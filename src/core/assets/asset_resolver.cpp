#include "assets/asset_resolver.h"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <thread>
#include <vector>

#include "assets/config_parser.h"
#include "base/text.h"
#include "platform/content_path.h"
#include "platform/dos_command.h"
#include "platform/executable_kind.h"
#include "platform/notices.h"

namespace kelvane {

namespace {

// An absolute folder as its root and its components.
struct FolderParts {
  std::filesystem::path root;
  std::vector<std::string> parts;

  explicit FolderParts(const std::filesystem::path& folder) {
    const std::filesystem::path absolute = AbsoluteFolder(folder);
    root = absolute.root_path();
    for (const auto& part : absolute.relative_path()) {
      if (!part.empty()) parts.push_back(part.string());
    }
  }
  // The nearest component before `end` that is `word` in any case; a
  // component right under the root is no folder of the simulator.
  std::optional<std::size_t> Nearest(std::string_view word, std::size_t end) const {
    for (std::size_t i = std::min(end, parts.size()); i-- > 1;) {
      if (EqualsIgnoringAsciiCase(parts[i], word)) return i;
    }
    return std::nullopt;
  }
  // The folder made of the first `count` components.
  std::filesystem::path Prefix(std::size_t count) const {
    std::filesystem::path out = root;
    for (std::size_t i = 0; i < count && i < parts.size(); ++i)
      out /= parts[i];
    return out;
  }
};

std::filesystem::path UtilityIn(const std::filesystem::path& folder) {
  const std::string relative = "bin/" + std::string(kUtilityName);
  auto found = FindIgnoringCase(folder, relative);
  std::error_code ec;
  if (found && std::filesystem::is_regular_file(*found, ec)) return *found;
  return {};
}

bool StopRequested(const ResolverContext& context) {
  return context.hooks.stopRequested && context.hooks.stopRequested();
}

void Wait(ResolverContext& context, std::chrono::milliseconds total) {
  const auto step = std::max(context.timing.round, std::chrono::milliseconds(1));
  for (std::chrono::milliseconds waited{0}; waited < total; waited += step) {
    if (context.hooks.pump) context.hooks.pump();
    if (StopRequested(context)) return;
    std::this_thread::sleep_for(std::min(step, total - waited));
  }
}

// Windows lists a folder by name compared in upper case.
bool HostListsBefore(const std::filesystem::path& a, const std::filesystem::path& b) {
  const std::string nameA = a.filename().string();
  const std::string nameB = b.filename().string();
  const std::string foldedA = AsciiUpper(nameA);
  const std::string foldedB = AsciiUpper(nameB);
  return foldedA != foldedB ? foldedA < foldedB : nameA < nameB;
}

// True when `kuid` may reach the utility; otherwise it is logged.
bool AcceptKuid(ResolverContext& context, const std::string& kuid) {
  if (IsKuidText(kuid)) return true;
  context.log.stage = ProgressLog::Stage::kLookup;
  context.log.Add("Skipped \"" + kuid + "\": not a kuid");
  return false;
}

}  // namespace

std::filesystem::path FindUtility(const std::filesystem::path& folder) {
  const FolderParts path(folder);
  std::filesystem::path result;
  std::size_t end = path.parts.size();
  if (const auto editing = path.Nearest("editing", end)) {
    result = UtilityIn(path.Prefix(*editing));
    end = *editing;
  }
  if (const auto userdata = path.Nearest("userdata", end)) {
    if (auto beside = UtilityIn(path.Prefix(*userdata)); !beside.empty()) result = beside;
  }
  return result;
}

std::filesystem::path EditingFolder(const std::filesystem::path& folder) {
  const FolderParts path(folder);
  const auto at = path.Nearest("editing", path.parts.size());
  if (!at) return {};
  const std::filesystem::path editing = path.Prefix(*at + 1) / "";
  std::error_code ec;
  return std::filesystem::is_directory(editing, ec) ? editing : std::filesystem::path();
}

std::optional<std::string> NextKuidVersion(std::string_view kuid) {
  const std::string text = AsciiLower(StripAngles(kuid));
  if (text.find("kuid:") != std::string::npos) {
    if (text.size() < 5) return std::nullopt;
    return "<kuid2:" + text.substr(5) + ":1>";
  }
  const auto colon = text.rfind(':');
  if (colon == std::string::npos) return std::nullopt;
  const std::string digits = text.substr(colon + 1, 3);
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  int version = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), version);
  version = std::min(version + 1, 127);
  return "<" + text.substr(0, colon + 1) + std::to_string(version) + ">";
}

UtilityLaunch UtilityCommandLine(const std::filesystem::path& utility, std::string_view kuid,
                                 const std::filesystem::path& wine, const WinePrefix& fallback) {
  UtilityLaunch launch{{utility.string(), "edit", std::string(kuid)}, {}};
  if (IsWindowsExecutable(utility)) {
    launch.arguments.insert(launch.arguments.begin(), wine.string());
    const std::filesystem::path prefix = PrefixHolding(utility).value_or(fallback.folder);
    launch.environment.push_back("WINEPREFIX=" + prefix.string());
  }
  return launch;
}

namespace {

// The editing folder's asset that carries `kuid`, without a log line.
std::filesystem::path ScanForKuid(const ResolverContext& context, const std::string& kuid) {
  const auto editing = EditingFolder(context.assetFolder);
  // Outside an editing folder there is nothing to scan.
  if (editing.empty()) return {};

  std::vector<std::filesystem::path> candidates;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(editing, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code typeError;
    if (it->is_directory(typeError)) candidates.push_back(it->path());
  }
  // The last match in the host's listing wins.
  std::sort(candidates.begin(), candidates.end(), HostListsBefore);
  std::filesystem::path result;
  for (const auto& candidate : candidates) {
    const auto config = FindIgnoringCase(candidate, "config.txt");
    if (!config) continue;
    const std::string found = ConfigKuid(*config);
    if (!found.empty() && found == kuid) result = candidate;
  }
  return result;
}

// Short slices of a wait, so that an ended utility or an asset that has
// appeared is noticed at once rather than at the end of a whole round.
constexpr std::chrono::milliseconds kSlice{5};

}  // namespace

std::filesystem::path FindFolderForKuid(ResolverContext& context, const std::string& kuid) {
  context.log.Add("Finding Folder for " + kuid);
  return ScanForKuid(context, kuid);
}

bool OpenForEditing(ResolverContext& context, const std::string& kuid) {
  context.log.stage = ProgressLog::Stage::kLookup;
  context.log.Add("Opening " + kuid);
  if (!AcceptKuid(context, kuid)) return false;
  const auto utility = FindUtility(context.assetFolder);
  if (utility.empty() || StopRequested(context)) return false;
  if (IsWindowsExecutable(utility)) {
    if (!context.wineProgram) context.wineProgram = FindWine().value_or(std::filesystem::path());
    if (context.wineProgram->empty()) {
      if (!context.wineMissingShown && context.notifier) {
        context.notifier->ShowMessage({.caption = "Error",
                                       .text = "\"" + utility.string() +
                                               "\" is a Windows program: it needs wine, which is "
                                               "not installed (no \"wine\" on the PATH)."});
      }
      context.wineMissingShown = true;
      return false;
    }
    if (WindowsMachineOf(utility) == WindowsMachine::kX86) {
      if (!context.wineRuns32Bit) context.wineRuns32Bit = WineRuns32Bit(*context.wineProgram);
      if (!*context.wineRuns32Bit) {
        if (!context.wineMissingShown && context.notifier) {
          context.notifier->ShowMessage(
              {.caption = "Error",
               .text = "\"" + utility.string() +
                       "\" is a 32-bit Windows program: the Wine installed (" +
                       context.wineProgram->string() +
                       ") runs only 64-bit programs. Install 32-bit Wine (on Debian: "
                       "dpkg --add-architecture i386, then apt install wine32)."});
        }
        context.wineMissingShown = true;
        return false;
      }
    }
  }
  if (context.hooks.busyCursor) context.hooks.busyCursor(true);

  UtilityLaunch launch =
      UtilityCommandLine(utility, kuid, context.wineProgram.value_or(""), context.wine);
  context.runner.SetCommandLine(std::move(launch.arguments));
  context.runner.SetEnvironment(std::move(launch.environment));
  context.runner.Execute();
  int round = 1;
  for (; round <= context.timing.rounds; ++round) {
    if (context.hooks.pump) context.hooks.pump();
    if (StopRequested(context)) {
      context.runner.Stop();
      break;
    }
    if (!context.runner.IsRunning()) break;
    const auto end = std::chrono::steady_clock::now() + context.timing.round;
    while (context.runner.IsRunning() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
          kSlice, end - std::chrono::steady_clock::now()));
  }
  if (context.hooks.busyCursor) context.hooks.busyCursor(false);
  return round < context.timing.rounds && !StopRequested(context);
}

std::filesystem::path ResolveAssetFolder(ResolverContext& context, const std::string& kuid) {
  if (!AcceptKuid(context, kuid)) return {};
  if (auto folder = FindFolderForKuid(context, kuid); !folder.empty()) return folder;

  std::vector<std::string> versions;
  std::string current = kuid;
  for (int i = 0; i < 4; ++i) {
    auto next = NextKuidVersion(current);
    // A kuid whose version cannot be read names nothing the utility knows.
    if (!next) return {};
    versions.push_back(*next);
    current = *next;
  }
  for (const auto& version : versions) {
    if (auto folder = FindFolderForKuid(context, version); !folder.empty()) return folder;
  }
  std::vector<std::string> printed;
  bool ran = false;
  // What the utility printed in the runs that ended, each line once.
  auto openForEditing = [&](const std::string& which) {
    if (!OpenForEditing(context, which)) return false;
    ran = true;
    for (std::string& line : context.runner.Lines()) {
      if (std::find(printed.begin(), printed.end(), line) == printed.end())
        printed.push_back(std::move(line));
    }
    return true;
  };
  if (openForEditing(kuid)) {
    // The utility has ended; its asset is given the settle time to appear
    // and taken as soon as it is there.
    context.log.Add("Finding Folder for " + kuid);
    const auto end = std::chrono::steady_clock::now() + context.timing.settle;
    for (;;) {
      if (auto folder = ScanForKuid(context, kuid); !folder.empty()) return folder;
      if (std::chrono::steady_clock::now() >= end) break;
      Wait(context, kSlice);
    }
  }
  for (const auto& version : versions) {
    if (openForEditing(version)) {
      if (auto folder = FindFolderForKuid(context, version); !folder.empty()) return folder;
    }
  }
  if (ran && !context.utilityOutputShown && context.notifier) {
    std::string text = "The simulator's utility ran for " + kuid +
                       " but no asset carrying it appeared in the editing folder.";
    text += printed.empty() ? " It printed nothing." : " It printed:";
    for (const std::string& line : printed)
      text += "\n" + line;
    context.notifier->ShowMessage({.caption = "Error", .text = text});
    context.utilityOutputShown = true;
  }
  return {};
}

}  // namespace kelvane
