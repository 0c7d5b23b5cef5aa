#include "overlays/track_geometry.h"

#include <cmath>
#include <initializer_list>

namespace kelvane {

namespace {

// Two triangles: a b c and c d a.
void Quad(TrackSurface& s, const TrackCorner& a, const TrackCorner& b, const TrackCorner& c,
          const TrackCorner& d) {
  s.corners.insert(s.corners.end(), {a, b, c, c, d, a});
}

void Triangle(TrackSurface& s, const TrackCorner& a, const TrackCorner& b, const TrackCorner& c) {
  s.corners.insert(s.corners.end(), {a, b, c});
}

TrackPart Rails(float gauge) {
  TrackPart rail{TrackPartKind::Rail, "rail", {{-gauge / 2.0f, 0, 0}, {gauge / 2.0f, 0, 0}}, {}};
  const float w = 0.025f;
  TrackSurface top{"rail top", {0.8f, 0.8f, 0.8f}, {}};
  Quad(top, {w, 0, -20, 0, 0}, {-w, 0, -20, 0, 0}, {-w, 0, 20, 0, 0}, {w, 0, 20, 0, 0});
  TrackSurface side{"rail side", {0.7f, 0.7f, 0.7f}, {}};
  Quad(side, {w, 0, 20, 0, 0}, {w, -0.1f, 20, 0, 0}, {w, -0.1f, -20, 0, 0}, {w, 0, -20, 0, 0});
  Quad(side, {-w, 0, -20, 0, 0}, {-w, -0.1f, -20, 0, 0}, {-w, -0.1f, 20, 0, 0}, {-w, 0, 20, 0, 0});
  rail.surfaces = {std::move(top), std::move(side)};
  return rail;
}

TrackPart Sleepers(float gauge, float spacing) {
  TrackPart sleeper{TrackPartKind::Sleeper, "sleeper", {}, {}};
  for (float z : SleeperPositions(spacing))
    sleeper.offsets.push_back({0, 0, z});
  const float h = gauge / 2.0f + 0.4f, t = -0.1f, b = -0.2f, d = 0.15f;
  TrackSurface top{"sleeper top", {0.4f, 0.15f, 0.1f}, {}};
  Quad(top, {h, t, -d, 0, 0}, {-h, t, -d, 0, 0}, {-h, t, d, 0, 0}, {h, t, d, 0, 0});
  TrackSurface ends{"sleeper end", {0.3f, 0.1f, 0.06f}, {}};
  Quad(ends, {h, t, d, 0, 0}, {h, b, d, 0, 0}, {h, b, -d, 0, 0}, {h, t, -d, 0, 0});
  Quad(ends, {-h, t, -d, 0, 0}, {-h, b, -d, 0, 0}, {-h, b, d, 0, 0}, {-h, t, d, 0, 0});
  TrackSurface sides{"sleeper side", {0.2f, 0.0f, 0.0f}, {}};
  Quad(sides, {-h, t, d, 0, 0}, {-h, b, d, 0, 0}, {h, b, d, 0, 0}, {h, t, d, 0, 0});
  Quad(sides, {h, t, -d, 0, 0}, {h, b, -d, 0, 0}, {-h, b, -d, 0, 0}, {-h, t, -d, 0, 0});
  sleeper.surfaces = {std::move(top), std::move(ends), std::move(sides)};
  return sleeper;
}

TrackPart Ballast(float gauge, bool textured) {
  TrackPart ballast{TrackPartKind::Ballast, "ballast", {{0, 0, 0}}, {}, textured};
  const float a = gauge / 2.0f + 0.6f, b = a + 0.3f, t = -0.15f, f = -0.3f;
  const float lit = textured ? 1.0f : 0.3f, shade = textured ? 0.85f : 0.25f;
  TrackSurface top{"ballast top", {lit, lit, lit}, {}};
  Triangle(top, {a, t, -20, 1, 8.5f}, {-a, t, -20, 0, 8.5f}, {-a, t, 20, 0, -8.5f});
  Triangle(top, {-a, t, 20, 0, -8.5f}, {a, t, 20, 1, -8.5f}, {a, t, -20, 1, 8.5f});
  TrackSurface sides{"ballast side", {shade, shade, shade}, {}};
  Triangle(sides, {a, t, 20, 1, -8.5f}, {b, f, 20, 0.85f, -8.5f}, {b, f, -20, 0.85f, 8.5f});
  Triangle(sides, {a, t, 20, 1, -8.5f}, {b, f, -20, 0.85f, 8.5f}, {a, t, -20, 1, 8.5f});
  Triangle(sides, {-a, t, 20, 0, -8.5f}, {-b, f, -20, 0.15f, 8.5f}, {-b, f, 20, 0.15f, -8.5f});
  Triangle(sides, {-a, t, 20, 0, -8.5f}, {-a, t, -20, 0, 8.5f}, {-b, f, -20, 0.15f, 8.5f});
  Triangle(sides, {-a, t, 20, 0.1f, 0}, {b, f, 20, 1, 0.2f}, {a, t, 20, 0.9f, 0});
  Triangle(sides, {b, f, 20, 1, 0.2f}, {-a, t, 20, 0.1f, 0}, {-b, f, 20, 0, 0.2f});
  Triangle(sides, {-a, t, -20, 0, 0}, {a, t, -20, 0.9f, 0}, {b, f, -20, 1, 0.2f});
  Triangle(sides, {b, f, -20, 1, 0.2f}, {-b, f, -20, 0, 0.2f}, {-a, t, -20, 0.1f, 0});
  ballast.surfaces = {std::move(top), std::move(sides)};
  return ballast;
}

TrackPart Ground(bool textured) {
  TrackPart ground{TrackPartKind::Ground, "ground", {{0, 0, 0}}, {}, textured};
  TrackSurface surface{"ground", {0.0f, 0.6f, 0.2f}, {}};
  const float y = -0.3f;
  Triangle(surface, {10, y, -20, 2.5f, -2.5f}, {-10, y, -20, -1.5f, -2.5f},
           {-10, y, 20, -1.5f, 3.5f});
  Triangle(surface, {-10, y, 20, -1.5f, 3.5f}, {10, y, 20, 2.5f, 3.5f}, {10, y, -20, 2.5f, -2.5f});
  ground.surfaces = {std::move(surface)};
  return ground;
}

}  // namespace

std::vector<float> SleeperPositions(float spacing) {
  const double s = spacing >= kMinSleeperSpacing ? spacing : kMinSleeperSpacing;
  // Each position from its index, so no rounding adds up; a spacing that
  // divides the 39 m exactly ends on 19.5 whichever way s was rounded.
  const double count = std::ceil(39.0 / s - 1e-4);
  std::vector<float> out;
  for (int i = 0; i <= static_cast<int>(count); ++i)
    out.push_back(static_cast<float>(-19.5 + i * s));
  return out;
}

std::vector<TrackPart> BuildTrack(float gauge, float spacing, bool ballastTextured,
                                  bool groundTextured) {
  if (!(gauge > 0.1f)) return {};
  std::vector<TrackPart> parts;
  parts.push_back(Rails(gauge));
  parts.push_back(Sleepers(gauge, spacing));
  parts.push_back(Ballast(gauge, ballastTextured));
  parts.push_back(Ground(groundTextured));
  return parts;
}

}  // namespace kelvane
