#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "overlays/track_geometry.h"
#include "textures/bump_support.h"

namespace kelvane {

class MaterialTextureLoader;

inline constexpr const char* kBallastTextureFile = "BallastTexture.jpg";
inline constexpr const char* kGroundTextureFile = "GroundTexture.jpg";

// The track's two textures in the context that draws it.
struct TrackState {
  std::uint32_t BallastTexture = 0;
  bool BallastLoaded = false;
  std::uint32_t GroundTexture = 0;
  bool GroundLoaded = false;
};

// Draws BuildTrack's parts with the loaded textures. `entries` selects
// texture unit 0 where the driver offers it.
void DrawTrack(const TrackState& track, const BumpEntryPoints& entries, float gauge, float spacing);

// The folder holding the track images: beside the executable, else the
// installed data folder (../share/kelvane). Empty when neither has them.
std::filesystem::path FindTrackTextureFolder(const std::filesystem::path& exeFolder);

// Loads both images from `folder` (a missing one stays unloaded).
void LoadTrackTextures(TrackState& track, MaterialTextureLoader& loader,
                       const std::filesystem::path& folder);
// Deletes the loaded ones; call with their context current.
void DeleteTrackTextures(TrackState& track, MaterialTextureLoader& loader);

}  // namespace kelvane
