#include "overlays/track.h"

#include <GL/gl.h>

#include <algorithm>
#include <system_error>

#include "textures/material_texture_loader.h"

namespace kelvane {

namespace {

struct TrackVertex {
  float x, y, z, u, v;
};

void Triangle(const TrackVertex& a, const TrackVertex& b, const TrackVertex& c, bool textured) {
  for (const TrackVertex* p : {&a, &b, &c}) {
    if (textured) glTexCoord2f(p->u, p->v);
    glVertex3f(p->x, p->y, p->z);
  }
}

void Quad(float x0, float y0, float z0, float x1, float y1, float z1, float x2, float y2, float z2,
          float x3, float y3, float z3) {
  glVertex3f(x0, y0, z0);
  glVertex3f(x1, y1, z1);
  glVertex3f(x2, y2, z2);
  glVertex3f(x2, y2, z2);
  glVertex3f(x3, y3, z3);
  glVertex3f(x0, y0, z0);
}

void Rail() {
  glBegin(GL_TRIANGLES);
  glColor3f(0.8f, 0.8f, 0.8f);
  Quad(0.025f, 0, -20, -0.025f, 0, -20, -0.025f, 0, 20, 0.025f, 0, 20);
  glColor3f(0.7f, 0.7f, 0.7f);
  Quad(0.025f, 0, 20, 0.025f, -0.1f, 20, 0.025f, -0.1f, -20, 0.025f, 0, -20);
  Quad(-0.025f, 0, -20, -0.025f, -0.1f, -20, -0.025f, -0.1f, 20, -0.025f, 0, 20);
  glEnd();
}

void Sleeper(float h) {
  glBegin(GL_TRIANGLES);
  glColor3f(0.4f, 0.15f, 0.1f);
  Quad(h, -0.1f, -0.15f, -h, -0.1f, -0.15f, -h, -0.1f, 0.15f, h, -0.1f, 0.15f);
  glColor3f(0.3f, 0.1f, 0.06f);
  Quad(h, -0.1f, 0.15f, h, -0.2f, 0.15f, h, -0.2f, -0.15f, h, -0.1f, -0.15f);
  Quad(-h, -0.1f, -0.15f, -h, -0.2f, -0.15f, -h, -0.2f, 0.15f, -h, -0.1f, 0.15f);
  glColor3f(0.2f, 0.0f, 0.0f);
  Quad(-h, -0.1f, 0.15f, -h, -0.2f, 0.15f, h, -0.2f, 0.15f, h, -0.1f, 0.15f);
  Quad(h, -0.1f, -0.15f, h, -0.2f, -0.15f, -h, -0.2f, -0.15f, -h, -0.1f, -0.15f);
  glEnd();
}

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

void Ballast(const TrackState& track, const BumpEntryPoints& entries, float gauge) {
  const float a = gauge / 2.0f + 0.6f;
  const float b = a + 0.3f;
  const bool textured = track.BallastLoaded;
  if (textured) {
    BindUnit0(entries, track.BallastTexture);
  }
  glBegin(GL_TRIANGLES);
  glColor3f(textured ? 1.0f : 0.3f, textured ? 1.0f : 0.3f, textured ? 1.0f : 0.3f);
  Triangle({a, -0.15f, -20, 1, 8.5f}, {-a, -0.15f, -20, 0, 8.5f}, {-a, -0.15f, 20, 0, -8.5f},
           textured);
  Triangle({-a, -0.15f, 20, 0, -8.5f}, {a, -0.15f, 20, 1, -8.5f}, {a, -0.15f, -20, 1, 8.5f},
           textured);
  const float side = textured ? 0.85f : 0.25f;
  glColor3f(side, side, side);
  Triangle({a, -0.15f, 20, 1, -8.5f}, {b, -0.3f, 20, 0.85f, -8.5f}, {b, -0.3f, -20, 0.85f, 8.5f},
           textured);
  Triangle({a, -0.15f, 20, 1, -8.5f}, {b, -0.3f, -20, 0.85f, 8.5f}, {a, -0.15f, -20, 1, 8.5f},
           textured);
  Triangle({-a, -0.15f, 20, 0, -8.5f}, {-b, -0.3f, -20, 0.15f, 8.5f}, {-b, -0.3f, 20, 0.15f, -8.5f},
           textured);
  Triangle({-a, -0.15f, 20, 0, -8.5f}, {-a, -0.15f, -20, 0, 8.5f}, {-b, -0.3f, -20, 0.15f, 8.5f},
           textured);
  Triangle({-a, -0.15f, 20, 0.1f, 0}, {b, -0.3f, 20, 1, 0.2f}, {a, -0.15f, 20, 0.9f, 0}, textured);
  Triangle({b, -0.3f, 20, 1, 0.2f}, {-a, -0.15f, 20, 0.1f, 0}, {-b, -0.3f, 20, 0, 0.2f}, textured);
  Triangle({-a, -0.15f, -20, 0, 0}, {a, -0.15f, -20, 0.9f, 0}, {b, -0.3f, -20, 1, 0.2f}, textured);
  Triangle({b, -0.3f, -20, 1, 0.2f}, {-b, -0.3f, -20, 0, 0.2f}, {-a, -0.15f, -20, 0.1f, 0},
           textured);
  glEnd();
  if (textured) {
    SelectUnit0(entries);
    glDisable(GL_TEXTURE_2D);
  }
}

void Ground(const TrackState& track, const BumpEntryPoints& entries) {
  const bool textured = track.GroundLoaded;
  glColor3f(0.0f, 0.6f, 0.2f);
  if (textured) {
    BindUnit0(entries, track.GroundTexture);
  }
  glBegin(GL_TRIANGLES);
  Triangle({10, -0.3f, -20, 2.5f, -2.5f}, {-10, -0.3f, -20, -1.5f, -2.5f},
           {-10, -0.3f, 20, -1.5f, 3.5f}, textured);
  Triangle({-10, -0.3f, 20, -1.5f, 3.5f}, {10, -0.3f, 20, 2.5f, 3.5f},
           {10, -0.3f, -20, 2.5f, -2.5f}, textured);
  glEnd();
  SelectUnit0(entries);
  glDisable(GL_TEXTURE_2D);
}

}  // namespace

std::vector<float> SleeperPositions(float spacing) {
  const float s = std::max(spacing, kMinSleeperSpacing);
  std::vector<float> out{-19.5f};
  float p = -19.5f;
  while (p < 19.5f) {
    p += s;
    out.push_back(p);
  }
  return out;
}

void DrawTrack(const TrackState& track, const BumpEntryPoints& entries, float gauge,
               float spacing) {
  if (gauge <= 0.1f) return;
  glPushMatrix();
  glTranslatef(-gauge / 2.0f, 0.0f, 0.0f);
  Rail();
  glTranslatef(gauge, 0.0f, 0.0f);
  Rail();
  glPopMatrix();

  const float h = gauge / 2.0f + 0.4f;
  for (float z : SleeperPositions(spacing)) {
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, z);
    Sleeper(h);
    glPopMatrix();
  }
  Ballast(track, entries, gauge);
  Ground(track, entries);
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
