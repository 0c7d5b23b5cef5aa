// Picking on known geometry: boxes built in view axes, rays aimed through
// the same projection the frame draws with.

#include "view/picking.h"

#include <gtest/gtest.h>
#include <algorithm>

#include <cmath>
#include <memory>
#include <numbers>

namespace kelvane {
namespace {

constexpr int kW = 800, kH = 600;
constexpr double kMillimetre = 0.001;

// A box from `lo` to `hi`, its faces wound counter-clockwise seen from
// outside.
std::unique_ptr<T3DObject> Box(TVector3 lo, TVector3 hi, int twoSided = 0) {
  auto o = std::make_unique<T3DObject>();
  for (int i = 0; i < 8; ++i) {
    o->vertices.push_back({i & 1 ? hi.x : lo.x, i & 2 ? hi.y : lo.y, i & 4 ? hi.z : lo.z});
  }
  // Corner index: bit 0 x, bit 1 y, bit 2 z.
  const std::uint32_t quads[6][4] = {{4, 5, 7, 6}, {1, 0, 2, 3}, {5, 1, 3, 7},
                                     {0, 4, 6, 2}, {6, 7, 3, 2}, {0, 1, 5, 4}};
  for (const auto& q : quads) {
    o->faces.push_back({q[0], q[1], q[2]});
    o->faces.push_back({q[0], q[2], q[3]});
  }
  o->faceCount = 12;
  o->vertexCount = 8;
  o->material.twoSided = twoSided;
  return o;
}

// A square in the plane z = `z`, facing +z (towards the camera) or -z.
std::unique_ptr<T3DObject> Square(float z, float half, bool facingCamera, int twoSided = 0) {
  auto o = std::make_unique<T3DObject>();
  o->vertices = {
      {-half, 30 - half, z}, {half, 30 - half, z}, {half, 30 + half, z}, {-half, 30 + half, z}};
  if (facingCamera) {
    o->faces = {{0, 1, 2}, {0, 2, 3}};
  } else {
    o->faces = {{0, 2, 1}, {0, 3, 2}};
  }
  o->material.twoSided = twoSided;
  return o;
}

ViewState View(float rotX, float rotY, float zoom) {
  ViewState v;
  v.RotX = rotX;
  v.RotY = rotY;
  v.Zoom = zoom;
  return v;
}

// The ray through where `p` is drawn.
Ray RayAt(const ViewState& view, const TVector3& p) {
  const auto at = ProjectToWindow(view, kW, kH, p);
  EXPECT_TRUE(at.has_value());
  // PixelRay aims at the middle of a pixel; aim at the point itself.
  const auto ray = PixelRay(view, kW, kH, (*at)[0] - 0.5, (*at)[1] - 0.5);
  EXPECT_TRUE(ray.has_value());
  return *ray;
}

double Distance(const TVector3& a, const TVector3& b) {
  return std::sqrt(std::pow(double(a.x) - b.x, 2) + std::pow(double(a.y) - b.y, 2) +
                   std::pow(double(a.z) - b.z, 2));
}

class PickingTest : public ::testing::Test {
 protected:
  std::vector<PickTarget> One() { return {{&model, nullptr}}; }
  T3DModel model;
};

TEST_F(PickingTest, PointsOnTheFacesOfABoxComeBackAsAimed) {
  // 2.85 m wide, 3.9 m high, 16.2 m long, its floor at 1 m.
  const TVector3 lo{-1.425f, 1.0f, -8.1f}, hi{1.425f, 4.9f, 8.1f};
  model.objects.push_back(Box(lo, hi));
  struct Case {
    const char* face;
    float rotX, rotY;
    TVector3 aim;
  };
  const Case cases[] = {
      {"front end (+z)", 0, 0, {0.3f, 2.2f, hi.z}},
      {"back end (-z)", 0, 180, {-0.4f, 3.1f, lo.z}},
      {"right side (+x)", 0, -90, {hi.x, 2.0f, 5.5f}},
      {"left side (-x)", 0, 90, {lo.x, 4.0f, -6.25f}},
      {"roof", 60, 30, {0.7f, hi.y, -2.0f}},
      {"floor", -60, 0, {-0.2f, lo.y, 3.0f}},
  };
  for (const Case& c : cases) {
    const ViewState view = View(c.rotX, c.rotY, 20.0f / std::sqrt(16.2f));
    const auto hit = PickRay(RayAt(view, c.aim), One(), false);
    ASSERT_TRUE(hit) << c.face;
    EXPECT_LT(Distance(hit->point, c.aim), kMillimetre) << c.face;
    EXPECT_FALSE(hit->snapped);
  }
  // End to end through the box's middle: its length to the millimetre.
  const auto front = PickRay(RayAt(View(0, 0, 1.5f), {0, 2.95f, hi.z}), One(), false);
  const auto back = PickRay(RayAt(View(0, 180, 1.5f), {0, 2.95f, lo.z}), One(), false);
  ASSERT_TRUE(front && back);
  EXPECT_NEAR(Distance(front->point, back->point), 16.2, kMillimetre);
}

TEST_F(PickingTest, SnappingGivesTheBoxCornersAndItsDiagonal) {
  const TVector3 lo{-1.5f, 0.0f, -10.0f}, hi{1.5f, 4.0f, 10.0f};
  model.objects.push_back(Box(lo, hi));
  const ViewState view = View(25, 35, 2.0f);
  // Near two opposite corners, on the roof and on the floor.
  const auto a = PickRay(RayAt(view, {1.4f, 4.0f, 9.8f}), One(), true);
  const auto b = PickRay(RayAt(View(-25, 215, 2.0f), {-1.4f, 0.0f, -9.8f}), One(), true);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(a->snapped);
  EXPECT_LT(Distance(a->point, hi), 1e-6);
  EXPECT_LT(Distance(b->point, lo), 1e-6);
  EXPECT_NEAR(Distance(a->point, b->point), std::sqrt(3.0 * 3.0 + 4.0 * 4.0 + 20.0 * 20.0),
              kMillimetre);
}

TEST_F(PickingTest, ARayThatMissesEverythingFindsNothing) {
  model.objects.push_back(Box({-1, 29, -1}, {1, 31, 1}));
  const ViewState view = View(0, 0, 1.0f);
  const auto corner = PixelRay(view, kW, kH, 2, 2);
  ASSERT_TRUE(corner);
  EXPECT_FALSE(PickRay(*corner, One(), false));
  EXPECT_FALSE(PickRay(*corner, One(), true));
  // The same pixel ray does meet the box when aimed at it.
  EXPECT_TRUE(PickRay(RayAt(view, {0, 30, 1}), One(), false));
  // Nothing to pick at all.
  EXPECT_FALSE(PickRay(RayAt(view, {0, 30, 1}), {}, false));
}

TEST_F(PickingTest, TheNearerOfTwoFacesWinsInEitherOrder) {
  for (bool nearFirst : {true, false}) {
    T3DModel m;
    m.objects.push_back(Square(nearFirst ? 2.0f : -3.0f, 1.0f, true));
    m.objects.push_back(Square(nearFirst ? -3.0f : 2.0f, 1.0f, true));
    const auto hit = PickRay(RayAt(View(0, 0, 1.0f), {0.2f, 30.1f, 2.0f}), {{&m, nullptr}}, false);
    ASSERT_TRUE(hit);
    EXPECT_NEAR(hit->point.z, 2.0, kMillimetre) << "near square listed first: " << nearFirst;
    EXPECT_EQ(hit->object, nearFirst ? 0u : 1u);
  }
}

TEST_F(PickingTest, BackFacesAreCulledUnlessTheMaterialIsTwoSided) {
  struct Case {
    int twoSided;
    float expectedZ;
  };
  // A square turned away from the camera in front of one facing it.
  for (const Case c : {Case{0, -3.0f}, Case{2, -3.0f}, Case{1, 2.0f}}) {
    T3DModel m;
    m.objects.push_back(Square(2.0f, 1.0f, false, c.twoSided));
    m.objects.push_back(Square(-3.0f, 1.0f, true));
    const auto hit = PickRay(RayAt(View(0, 0, 1.0f), {0, 30, 2.0f}), {{&m, nullptr}}, false);
    ASSERT_TRUE(hit) << "two-sided " << c.twoSided;
    EXPECT_NEAR(hit->point.z, c.expectedZ, kMillimetre) << "two-sided " << c.twoSided;
  }
  // From inside a one-sided box nothing is seen; a two-sided one is hit.
  for (int twoSided : {0, 1}) {
    T3DModel m;
    m.objects.push_back(Box({-150, -150, -150}, {150, 150, 150}, twoSided));
    const auto ray = PixelRay(View(0, 0, 1.0f), kW, kH, kW / 2.0, kH / 2.0);
    EXPECT_EQ(PickRay(*ray, {{&m, nullptr}}, false).has_value(), twoSided == 1);
  }
}

TEST_F(PickingTest, ATraincarPartIsPickedWhereItsPlacementPutsIt) {
  // A 10 m part hung 4 m along x and turned 30 degrees about the vertical,
  // as a placement of (x, y, z, rx, ry, rz) = (4, 0, 0.5, 0, 0, -30) does.
  T3DModel body, part;
  body.objects.push_back(Box({-20, 0, -1}, {-12, 1, 1}));
  part.objects.push_back(Box({-5, 0, -0.5f}, {5, 1, 0.5f}));
  part.placement = {{PlacementStep::Kind::Translate, 0, 4, 0.5f, 0},
                    {PlacementStep::Kind::Rotate, 30, 0, 1, 0},
                    {PlacementStep::Kind::Rotate, 0, 0, 0, 1},
                    {PlacementStep::Kind::Rotate, 0, 1, 0, 0}};
  const std::vector<PickTarget> targets{{&body, &body.placement}, {&part, &part.placement}};
  const double c = std::cos(std::numbers::pi / 6), s = std::sin(std::numbers::pi / 6);
  // The part's end corner (5, 1, 0.5) after the turn and the move.
  const TVector3 corner{static_cast<float>(4 + 5 * c + 0.5 * s), 1.5f,
                        static_cast<float>(-5 * s + 0.5 * c)};
  const TVector3 otherEnd{static_cast<float>(4 - 5 * c + 0.5 * s), 1.5f,
                          static_cast<float>(5 * s + 0.5 * c)};
  const ViewState view = View(30, 0, 3.0f);
  const auto near = PickRay(RayAt(view, {corner.x - 0.05f, 1.5f, corner.z - 0.02f}), targets, true);
  ASSERT_TRUE(near);
  EXPECT_EQ(near->target, 1u);
  EXPECT_LT(Distance(near->point, corner), kMillimetre);
  const auto far =
      PickRay(RayAt(view, {otherEnd.x + 0.05f, 1.5f, otherEnd.z - 0.05f}), targets, true);
  ASSERT_TRUE(far);
  EXPECT_LT(Distance(far->point, otherEnd), kMillimetre);
  EXPECT_NEAR(Distance(near->point, far->point), 10.0, kMillimetre);
}

TEST(PickingMatrices, AnObjectsOwnTransformsMoveWhatIsPicked) {
  T3DModel m;
  m.objects.push_back(Square(0.0f, 1.0f, true));
  m.objects[0]->transforms.items.push_back({TransformKind::Translate, true, 3, 0, 0, 0});
  const ViewState view = View(0, 0, 1.0f);
  const auto hit = PickRay(RayAt(view, {3.5f, 30.5f, 0}), {{&m, nullptr}}, false);
  ASSERT_TRUE(hit);
  EXPECT_NEAR(hit->point.x, 3.5, kMillimetre);
  // Switched off, the square is back at the middle and that ray misses.
  m.objects[0]->transforms.enabled = false;
  EXPECT_FALSE(PickRay(RayAt(view, {3.5f, 30.5f, 0}), {{&m, nullptr}}, false));
}

TEST(PickingMatrices, AProjectedPointUnprojectsOntoItsRay) {
  const ViewState view = [] {
    ViewState v = View(-17, 123, 2.7f);
    v.PanX = 1.3f;
    v.PanY = -0.6f;
    return v;
  }();
  const TVector3 p{2.0f, -1.0f, 7.5f};
  const Ray ray = RayAt(view, p);
  // The point lies on the ray: its offset from the origin is along it.
  const double d[3] = {p.x - ray.origin[0], p.y - ray.origin[1], p.z - ray.origin[2]};
  const double along = d[0] * ray.direction[0] + d[1] * ray.direction[1] + d[2] * ray.direction[2];
  // Rounding may leave the squared offset a hair below zero.
  const double off =
      std::sqrt(std::max(0.0, d[0] * d[0] + d[1] * d[1] + d[2] * d[2] - along * along));
  EXPECT_LT(off, 1e-4);
  EXPECT_GT(along, 0.0);
}

}  // namespace
}  // namespace kelvane
