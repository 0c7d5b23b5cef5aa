#include "install_layout.h"

#include <system_error>

#include "build_info.h"
#include "settings/viewer_settings.h"

namespace kelvane {

namespace {

bool HoldsData(const std::filesystem::path& folder) {
  std::error_code ec;
  return std::filesystem::exists(folder / "help" / "kelvane.html", ec) ||
         std::filesystem::exists(folder / "BallastTexture.jpg", ec);
}

std::filesystem::path InstalledDataFolder(const std::filesystem::path& exeFolder) {
  return (exeFolder / KELVANE_DATA_FROM_BIN).lexically_normal();
}

}  // namespace

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe.parent_path();
}

bool IsInstalled(const std::filesystem::path& exeFolder) {
  return !HoldsData(exeFolder) && HoldsData(InstalledDataFolder(exeFolder));
}

std::filesystem::path DataFolder(const std::filesystem::path& exeFolder) {
  if (HoldsData(exeFolder)) return exeFolder;
  const auto installed = InstalledDataFolder(exeFolder);
  return HoldsData(installed) ? installed : std::filesystem::path();
}

std::filesystem::path SettingsPathFor(const std::filesystem::path& executable) {
  if (IsInstalled(executable.parent_path())) {
    const auto config = XdgSettingsPath();
    if (!config.empty()) return config;
  }
  return DefaultSettingsPath(executable);
}

}  // namespace kelvane
