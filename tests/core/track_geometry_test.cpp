// The track as data: where sleepers lie, and the shape of each part for
// a gauge.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "overlays/track_geometry.h"

namespace kelvane {
namespace {

// From -19.5 on at the spacing, the last at or beyond 19.5; a spacing of
// zero or less is drawn at the closest spacing instead of without end.
TEST(TrackGeometry, SleeperPositions) {
  const struct {
    float spacing;
    float drawn;  // the spacing the sleepers lie at
    std::size_t count;
    float last;
  } rows[] = {
      {2.0f, 2.0f, 21, 20.5f},
      {0.8f, 0.8f, 50, 19.7f},
      {0.3f, 0.3f, 131, 19.5f},   // 39 m in 130 steps: no 132nd sleeper
      {0.65f, 0.65f, 61, 19.5f},  // rounded below 0.65: still 60 steps
      {1.3f, 1.3f, 31, 19.5f},
      {0.1f, kMinSleeperSpacing, 131, 19.5f},
      {0.0f, kMinSleeperSpacing, 131, 19.5f},
      {-1.0f, kMinSleeperSpacing, 131, 19.5f},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.spacing);
    const std::vector<float> at = SleeperPositions(row.spacing);
    ASSERT_EQ(at.size(), row.count);
    EXPECT_FLOAT_EQ(at.back(), row.last);
    // Each from its index: no drift along the track.
    for (std::size_t i = 0; i < at.size(); ++i)
      EXPECT_NEAR(at[i], -19.5 + static_cast<double>(i) * row.drawn, 1e-5) << i;
  }
  EXPECT_EQ(SleeperPositions(2.0f),
            (std::vector<float>{-19.5f, -17.5f, -15.5f, -13.5f, -11.5f, -9.5f, -7.5f,
                                -5.5f,  -3.5f,  -1.5f,  0.5f,   2.5f,   4.5f,  6.5f,
                                8.5f,   10.5f,  12.5f,  14.5f,  16.5f,  18.5f, 20.5f}));
}

// The extent of a part's corners along one axis.
std::pair<float, float> Extent(const TrackPart& part, int axis) {
  float lo = INFINITY, hi = -INFINITY;
  for (const TrackSurface& s : part.surfaces) {
    for (const TrackCorner& c : s.corners) {
      const float v = axis == 0 ? c.x : axis == 1 ? c.y : c.z;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  }
  return {lo, hi};
}

TEST(TrackGeometry, PartsForAGauge) {
  // Standard gauge: rails 1.485 m apart, sleepers 2.285 m long, ballast
  // 3.285 m wide at its foot; rails and ballast run the 40 m.
  const auto parts = BuildTrack(1.485f, 0.8f, false, false);
  ASSERT_EQ(parts.size(), 4u);
  const struct {
    TrackPartKind kind;
    std::size_t copies, triangles;
    float width;  // across the track
  } rows[] = {
      {TrackPartKind::Rail, 2, 6, 0.05f},
      {TrackPartKind::Sleeper, 50, 10, 2.285f},
      {TrackPartKind::Ballast, 1, 10, 3.285f},
      {TrackPartKind::Ground, 1, 2, 20.0f},
  };
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const TrackPart& part = parts[i];
    SCOPED_TRACE(part.name);
    EXPECT_EQ(part.kind, rows[i].kind);
    EXPECT_EQ(part.offsets.size(), rows[i].copies);
    std::size_t corners = 0;
    for (const TrackSurface& s : part.surfaces)
      corners += s.corners.size();
    EXPECT_EQ(corners, rows[i].triangles * 3);
    const auto [lo, hi] = Extent(part, 0);
    EXPECT_NEAR(hi - lo, rows[i].width, 1e-5);
  }
  EXPECT_FLOAT_EQ(parts[0].offsets[1][0] - parts[0].offsets[0][0], 1.485f);
  EXPECT_EQ(Extent(parts[0], 2), std::make_pair(-20.0f, 20.0f));
  EXPECT_EQ(Extent(parts[2], 2), std::make_pair(-20.0f, 20.0f));
}

TEST(TrackGeometry, NoTrackAtOrBelowATenthOfAMetre) {
  for (float gauge : {0.1f, 0.05f, 0.0f, -1.0f, NAN})
    EXPECT_TRUE(BuildTrack(gauge, 0.8f, true, true).empty()) << gauge;
  EXPECT_FALSE(BuildTrack(0.11f, 0.8f, false, false).empty());
}

}  // namespace
}  // namespace kelvane
