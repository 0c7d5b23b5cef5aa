#pragma once

#include <filesystem>
#include <ostream>

#include "export/gltf_export.h"

namespace kelvane {

struct ExportOptions {
  std::filesystem::path path;    // a mesh file or a traincar
  std::filesystem::path output;  // .glb or .gltf
  GltfExportOptions gltf;
};

// Opens the path as the viewer does and writes it as glTF 2.0. What the
// loaders say goes to `messages` as "caption: text". Returns 1 when
// nothing loaded or the output cannot be written, 0 otherwise.
int RunExport(const ExportOptions& options, std::ostream& messages);

}  // namespace kelvane
