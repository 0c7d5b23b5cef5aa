#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "settings/mem_ini.h"

namespace kelvane {

// The background a fresh installation shows, as 0x00BBGGRR: a dark blue
// (red 39, green 116, blue 152).
inline constexpr std::int32_t kDefaultBackgroundColour = 0x987427;

// A stored background of 0 means no colour was picked (the start-up grey),
// as in files written before black could be picked. A picked black is
// stored with this bit above the colour: it reads back as black, and
// drawing ignores the bit.
inline constexpr std::int32_t kPickedBlack = 0x01000000;
// The value stored for a colour picked in the dialog, 0..255 each.
std::int32_t PickedBackground(int red, int green, int blue);

// Every persistent setting of the viewer, with its default.
struct ViewerSettings {
  // MRU
  std::string lastFile;
  std::string thumbnail = "$screenshot$.jpg";
  // Options
  std::int32_t bgroundColour = kDefaultBackgroundColour;  // 0x00BBGGRR
  std::int32_t attSize = 10;
  bool showAxes = true;
  bool metric = true;
  float bumpAlpha = 0.2f;
  bool reloadOnChange = true;  // reload the open model when its files change
  // Position
  std::int32_t top = 0;
  std::int32_t left = 0;
  std::int32_t width = 400;
  std::int32_t height = 300;
  // Closed maximised; the four values above are then its normal place.
  bool maximised = false;
  // Track
  std::int32_t gaugeIndex = 3;
  float gauge = 1.44f;
  std::int32_t unitsIndex = 0;
  std::int32_t tieSpacing = 800;  // millimetres, 300..2000
  // Paths: the three host versions' installation folders
  std::string corvelDir;
  std::string dunmereDir;
  std::string estrelDir;
};

// Longest text value kept, as read from the file.
constexpr std::size_t kMaxSettingText = 255;

constexpr std::int32_t kMinTieSpacing = 300;
constexpr std::int32_t kMaxTieSpacing = 2000;

// Reads every key; missing or unreadable values keep their defaults.
ViewerSettings ReadSettings(const TMemIni& ini);
// Writes every key in file order (MRU, Options, Position, Track, Paths).
void WriteSettings(TMemIni& ini, const ViewerSettings& settings);

struct WindowGeometry {
  std::int32_t top = 0, left = 0, width = 0, height = 0;
};

// Writes the settings and updates the file. The window's geometry replaces
// the position unless the window is maximised (`normalGeometry` empty), when
// the position read at start-up is kept. A settings file that existed but
// could not be read is never overwritten: false, with `error` saying why.
bool SaveConfig(TMemIni& ini, ViewerSettings& settings,
                const std::optional<WindowGeometry>& normalGeometry, std::string* error);

// `<executable>.ini` beside the program when that folder is writable, else
// `$XDG_CONFIG_HOME/kelvane/kelvane.ini` (`~/.config` by default).
std::filesystem::path DefaultSettingsPath(const std::filesystem::path& executable);
// `$XDG_CONFIG_HOME/kelvane/kelvane.ini`, or under `$HOME/.config`; empty
// when neither is set.
std::filesystem::path XdgSettingsPath();

}  // namespace kelvane
