#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "mesh/model_draw.h"
#include "textures/pixel_buffer.h"

namespace kelvane {

struct RenderOptions {
  std::filesystem::path path;    // mesh file or traincar folder / config.txt
  std::filesystem::path output;  // .png or .jpg
  int width = 240;
  int height = 180;
  std::optional<float> rotX, rotY, zoom, panX, panY;
  bool wireframe = false;    // the wireframe view
  bool attachments = false;  // the wireframe view framed to the attachment points
  std::optional<std::string> locateTexture;
  std::optional<float> bumpStrength;
  bool bumpsOnly = false;
  bool noAxes = false;
  bool feet = false;
  std::optional<std::int32_t> background;  // 0x00BBGGRR
  std::optional<float> gauge;              // rail centres, metres
  std::optional<std::int32_t> tieSpacing;  // millimetres
  // The viewer's settings file whose picture settings (background, axes,
  // units, marker size, bump strength, track) replace the defaults; the
  // options above override them. Empty: the defaults.
  std::filesystem::path settingsFile;
  GeometryPath geometry = GeometryPath::BufferObjects;
  bool timing = false;  // report the time from opening to the drawn frame, and the peak memory
  // Objects whose texture cannot be read are drawn lit in a neutral grey.
  bool neutralMissingTextures = false;
  // When set, the picture is handed back here and `output` is not written.
  PixelBuffer* picture = nullptr;
};

// What is wrong with the options before anything is opened: an output
// that is neither .png nor .jpg, a side outside 1..8192. Empty when nothing.
std::optional<std::string> RenderUsageError(const RenderOptions& options);

// Opens the file as the viewer does (framing, view reset, settings),
// applies the options, draws one frame into a headless context and writes
// it (JPEG at quality 90, or PNG). Messages go to `messages`. Returns 0
// when written, 2 for a usage error, 1 when the settings file cannot be
// read, the file does not load, no GL context can be made or the picture
// cannot be written.
int RunRender(const RenderOptions& options, std::ostream& messages);

}  // namespace kelvane
