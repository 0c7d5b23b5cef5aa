#pragma once

// What the main window's source files share (main_window*.cpp).
#include <QSize>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace kelvane {

using namespace std::chrono_literals;

// The one-shot timers' intervals.
inline constexpr auto kThumbnailDelay = 1000ms;  // Make Thumbnail to the picture
inline constexpr auto kMouseArmDelay = 500ms;    // a load to dragging
inline constexpr auto kRenderBurst = 500ms;      // frames drawn after the last input
inline constexpr auto kThumbnailBurst = 1500ms;  // the same while a thumbnail is due
inline constexpr auto kHostSetUpDelay = 1000ms;  // the window up to the first start's set-up

// Thumbnails: the view at the size of this panel, written as JPEG.
inline constexpr QSize kThumbnailSize{240, 180};
inline constexpr int kThumbnailQuality = 90;

// The attachment name box's widths: a point's name, the same on leaving
// the size mode, the marker size, a texture name; the point boxes' width.
inline constexpr int kPointNameWidth = 153;
inline constexpr int kPointNameWidthAfterSize = 121;
inline constexpr int kMarkerSizeWidth = 30;
inline constexpr int kTextureNameWidth = 200;
inline constexpr int kPointVectorWidth = 200;
// The attachment markers' size, in pixels.
inline constexpr int kMinMarkerSize = 3;
inline constexpr int kMaxMarkerSize = 15;

// The bump slider's positions; the strength follows from the position.
inline constexpr int kBumpSliderMax = 20;
// Mesh Data and About open this far below the window's centre, in pixels.
inline constexpr int kDialogDrop = 20;

bool FileExists(const std::filesystem::path& path);
bool FolderExists(const std::filesystem::path& path);
// Titles and dialog captions are one line: a line break reads as a space.
std::string OneLine(std::string text);
// The asset's configuration file as it is named in its folder.
std::filesystem::path ConfigFileIn(const std::filesystem::path& folder);

}  // namespace kelvane
