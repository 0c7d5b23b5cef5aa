#include "overlays/track.h"

#include <GL/gl.h>

#include <system_error>

#include "textures/material_texture_loader.h"

namespace kelvane {

namespace {

void SelectUnit0(const BumpEntryPoints& entries) {
  if (entries.ActiveTexture) entries.ActiveTexture(GL_TEXTURE0_ARB);
}

// A bump pass may have left unit 0 combining; the track modulates.
void BindUnit0(const BumpEntryPoints& entries, std::uint32_t texture) {
  SelectUnit0(entries);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glBindTexture(GL_TEXTURE_2D, texture);
  glEnable(GL_TEXTURE_2D);
}

void DrawSurfaces(const TrackPart& part) {
  glBegin(GL_TRIANGLES);
  for (const TrackSurface& surface : part.surfaces) {
    glColor3f(surface.colour[0], surface.colour[1], surface.colour[2]);
    for (const TrackCorner& c : surface.corners) {
      if (part.textured) glTexCoord2f(c.u, c.v);
      glVertex3f(c.x, c.y, c.z);
    }
  }
  glEnd();
}

}  // namespace

void DrawTrack(const TrackState& track, const BumpEntryPoints& entries, float gauge,
               float spacing) {
  for (const TrackPart& part :
       BuildTrack(gauge, spacing, track.BallastLoaded, track.GroundLoaded)) {
    if (part.textured) {
      BindUnit0(entries,
                part.kind == TrackPartKind::Ballast ? track.BallastTexture : track.GroundTexture);
    }
    // The second rail is placed from the first (exactly g further), the
    // matrix rounding as it always has; every other copy from the origin.
    const bool chained = part.kind == TrackPartKind::Rail;
    glPushMatrix();
    for (std::size_t i = 0; i < part.offsets.size(); ++i) {
      const auto& at = part.offsets[i];
      if (chained && i > 0) {
        const auto& before = part.offsets[i - 1];
        glTranslatef(at[0] - before[0], at[1] - before[1], at[2] - before[2]);
      } else {
        glPopMatrix();
        glPushMatrix();
        glTranslatef(at[0], at[1], at[2]);
      }
      DrawSurfaces(part);
    }
    glPopMatrix();
    // The ground always leaves 2D texturing off.
    if (part.textured || part.kind == TrackPartKind::Ground) {
      SelectUnit0(entries);
      glDisable(GL_TEXTURE_2D);
    }
  }
}

std::filesystem::path FindTrackTextureFolder(const std::filesystem::path& exeFolder) {
  std::error_code ec;
  for (const auto& folder : {exeFolder, exeFolder.parent_path() / "share" / "kelvane"}) {
    if (std::filesystem::exists(folder / kBallastTextureFile, ec) ||
        std::filesystem::exists(folder / kGroundTextureFile, ec))
      return folder;
  }
  return {};
}

void LoadTrackTextures(TrackState& track, MaterialTextureLoader& loader,
                       const std::filesystem::path& folder) {
  std::error_code ec;
  track.BallastLoaded = false;
  track.GroundLoaded = false;
  if (folder.empty()) return;
  if (std::filesystem::exists(folder / kBallastTextureFile, ec))
    track.BallastLoaded =
        loader.LoadTexture(folder / kBallastTextureFile, track.BallastTexture, false, 2);
  if (std::filesystem::exists(folder / kGroundTextureFile, ec))
    track.GroundLoaded =
        loader.LoadTexture(folder / kGroundTextureFile, track.GroundTexture, false, 2);
}

void DeleteTrackTextures(TrackState& track, MaterialTextureLoader& loader) {
  std::vector<std::uint32_t> names;
  if (track.BallastLoaded) names.push_back(track.BallastTexture);
  if (track.GroundLoaded) names.push_back(track.GroundTexture);
  if (!names.empty()) loader.DeleteTextures(names);
  track = TrackState{};
}

}  // namespace kelvane
