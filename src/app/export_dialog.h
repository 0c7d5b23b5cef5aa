#pragma once

#include <filesystem>
#include <functional>
#include <string>

class QWidget;

namespace kelvane {

class ContentSession;
struct GltfExportOptions;

// File > "Export glTF...": asks where to write what `session` has open
// (a .glb, or a .gltf with its buffer and pictures beside it) and writes
// it with `options`, or says in a message box why it could not. The session must keep
// its pictures (SessionOptions::keepPictures) for the textures to go in.
// `chooseFile` replaces the file dialog (tests); it returns an empty path
// when the user cancels. Returns the file written, or an empty path.
std::filesystem::path ExportGltfDialog(
    QWidget* parent, const ContentSession& session, const GltfExportOptions& options,
    const std::function<std::filesystem::path()>& chooseFile = {});

// Writes what `session` has open to `file`; false, with `error` saying
// why, when nothing is open or it cannot be written.
bool ExportOpenContent(const ContentSession& session, const GltfExportOptions& options,
                       const std::filesystem::path& file, std::string* error);

}  // namespace kelvane
