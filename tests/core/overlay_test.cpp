// The pure parts of the overlays and the frame: glyphs, ruler,
// framing and marker measures (the clear colour is checked on drawn frames).

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "overlays/attachment_markers.h"
#include "overlays/axes.h"
#include "overlays/stroke_font.h"
#include "view/frame.h"

namespace kelvane {
namespace {

int Codes(const Glyph& g, int code) {
  return static_cast<int>(
      std::count_if(g.begin(), g.end(), [code](const GlyphPoint& p) { return p.code == code; }));
}

TEST(Glyphs, EveryGlyphEndsOnceAndStrokesSplitWhereTheyShould) {
  const GlyphTable t = BuildGlyphs();
  for (const Glyph& g : t.glyphs)
    EXPECT_EQ(Codes(g, 3), 1);
  const Glyph& eight = t.glyphs[static_cast<std::size_t>(GlyphIndex('8'))];
  EXPECT_EQ(Codes(eight, 0), 0);  // all 16 slots
  EXPECT_EQ(eight[15].code, 3);
  const Glyph& m = t.glyphs[static_cast<std::size_t>(GlyphIndex('M'))];
  EXPECT_EQ(Codes(m, 2), 2);  // three strokes
  const Glyph& three = t.glyphs[static_cast<std::size_t>(GlyphIndex('3'))];
  EXPECT_EQ((std::vector<int>{three[6].code, three[6].x, three[6].y}), (std::vector<int>{2, 2, 6}));
  EXPECT_EQ(three[7].code, 1);
  for (const Glyph& g : t.glyphs) {
    for (const GlyphPoint& p : g) {
      if (p.code == 0) continue;
      EXPECT_TRUE(p.x >= 0 && p.x <= 7 && p.y >= 0 && p.y <= 10);
    }
  }
  // Only the seventeen characters have glyphs.
  EXPECT_EQ(GlyphIndex('0'), 0);
  EXPECT_EQ(GlyphIndex('-'), 16);
  EXPECT_EQ(GlyphIndex('m'), -1);
  EXPECT_EQ(GlyphIndex(' '), -1);
}

std::vector<std::string> Labels(RulerAxis axis, bool metric) {
  std::vector<std::string> out;
  for (const RulerTick& t : RulerTicks(axis, metric)) {
    if (!t.label.empty()) out.push_back(t.label);
  }
  return out;
}

TEST(Ruler, MetricLabelsEveryFiveMetres) {
  EXPECT_EQ(Labels(RulerAxis::X, true), (std::vector<std::string>{"5M", "10M", "-5M", "-10M"}));
  EXPECT_EQ(Labels(RulerAxis::Vertical, true), (std::vector<std::string>{"5", "10", "-5", "-10"}));
  // Depth runs against the asset's y: the +z side reads negative.
  const auto depth = Labels(RulerAxis::Depth, true);
  ASSERT_EQ(depth.size(), 8u);
  EXPECT_EQ(depth.front(), "-5M");
  EXPECT_EQ(depth[3], "-20M");
  EXPECT_EQ(depth[4], "5M");
  const auto ticks = RulerTicks(RulerAxis::Depth, true);
  EXPECT_EQ(ticks.size(), 40u);
  EXPECT_FLOAT_EQ(ticks[19].position, 20.0f);
  EXPECT_FLOAT_EQ(ticks[20].position, -1.0f);
}

TEST(Framing, ZoomAndExtent) {
  EXPECT_FLOAT_EQ(FramingZoom(4.0f), 10.0f);
  EXPECT_FLOAT_EQ(FramingZoom(0.0f), 1.0f);
  EXPECT_FLOAT_EQ(FramingZoom(-3.0f), 1.0f);
  // The extent: the bounds, widened to the attachment points when asked.
  struct Row {
    const char* what;
    TMeshBounds bounds;
    std::vector<TVector3> points;  // file axes; a point enters as (x, z, -y)
    bool withPoints;
    float extent;
  };
  const TMeshBounds sides246{1, 2, 3, -1, -2, -3, false};
  const Row rows[] = {
      {"bounds alone", sides246, {}, false, 6.0f},
      {"points not asked for", sides246, {{0, 0, 9}}, false, 6.0f},
      {"a point widens the box", sides246, {{0, 0, 9}}, true, 11.0f},
      {"nothing loaded", TMeshBounds{}, {}, true, 0.0f},
      // A mesh with points and no vertex: the window and --render frame the
      // points alone, not a box reaching to the origin.
      {"points without vertices", TMeshBounds{}, {{4, 0, 0}, {6, 0, 1}}, true, 2.0f},
  };
  for (const Row& row : rows) {
    MeshUnitState unit;
    unit.MeshBounds = row.bounds;
    unit.AttachmentTable.clear();
    for (const TVector3& p : row.points)
      unit.AttachmentTable.push_back({p, {}, "a"});
    unit.AttachmentCount = static_cast<std::int32_t>(row.points.size());
    EXPECT_FLOAT_EQ(LargestExtent(unit, row.withPoints), row.extent) << row.what;
  }
}

TEST(AttachmentMarkers, SizeShrinksWithTheViewScale) {
  const MarkerMeasures m = AttachmentMarkerMeasures(10, 4.0f);
  EXPECT_FLOAT_EQ(m.length, 2.5f);
  EXPECT_FLOAT_EQ(m.arrowBase, 2.0f);
  EXPECT_FLOAT_EQ(m.radius, 0.15f);
  EXPECT_FLOAT_EQ(m.letterHalfHeight, 0.2f);
  EXPECT_FLOAT_EQ(m.letterDistance, 3.0f);
}

// Imperial: a tick every foot (32 ft, 64 ft in depth), a long one every
// fifth, a label every ten feet.
TEST(Ruler, ImperialTicksEveryFootLabelsEveryTenFeet) {
  const struct {
    RulerAxis axis;
    std::size_t ticks;
    std::vector<std::string> labels;
  } rows[] = {
      {RulerAxis::X, 64, {"10FT", "20FT", "30FT", "-10FT", "-20FT", "-30FT"}},
      {RulerAxis::Vertical, 64, {"10", "20", "30", "-10", "-20", "-30"}},
      {RulerAxis::Depth,
       128,
       {"-10FT", "-20FT", "-30FT", "-40FT", "-50FT", "-60FT", "10FT", "20FT", "30FT", "40FT",
        "50FT", "60FT"}},
  };
  for (const auto& row : rows) {
    const auto ticks = RulerTicks(row.axis, false);
    ASSERT_EQ(ticks.size(), row.ticks);
    EXPECT_EQ(Labels(row.axis, false), row.labels);
    for (std::size_t i = 0; i < ticks.size(); ++i) {
      const std::size_t step = i % (row.ticks / 2) + 1;
      const float sign = i < row.ticks / 2 ? 1.0f : -1.0f;
      EXPECT_FLOAT_EQ(ticks[i].position, sign * 0.3048f * static_cast<float>(step)) << i;
      EXPECT_EQ(ticks[i].longTick, step % 5 == 0) << i;
      EXPECT_EQ(!ticks[i].label.empty(), step % 10 == 0) << i;
    }
  }
}

// The stored background: 0 is "no colour" (grey), a picked black is black.
TEST(Background, StoredValuesAndTheirClearColours) {
  const struct {
    const char* what;
    std::int32_t stored;
    ClearColour expected;
  } rows[] = {
      {"no colour", 0, {0.5f, 0.5f, 0.55f}},
      {"picked black", PickedBackground(0, 0, 0), {0.0f, 0.0f, 0.0f}},
      {"default blue", kDefaultBackgroundColour, {39 / 255.0f, 116 / 255.0f, 152 / 255.0f}},
      {"picked red", PickedBackground(255, 0, 0), {1.0f, 0.0f, 0.0f}},
  };
  for (const auto& row : rows) {
    const ClearColour c = BackgroundColour(row.stored);
    EXPECT_FLOAT_EQ(c.r, row.expected.r) << row.what;
    EXPECT_FLOAT_EQ(c.g, row.expected.g) << row.what;
    EXPECT_FLOAT_EQ(c.b, row.expected.b) << row.what;
  }
  EXPECT_EQ(PickedBackground(0x27, 0x74, 0x98), kDefaultBackgroundColour);
  EXPECT_EQ(PickedBackground(0, 0, 0), kPickedBlack);
}

}  // namespace
}  // namespace kelvane
