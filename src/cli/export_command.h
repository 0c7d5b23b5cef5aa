#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>

#include "export/gltf_export.h"

namespace kelvane {

struct ExportOptions {
  std::filesystem::path path;    // a mesh file or a traincar
  std::filesystem::path output;  // .glb or .gltf
  GltfExportOptions gltf;
  // Adds the traincar's track, drawn as the viewer draws it by default
  // unless the gauge or spacing is given.
  bool track = false;
  std::optional<float> gauge;              // rail centres, metres
  std::optional<std::int32_t> tieSpacing;  // millimetres
};

// Opens the path as the viewer does and writes it as glTF 2.0. What the
// loaders say goes to `messages` as "caption: text". Returns 1 when
// nothing loaded or the output cannot be written, 2 for a usage error
// (an output that is neither .glb nor .gltf, the track asked for a path
// that is not a traincar), 0 otherwise.
int RunExport(const ExportOptions& options, std::ostream& messages);

}  // namespace kelvane
