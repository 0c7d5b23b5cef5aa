#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kelvane {

class ContentSession;

// The track a traincar stands on, as the viewer draws it.
struct GltfTrack {
  float gauge = 1.44f;   // rail centres, metres
  float spacing = 0.8f;  // sleepers, metres
};

struct GltfExportOptions {
  // The program named in the asset as its generator.
  std::string generator = "Kelvane";
  // Adds the track under a traincar (nothing for a mesh): rails and
  // sleepers as copies of one mesh each, ballast and ground, a material
  // per colour and the session's track images as textures.
  std::optional<GltfTrack> track;
};

// A glTF 2.0 asset held in memory: the JSON document, the binary buffer of
// its geometry and its pictures as PNG files. Where the pictures go is the
// writer's choice: into the .glb's buffer, or beside a .gltf as files, so
// the document's images name no source yet.
struct GltfAsset {
  nlohmann::ordered_json document;
  std::vector<std::uint8_t> buffer;
  std::vector<std::vector<std::uint8_t>> images;
  // What was written, for the messages and the tests.
  std::size_t vertices = 0;
  std::size_t triangles = 0;
};

// Builds the asset of what `session` has open: one node per model at its
// placement, one mesh per object, one material per object, attachment
// points and bones as empty nodes, and the track when asked. Pictures come
// from the session, which must keep them; a texture without a kept picture
// is left out.
GltfAsset BuildGltf(const ContentSession& session, const GltfExportOptions& options);

// Writes the asset as .glb, or as .gltf with a .bin and PNG files beside it
// (by the ending of `file`). Every file is written under a temporary name
// first and renamed only when all were written, so a failure leaves none.
// False, with `error` saying why, when it cannot be written.
bool WriteGltf(const GltfAsset& asset, const std::filesystem::path& file, std::string* error);

}  // namespace kelvane
