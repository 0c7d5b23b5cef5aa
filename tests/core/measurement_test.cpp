#include "view/measurement.h"

#include <gtest/gtest.h>

#include "view/frame.h"

namespace kelvane {
namespace {

TEST(Measurement, LengthsInFeetAndInches) {
  struct Case {
    double metres;
    const char* text;
  };
  const Case cases[] = {
      {0.0, "0 ft 0.0 in"},     {0.0254, "0 ft 1.0 in"},   {0.3048, "1 ft 0.0 in"},
      {1.0, "3 ft 3.4 in"},     {1.435, "4 ft 8.5 in"},  // standard gauge
      {0.30378, "1 ft 0.0 in"},  // 11.96 in: the next foot, never "0 ft 12.0 in"
      {16.2, "53 ft 1.8 in"},   {-0.3048, "-1 ft 0.0 in"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FeetAndInches(c.metres), c.text) << c.metres;
  }
  EXPECT_EQ(LengthText(1.435), "1.435 m (4 ft 8.5 in)");
}

TEST(Measurement, ComponentsAreAlongTheAssetsAxes) {
  // Scene points are in view axes: the asset's z (up) is the view's y, the
  // asset's y is the view's -z.
  const MeasureFigures f = Figures({1, 2, 3}, {4, -2, -9});
  EXPECT_DOUBLE_EQ(f.dx, 3.0);
  EXPECT_DOUBLE_EQ(f.dy, 12.0);
  EXPECT_DOUBLE_EQ(f.dz, 4.0);
  EXPECT_DOUBLE_EQ(f.distance, 13.0);
}

TEST(Measurement, ABoxIsLongAlongItsLongerHorizontalSide) {
  TMeshBounds b;
  EXPECT_FALSE(DimensionsOf(b)) << "no vertex, no box";
  b = {.maxX = 1.3f,
       .maxY = 7.8f,
       .maxZ = 4.2f,
       .minX = -1.3f,
       .minY = -7.8f,
       .minZ = 0.1f,
       .firstVertex = false};
  auto d = DimensionsOf(b);
  ASSERT_TRUE(d);
  EXPECT_NEAR(d->length, 15.6, 1e-6);
  EXPECT_NEAR(d->width, 2.6, 1e-6);
  EXPECT_NEAR(d->height, 4.1, 1e-6);
  std::swap(b.maxX, b.maxY);
  std::swap(b.minX, b.minY);
  d = DimensionsOf(b);
  EXPECT_NEAR(d->length, 15.6, 1e-6);
  EXPECT_NEAR(d->width, 2.6, 1e-6);
}

TEST(Measurement, PicksFillTheFirstThenTheSecondThenStartAgain) {
  Measurement m;
  EXPECT_TRUE(m.Empty());
  EXPECT_EQ(MeasurementText(m), "");
  AddMeasurePoint(m, {1, 0, 0});
  ASSERT_TRUE(m.first);
  EXPECT_FALSE(m.second);
  EXPECT_NE(MeasurementText(m).find("Measuring from (1.000, 0.000, 0.000) m"), std::string::npos)
      << MeasurementText(m);
  AddMeasurePoint(m, {1, 0, -16.2f});
  ASSERT_TRUE(m.second);
  EXPECT_EQ(MeasurementText(m),
            "Distance 16.200 m (53 ft 1.8 in)   X 0.000 m (0 ft 0.0 in)   Y 16.200 m (53 ft 1.8 "
            "in)   Z 0.000 m (0 ft 0.0 in)");
  AddMeasurePoint(m, {5, 5, 5});
  EXPECT_FALSE(m.second);
  EXPECT_FLOAT_EQ(m.first->x, 5.0f);
}

TEST(Measurement, TheFramesTargetsFollowItsMode) {
  FrameState frame;
  MeshUnitState unit;
  T3DScene scene;
  T3DModel& a = scene.AddModel();
  T3DModel& b = scene.AddModel();
  b.placement = {{PlacementStep::Kind::Translate, 0, 1, 2, 3}};
  frame.scene = &scene;
  frame.currentModel = &b;
  EXPECT_TRUE(PickTargets(frame).empty()) << "nothing is drawn without a unit";
  frame.unit = &unit;
  const auto mesh = PickTargets(frame);
  ASSERT_EQ(mesh.size(), 1u);
  EXPECT_EQ(mesh[0].model, &b);
  EXPECT_EQ(mesh[0].placement, nullptr) << "a mesh alone is drawn where it is";
  frame.trainCarMode = true;
  const auto car = PickTargets(frame);
  ASSERT_EQ(car.size(), 2u);
  EXPECT_EQ(car[0].model, &a);
  EXPECT_EQ(car[1].placement, &b.placement);
}

}  // namespace
}  // namespace kelvane
