#include "settings/viewer_settings.h"

#include <algorithm>
#include <cstdlib>
#include <variant>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace kelvane {

namespace {

// Strings the program keeps to 255 characters.
struct Text255 {
  std::string ViewerSettings::*member;
};

using Member = std::variant<std::string ViewerSettings::*, Text255, std::int32_t ViewerSettings::*,
                            bool ViewerSettings::*, float ViewerSettings::*>;

struct Key {
  const char* section;
  const char* name;
  Member member;
};

// The keys in file order; defaults are those of ViewerSettings.
const Key kKeys[] = {
    {"MRU", "lastfile", &ViewerSettings::lastFile},
    {"MRU", "thumbnail", Text255{&ViewerSettings::thumbnail}},
    {"Options", "BGroundColour", &ViewerSettings::bgroundColour},
    {"Options", "AttSize", &ViewerSettings::attSize},
    {"Options", "ShowAxes", &ViewerSettings::showAxes},
    {"Options", "Metric", &ViewerSettings::metric},
    {"Options", "bumpalpha", &ViewerSettings::bumpAlpha},
    {"Options", "ReloadOnChange", &ViewerSettings::reloadOnChange},
    {"Position", "Top", &ViewerSettings::top},
    {"Position", "Left", &ViewerSettings::left},
    {"Position", "Width", &ViewerSettings::width},
    {"Position", "Height", &ViewerSettings::height},
    {"Position", "Maximised", &ViewerSettings::maximised},
    {"Track", "GaugeIndex", &ViewerSettings::gaugeIndex},
    {"Track", "Gauge", &ViewerSettings::gauge},
    {"Track", "UnitsIndex", &ViewerSettings::unitsIndex},
    {"Track", "TieSpacing", &ViewerSettings::tieSpacing},
    {"Paths", "Corvel_dir", Text255{&ViewerSettings::corvelDir}},
    {"Paths", "Dunmere_dir", Text255{&ViewerSettings::dunmereDir}},
    {"Paths", "Estrel_dir", Text255{&ViewerSettings::estrelDir}},
};

template <class... F>
struct Overload : F... {
  using F::operator()...;
};
template <class... F>
Overload(F...) -> Overload<F...>;

}  // namespace

std::int32_t PickedBackground(int red, int green, int blue) {
  const auto byte = [](int v) { return static_cast<std::uint32_t>(std::clamp(v, 0, 255)); };
  const std::uint32_t value = byte(red) | (byte(green) << 8) | (byte(blue) << 16);
  return value == 0 ? kPickedBlack : static_cast<std::int32_t>(value);
}

ViewerSettings ReadSettings(const TMemIni& ini) {
  ViewerSettings s;
  for (const Key& k : kKeys) {
    std::visit(
        Overload{
            [&](std::string ViewerSettings::*m) { s.*m = ini.ReadString(k.section, k.name, s.*m); },
            [&](Text255 t) {
              s.*t.member = ini.ReadString(k.section, k.name, s.*t.member);
              if ((s.*t.member).size() > kMaxSettingText) (s.*t.member).resize(kMaxSettingText);
            },
            [&](std::int32_t ViewerSettings::*m) {
              s.*m = ini.ReadInteger(k.section, k.name, s.*m);
            },
            [&](bool ViewerSettings::*m) { s.*m = ini.ReadBool(k.section, k.name, s.*m); },
            [&](float ViewerSettings::*m) { s.*m = ini.ReadFloat(k.section, k.name, s.*m); },
        },
        k.member);
  }
  // A hand-edited spacing is brought into the range the track dialog offers.
  s.tieSpacing = std::clamp(s.tieSpacing, kMinTieSpacing, kMaxTieSpacing);
  return s;
}

void WriteSettings(TMemIni& ini, const ViewerSettings& s) {
  for (const Key& k : kKeys) {
    std::visit(
        Overload{
            [&](std::string ViewerSettings::*m) { ini.WriteString(k.section, k.name, s.*m); },
            [&](Text255 t) { ini.WriteString(k.section, k.name, s.*t.member); },
            [&](std::int32_t ViewerSettings::*m) { ini.WriteInteger(k.section, k.name, s.*m); },
            [&](bool ViewerSettings::*m) { ini.WriteBool(k.section, k.name, s.*m); },
            [&](float ViewerSettings::*m) { ini.WriteFloat(k.section, k.name, s.*m); },
        },
        k.member);
  }
}

bool SaveConfig(TMemIni& ini, ViewerSettings& settings,
                const std::optional<WindowGeometry>& normalGeometry, std::string* error) {
  if (normalGeometry) {
    settings.top = normalGeometry->top;
    settings.left = normalGeometry->left;
    settings.width = normalGeometry->width;
    settings.height = normalGeometry->height;
  }
  if (ini.status() == TMemIni::ReadStatus::Unreadable) {
    if (error) {
      *error = "The settings file " + ini.fileName().string() +
               " could not be read, so it is not overwritten.";
    }
    return false;
  }
  WriteSettings(ini, settings);
  return ini.UpdateFile(error);
}

std::filesystem::path DefaultSettingsPath(const std::filesystem::path& executable) {
  std::filesystem::path beside = executable;
  beside.replace_extension(".ini");
  std::error_code ec;
  const auto folder =
      executable.has_parent_path() ? executable.parent_path() : std::filesystem::current_path(ec);
#if defined(__unix__) || defined(__APPLE__)
  if (::access(folder.c_str(), W_OK) == 0) return beside;
#else
  (void)folder;
  return beside;
#endif
  const std::filesystem::path config = XdgSettingsPath();
  return config.empty() ? beside : config;
}

std::filesystem::path XdgSettingsPath() {
  std::filesystem::path config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    config = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    config = std::filesystem::path(home) / ".config";
  } else {
    return {};
  }
  return config / "kelvane" / "kelvane.ini";
}

}  // namespace kelvane
