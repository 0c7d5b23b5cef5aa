#pragma once

#include <array>
#include <string>
#include <vector>

namespace kelvane {

// Closest spacing drawn; smaller (or zero, or negative) values would put
// an unbounded number of sleepers on the track.
inline constexpr float kMinSleeperSpacing = 0.3f;

// Where sleepers lie along the track: from -19.5 on, every `spacing`
// metres, the last one the first position at or beyond 19.5.
std::vector<float> SleeperPositions(float spacing);

// A triangle corner in the view's axes (y up, the track along z), with the
// texture coordinate GL is given where the part is textured.
struct TrackCorner {
  float x, y, z, u, v;
};

// Triangles drawn in one colour.
struct TrackSurface {
  std::string name;
  std::array<float, 3> colour;
  std::vector<TrackCorner> corners;  // three per triangle
};

enum class TrackPartKind { Rail, Sleeper, Ballast, Ground };

// One shape of the track, drawn once at each of its offsets. A textured
// part modulates its texture (the ballast's or the ground's) by the
// surfaces' colours.
struct TrackPart {
  TrackPartKind kind;
  std::string name;
  std::vector<std::array<float, 3>> offsets;
  std::vector<TrackSurface> surfaces;
  bool textured = false;
};

// Rails `gauge` metres apart (centre to centre), sleepers every `spacing`
// metres, ballast and ground, in the order they are drawn; empty when
// gauge <= 0.1. The two flags say which track textures are loaded.
std::vector<TrackPart> BuildTrack(float gauge, float spacing, bool ballastTextured,
                                  bool groundTextured);

}  // namespace kelvane
