#include "assets/openwith_setup.h"

#include <fstream>

#include <system_error>
#include <vector>
#include "platform/content_path.h"

namespace kelvane {

namespace {

struct VersionTexts {
  const char* name;
  std::vector<const char*> defaults;
  bool clearFirst;
  std::vector<const char*> lines;
  const char* caption;
};

const VersionTexts& Texts(HostVersion version) {
  static const std::array<VersionTexts, 3> kTexts{{
      {"Corvel",
       {"C:\\Program Files\\Ostrand\\Corvel", "C:\\Program Files (x86)\\Ostrand\\Corvel"},
       true,
       {"Locate the Corvel application folder (usually", "..Program Files\\Ostrand\\Corvel.)",
        "If you don't have Corvel press \"cancel\"."},
       "Find Corvel Root Folder.\rIf you don't have Corvel press cancel."},
      {"Dunmere",
       {"C:\\Program Files\\Ostrand\\Dunmere", "C:\\Program Files (x86)\\Ostrand\\Dunmere"},
       false,
       {"", "", "Locate the Dunmere application folder (usually",
        "..Program Files\\Ostrand\\Dunmere.)", " If you don't have Dunmere press \"cancel\"."},
       " Find Dunmere Root Folder\rIf you don't have Dunmere press cancel."},
      {"Estrel",
       {"C:\\Program Files\\Ostrand\\Estrel", "C:\\Program Files (x86)\\Ostrand\\Estrel",
        "C:\\Program Files\\Haldenmark\\Estrel", "C:\\Program Files (x86)\\Haldenmark\\Estrel"},
       false,
       {"", "", "Locate the Estrel application folder (usually",
        "..Program Files (x86)\\Haldenmark\\Estrel)",
        " If you don't have Estrel press \"cancel\"."},
       " Find Estrel Root Folder\rIf you don't have Estrel press cancel."},
  }};
  return kTexts[static_cast<std::size_t>(version)];
}

constexpr const char* kMacroName = "Railglass.bat";

bool IsFolder(const std::filesystem::path& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_directory(path, ec);
}

}  // namespace

bool HostFolderSettings::AllEmpty() const {
  for (const auto& folder : folders) {
    if (!folder.empty()) return false;
  }
  return true;
}

std::string OpenWithMacroText(const std::filesystem::path& program) {
  // A batch file reads "%" as the start of a variable; "%%" is one "%".
  std::string escaped;
  for (const char c : program.string())
    escaped += c == '%' ? std::string("%%") : std::string(1, c);
  // Wine's cmd starts a program of this host by its own path through
  // "start /unix"; the empty title keeps the quoted path from being taken
  // as one.
  return "@echo off\r\nstart \"\" /unix \"" + escaped + "\" %1\r\n";
}

void WriteOpenWithMacro(const std::filesystem::path& macroFile,
                        const std::filesystem::path& program) {
  std::ofstream out(macroFile, std::ios::binary | std::ios::trunc);
  const std::string text = OpenWithMacroText(program);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    throw std::filesystem::filesystem_error("Cannot write the OpenWith macro", macroFile,
                                            std::make_error_code(std::errc::io_error));
  }
}

std::filesystem::path DefaultHostFolder(const WinePrefix& wine, HostVersion version) {
  for (const char* folder : Texts(version).defaults) {
    if (auto host = HostPathOf(wine, folder); host && IsFolder(*host)) return *host;
  }
  return {};
}

void SetOpenWith(HostFolderSettings& settings, ProgressLog& log, const OpenWithEnvironment& env) {
  bool anyEmpty = false;
  for (const auto& folder : settings.folders)
    anyEmpty = anyEmpty || folder.empty();
  if (anyEmpty) {
    log.stage = ProgressLog::Stage::kSetUp;
    log.Clear();
  }
  for (HostVersion version : kHostVersions) {
    std::string& folder = settings[version];
    if (!folder.empty()) continue;
    const VersionTexts& texts = Texts(version);

    folder = DefaultHostFolder(env.wine, version).string();
    if (folder.empty()) {
      if (texts.clearFirst) log.Clear();
      for (const char* line : texts.lines)
        log.Add(line);
      if (env.browseFolder) {
        auto start = HostPathOf(env.wine, "C:\\").value_or(std::filesystem::path());
        if (!start.has_filename()) start = start.parent_path();
        if (!IsFolder(start)) start.clear();
        if (auto chosen = env.browseFolder(texts.caption, start)) folder = chosen->string();
      }
    }

    const auto tools =
        folder.empty() ? std::nullopt : FindIgnoringCase(folder, "bin/Vantorbase/Tools");
    if (tools && IsFolder(*tools)) {
      std::filesystem::path macroFolder = tools->string() + "/OpenWith";
      if (auto existing = FindIgnoringCase(*tools, "OpenWith"); existing && IsFolder(*existing)) {
        macroFolder = *existing;
      } else {
        std::filesystem::create_directory(macroFolder);
      }
      // A macro written on Windows may differ in case; it is replaced, not
      // joined by a second one.
      const auto macro =
          FindFolderEntry(macroFolder, kMacroName).value_or(macroFolder / kMacroName);
      WriteOpenWithMacro(macro, env.executable);
      log.Add(std::string(texts.name) + " OpenWith Macro loaded");
    } else {
      folder = kNotFound;
    }
  }
  if (env.pause) env.pause(std::chrono::milliseconds(3000));
  log.stage = ProgressLog::Stage::kQuiet;
}

void OpenWith1Click(HostFolderSettings& settings, ProgressLog& log,
                    const OpenWithEnvironment& env) {
  for (auto& folder : settings.folders)
    folder.clear();
  SetOpenWith(settings, log, env);
}

HostFolderSettings HostFolders(const ViewerSettings& s) {
  HostFolderSettings folders;
  folders[HostVersion::Corvel] = s.corvelDir;
  folders[HostVersion::Dunmere] = s.dunmereDir;
  folders[HostVersion::Estrel] = s.estrelDir;
  return folders;
}

void StoreHostFolders(ViewerSettings& s, const HostFolderSettings& folders) {
  // Kept as short as when read from the file.
  auto cut = [](const std::string& text) { return text.substr(0, kMaxSettingText); };
  s.corvelDir = cut(folders[HostVersion::Corvel]);
  s.dunmereDir = cut(folders[HostVersion::Dunmere]);
  s.estrelDir = cut(folders[HostVersion::Estrel]);
}

}  // namespace kelvane
