#include "assets/asset_resolver.h"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <thread>
#include <vector>

#include "assets/config_parser.h"
#include "assets/dos_command.h"

namespace kelvane {

namespace {

// The design's 1-based "position 6 or later": a word at the very start of a
// path is not a folder of the simulator.
constexpr std::size_t kEarliestWordIndex = 5;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The folder as text, always ending with a separator, so that the character
// after a folder name is there to take.
std::string FolderText(const std::filesystem::path& folder) {
  std::string text = folder.generic_string();
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

std::size_t FindWord(std::string_view text, std::string_view word) {
  const auto at = Lower(text).find(word);
  return at != std::string::npos && at >= kEarliestWordIndex ? at : std::string::npos;
}

std::filesystem::path UtilityIn(std::string_view prefix) {
  const std::string relative = "bin/" + std::string(kUtilityName);
  auto found = FindIgnoringCase(std::filesystem::path(std::string(prefix)), relative);
  std::error_code ec;
  if (found && std::filesystem::is_regular_file(*found, ec)) return *found;
  return {};
}

void Wait(ResolverContext& context, std::chrono::milliseconds total) {
  const auto step = std::max(context.timing.round, std::chrono::milliseconds(1));
  for (std::chrono::milliseconds waited{0}; waited < total; waited += step) {
    if (context.hooks.pump) context.hooks.pump();
    std::this_thread::sleep_for(std::min(step, total - waited));
  }
}

}  // namespace

std::filesystem::path FindUtility(const std::filesystem::path& folder) {
  std::string working = FolderText(folder);
  std::filesystem::path result;
  if (const auto at = FindWord(working, "editing"); at != std::string::npos) {
    working = working.substr(0, at) + "bin/" + std::string(kUtilityName);
    result = UtilityIn(working.substr(0, at));
  }
  if (const auto at = FindWord(working, "userdata"); at != std::string::npos) {
    working = working.substr(0, at);
    if (auto beside = UtilityIn(working); !beside.empty()) result = beside;
  }
  return result;
}

std::filesystem::path EditingFolder(const std::filesystem::path& folder) {
  const std::string text = FolderText(folder);
  const auto at = FindWord(text, "editing");
  if (at == std::string::npos) return {};
  const std::filesystem::path editing = text.substr(0, at + 8);
  std::error_code ec;
  return std::filesystem::is_directory(editing, ec) ? editing : std::filesystem::path();
}

std::optional<std::string> NextKuidVersion(std::string_view kuid) {
  const std::string text = Lower(StripAngles(kuid));
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

std::string UtilityCommandLine(const std::filesystem::path& utility, std::string_view kuid) {
  std::string line = "\"" + utility.string() + "\" edit " + std::string(kuid);
  return IsWindowsExecutable(utility) ? "wine " + line : line;
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
  // A listing in name order, as the simulator's own file system gives it; the
  // last match wins.
  std::sort(candidates.begin(), candidates.end());
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
  context.log.visible = true;
  context.log.Add("Opening " + kuid);
  const auto utility = FindUtility(context.assetFolder);
  if (utility.empty()) return false;
  if (context.hooks.busyCursor) context.hooks.busyCursor(true);

  context.runner.SetCommandLine(UtilityCommandLine(utility, kuid));
  context.runner.Execute();
  int round = 1;
  for (; round <= context.timing.rounds; ++round) {
    if (context.hooks.pump) context.hooks.pump();
    if (!context.runner.IsRunning()) break;
    const auto end = std::chrono::steady_clock::now() + context.timing.round;
    while (context.runner.IsRunning() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
          kSlice, end - std::chrono::steady_clock::now()));
  }
  if (context.hooks.busyCursor) context.hooks.busyCursor(false);
  return round < context.timing.rounds;
}

std::filesystem::path ResolveAssetFolder(ResolverContext& context, const std::string& kuid) {
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
  if (OpenForEditing(context, kuid)) {
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
    if (OpenForEditing(context, version)) {
      if (auto folder = FindFolderForKuid(context, version); !folder.empty()) return folder;
    }
  }
  return {};
}

}  // namespace kelvane
