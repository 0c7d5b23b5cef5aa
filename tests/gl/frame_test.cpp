// Whole frames: axes, track and attachment markers, checked
// where GL itself projects known points of them.

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <optional>

#include "egl_context.h"
#include "fixtures/asset_writer.h"
#include "fixtures/track_textures.h"
#include "session/content_session.h"
#include "settings/viewer_settings.h"
#include "support/image_compare.h"
#include "support/temp_dir.h"
#include "textures/texture_loader_state.h"
#include "textures/texture_upload.h"
#include "view/frame.h"
#include "view/picking.h"
#include "view/texture_view.h"

namespace kelvane {
namespace {

using testing::ColourNear;
using testing::RgbImage;

constexpr int kW = 160, kH = 120;

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    gl = HeadlessGlContext::Create(kW, kH, &why);
    if (!gl) GTEST_SKIP() << "no headless GL context: " << why;
    SetupGL(draw, HeadlessGlContext::Lookup());
    frame.BGroundColour = kDefaultBackgroundColour;
    frame.unit = &unit;
    frame.scene = &scene;
    SetPerspective(kW, kH);
    view.Zoom = 1.0f;
  }
  void TearDown() override {
    if (gl) ReleaseDrawResources(draw);
  }

  RgbImage Render() {
    RenderFrame(frame);
    // The model-view the frame drew with, to project points of the scene.
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView.data());
    glGetDoublev(GL_PROJECTION_MATRIX, projection.data());
    glFinish();
    return RgbImage{kW, kH, gl->ReadPixels(3)};
  }
  // Where a point of the scene lands, as (column, row from the top).
  std::array<int, 2> Project(double x, double y, double z) const {
    const GLint viewport[4] = {0, 0, kW, kH};
    double wx = 0, wy = 0, wz = 0;
    gluProject(x, y, z, modelView.data(), projection.data(), viewport, &wx, &wy, &wz);
    return {static_cast<int>(wx), kH - 1 - static_cast<int>(wy)};
  }
  bool ColourAt(const RgbImage& p, std::array<double, 3> at, std::vector<int> colour,
                int radius = 1) const {
    const auto [x, y] = Project(at[0], at[1], at[2]);
    return ColourNear(p, x, y, radius, std::move(colour), 2);
  }

  std::optional<HeadlessGlContext> gl;
  FrameState frame;
  DrawSettings& draw = frame.draw;
  MeshUnitState unit;
  ViewState& view = frame.view;
  FrameModes& modes = frame.modes;
  TrackState& track = frame.track;
  T3DScene scene;
  std::array<double, 16> modelView{}, projection{};
};

TEST_F(FrameTest, AxesAreDrawnInTheirColoursAlongTheirLines) {
  view.RotX = 20.0f;
  view.RotY = 30.0f;
  const RgbImage p = Render();
  for (double t : {-7.5, -2.5, 2.5, 7.5}) {
    EXPECT_TRUE(ColourAt(p, {t, 0, 0}, {204, 204, 0})) << "x at " << t;
    EXPECT_TRUE(ColourAt(p, {0, t, 0}, {153, 0, 0})) << "vertical at " << t;
    EXPECT_TRUE(ColourAt(p, {0, 0, 2 * t}, {0, 230, 0})) << "depth at " << 2 * t;
  }
}

TEST_F(FrameTest, AxisLabelsKeepTheirScreenSizeWhenTheViewTurns) {
  // The "10M" label under the x axis end: its ink spans the same number
  // of columns whatever the turn about the vertical.
  auto inkWidth = [&](float rotY) {
    view.RotY = rotY;
    const RgbImage p = Render();
    const auto [cx, cy] = Project(10, -0.7, 0);
    int first = kW, last = -1;
    for (int x = std::max(cx - 20, 0); x < std::min(cx + 20, kW); ++x) {
      for (int y = std::max(cy - 4, 0); y < std::min(cy + 4, kH); ++y) {
        if (ColourNear(p, x, y, 0, {204, 204, 0}, 2)) {
          first = std::min(first, x);
          last = std::max(last, x);
        }
      }
    }
    return last - first;
  };
  view.Zoom = 4.0f;
  const int straight = inkWidth(0.0f);
  EXPECT_GT(straight, 3);
  EXPECT_NEAR(inkWidth(60.0f), straight, 2);
}

TEST_F(FrameTest, TrainCarModeDrawsTheGroundGreenUnderTheTrack) {
  frame.trainCarMode = true;
  view.Zoom = 3.0f;
  view.RotX = 30.0f;
  const RgbImage p = Render();
  EXPECT_TRUE(ColourAt(p, {6, -0.3, 5}, {0, 153, 51}));
  EXPECT_TRUE(ColourAt(p, {-6, -0.3, -3}, {0, 153, 51}));
  // A sleeper top between the rails (every 0.8 m from -19.5).
  EXPECT_TRUE(ColourAt(p, {0, -0.1, 0.5}, {102, 38, 26}, 1));
}

// Each face of the untextured track in its own colour, seen close up from
// the front right (gauge 1.44: rails at x = +-0.72; sleepers every 0.8 m,
// one at z = 0.5).
TEST_F(FrameTest, EveryTrackFaceShowsItsColour) {
  frame.trainCarMode = true;
  view.Zoom = 25.0f;
  view.RotX = 35.0f;
  view.RotY = -40.0f;
  view.PanY = 0.7f;
  const RgbImage p = Render();
  const struct {
    const char* face;
    std::array<double, 3> at;
    std::vector<int> colour;
  } rows[] = {
      {"rail top", {0.72, 0, 0.1}, {204, 204, 204}},
      {"rail side", {0.745, -0.05, 0.1}, {179, 179, 179}},
      {"sleeper top", {0.3, -0.1, 0.5}, {102, 38, 26}},
      {"sleeper end", {1.12, -0.15, 0.5}, {77, 26, 15}},
      {"sleeper side", {0.3, -0.15, 0.65}, {51, 0, 0}},
      {"ballast top", {1.25, -0.15, 0.1}, {77, 77, 77}},
      {"ballast side", {1.47, -0.225, 0.1}, {64, 64, 64}},
      {"ground", {1.8, -0.3, -0.3}, {0, 153, 51}},
  };
  for (const auto& row : rows) {
    const auto [x, y] = Project(row.at[0], row.at[1], row.at[2]);
    if (!(x >= 0 && x < kW && y >= 0 && y < kH)) {
      ADD_FAILURE() << row.face << " out of the picture at " << x << "," << y;
      continue;
    }
    EXPECT_TRUE(ColourNear(p, x, y, 1, row.colour, 2))
        << row.face << " at " << x << "," << y << " is " << ::testing::PrintToString(p.At(x, y));
  }
}

TEST_F(FrameTest, TexturedTrackIsDrawnWithoutTheMultitextureEntryPoint) {
  // White images: the ground keeps its green, the ballast top is white.
  TextureLoaderState loaderState;
  PixelBuffer white = PixelBuffer::Zeroed(4, 4, 3);
  white.pixels.assign(white.pixels.size(), 255);
  track.GroundTexture = CreateTexture(white, loaderState);
  track.GroundLoaded = true;
  track.BallastTexture = CreateTexture(white, loaderState);
  track.BallastLoaded = true;
  frame.trainCarMode = true;
  view.Zoom = 3.0f;
  view.RotX = 30.0f;
  for (bool withEntry : {true, false}) {
    if (!withEntry) draw.bump.entries.ActiveTexture = nullptr;
    const RgbImage p = Render();
    EXPECT_TRUE(ColourAt(p, {6, -0.3, 5}, {0, 153, 51})) << withEntry;
    // Ballast top beside a sleeper, outside the rails.
    EXPECT_TRUE(ColourAt(p, {1.1, -0.15, 0.1}, {255, 255, 255}, 1)) << withEntry;
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  }
  const GLuint names[] = {track.GroundTexture, track.BallastTexture};
  glDeleteTextures(2, names);
}

// The car is drawn at the placements its composition stored in each model,
// pixel for pixel where frames once worked them out from the composition's
// tables while drawing.
TEST_F(FrameTest, TraincarDrawsWhereItsCompositionPlacedIt) {
  testing::TempDir dir;
  const auto sample = fixtures::WriteSampleTraincar(dir.path(), KELVANE_STANDIN);
  SessionOptions options;
  options.uploader = [](TextureLoaderState& state) {
    return std::make_unique<GlTextureUploader>(state);
  };
  options.trackFolder = dir.path() / "track";
  fixtures::WriteTrackTextures(options.trackFolder);
  ContentSession session(std::move(options));
  ASSERT_TRUE(session.Open(sample.locomotive).loaded);
  frame.unit = session.Unit();
  frame.scene = session.Scene();
  frame.trainCarMode = true;
  track = *session.Track();
  ASSERT_TRUE(track.BallastLoaded && track.GroundLoaded);
  view.Zoom = 4.0f;
  view.RotX = 25.0f;
  view.RotY = 130.0f;
  const RgbImage stored = Render();

  ClearGLBuffers();
  SetCamera();
  glRotatef(view.RotX, 1, 0, 0);
  glRotatef(view.RotY, 0, 1, 0);
  glScalef(view.Zoom, view.Zoom, view.Zoom);
  const float turn = view.RotY * std::numbers::pi_v<float> / 180.0f;
  glTranslatef(std::cos(turn) * view.PanX, view.PanY, std::sin(turn) * view.PanX);
  glDisable(GL_LIGHTING);
  DrawTrack(track, draw.bump.entries, modes.Gauge, static_cast<float>(modes.TieSpacing) / 1000.0f);
  const T3DScene& car = *session.Scene();
  for (std::size_t i = car.ModelCount(); i-- > 0;) {
    glPushMatrix();
    for (const PlacementStep& step : PlaceModel(*session.Traincar(), i).steps) {
      if (step.kind == PlacementStep::Kind::Translate) {
        glTranslatef(step.x, step.y, step.z);
      } else {
        glRotatef(step.angle, step.x, step.y, step.z);
      }
    }
    DrawModel(car.Model(i), draw, *session.Unit());
    glPopMatrix();
  }
  glFinish();
  const RgbImage tables{kW, kH, gl->ReadPixels(3)};
  EXPECT_EQ(stored.rgb, tables.rgb);
  // The car and its track cover much of the picture.
  int covered = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      covered += stored.At(x, y) != std::vector<int>{0x27, 0x74, 0x98} ? 1 : 0;
  EXPECT_GT(covered, kW * kH / 4);
}

TEST_F(FrameTest, CurrentAttachmentPointIsYellowAndOthersGreen) {
  unit.AttachmentCount = 2;
  unit.AttachmentTable.resize(2);
  unit.AttachmentTable[0] = {{-6, 0, 0}, {0, 0, 0}, "a.bog0"};
  unit.AttachmentTable[1] = {{6, 0, 0}, {0, 0, 0}, "a.bog1"};
  modes.ShowAttachments = true;
  modes.AttIndex = 1;
  modes.AttSize = 3;
  const T3DModel empty;
  frame.currentModel = &empty;
  const RgbImage p = Render();
  // Half way along each point's first axis (file x is view x).
  EXPECT_TRUE(ColourAt(p, {6 + 1.5, 0, 0}, {255, 255, 0}));
  EXPECT_TRUE(ColourAt(p, {-6 + 1.5, 0, 0}, {0, 255, 0}));
  // Its third axis stands up the view's y.
  EXPECT_TRUE(ColourAt(p, {6, 1.5, 0}, {255, 255, 0}));
}

// A texture shown between two mesh frames leaves the mesh view's matrices
// and switches as it found them.
TEST_F(FrameTest, TextureViewKeepsTheStateTheMeshViewSetsOnce) {
  TextureView texture;
  texture.picture = PixelBuffer::Zeroed(4, 2, 4);
  texture.facts.width = 4;
  texture.facts.height = 2;
  glEnable(GL_LIGHTING);
  struct Snapshot {
    std::array<double, 16> projection{}, modelView{};
    std::array<GLboolean, 5> enabled{};
    bool operator==(const Snapshot&) const = default;
  };
  auto snapshot = [] {
    Snapshot s;
    glGetDoublev(GL_PROJECTION_MATRIX, s.projection.data());
    glGetDoublev(GL_MODELVIEW_MATRIX, s.modelView.data());
    s.enabled = {glIsEnabled(GL_DEPTH_TEST), glIsEnabled(GL_LIGHTING), glIsEnabled(GL_BLEND),
                 glIsEnabled(GL_TEXTURE_2D), glIsEnabled(GL_ALPHA_TEST)};
    return s;
  };
  const Snapshot before = snapshot();
  ASSERT_TRUE(before.enabled[0]) << "the context's setup turns the depth test on";
  TextureViewGl objects;
  ViewState shown;
  shown.Zoom = TextureFramingZoom();
  DrawTextureView(texture, objects, shown, kW, kH, kDefaultBackgroundColour);
  EXPECT_TRUE(snapshot() == before);
  EXPECT_NE(objects.picture, 0u);
  ReleaseTextureViewGl(objects);
  EXPECT_EQ(objects.picture, 0u);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(FrameTest, PickingProjectsPointsWhereGlDrawsThem) {
  struct Case {
    float rotX, rotY, zoom, panX, panY;
  };
  const Case views[] = {
      {0, 0, 1, 0, 0}, {20, 30, 2.5f, 0, 0}, {-35, 200, 0.7f, 3, -2}, {80, -45, 5, -1.5f, 0.5f}};
  const std::array<std::array<float, 3>, 4> points{
      {{0, 0, 0}, {5, 2, -3}, {-7.5f, 8, 12}, {1, -4, 9}}};
  for (const Case& c : views) {
    view.RotX = c.rotX;
    view.RotY = c.rotY;
    view.Zoom = c.zoom;
    view.PanX = c.panX;
    view.PanY = c.panY;
    Render();
    const GLint viewport[4] = {0, 0, kW, kH};
    for (const auto& p : points) {
      double wx = 0, wy = 0, wz = 0;
      ASSERT_TRUE(gluProject(p[0], p[1], p[2], modelView.data(), projection.data(), viewport, &wx,
                             &wy, &wz));
      const auto ours = ProjectToWindow(view, kW, kH, {p[0], p[1], p[2]});
      ASSERT_TRUE(ours);
      EXPECT_NEAR((*ours)[0], wx, 0.01)
          << "view " << c.rotX << "/" << c.rotY << ", point " << p[0] << " " << p[1] << " " << p[2];
      EXPECT_NEAR((*ours)[1], kH - wy, 0.01)
          << "view " << c.rotX << "/" << c.rotY << ", point " << p[0] << " " << p[1] << " " << p[2];
    }
  }
}

TEST_F(FrameTest, MeasuredPointsAreMarkedAndJoinedOverTheModel) {
  view.Zoom = 2.0f;
  view.RotY = 20.0f;
  modes.ShowAxes = false;
  frame.measure.first = TVector3{-6, 28, 2};
  frame.measure.second = TVector3{6, 31, -2};
  const RgbImage p = Render();
  // The yellow line's middle and the green cross at each end.
  EXPECT_TRUE(ColourAt(p, {0, 29.5, 0}, {255, 255, 0}));
  EXPECT_TRUE(ColourAt(p, {-6, 28 + 0.5 * 10 / 2.0 * 0.8, 2}, {0, 255, 0}));
  // One point alone: its cross, and no line yet.
  frame.measure.second.reset();
  const RgbImage one = Render();
  EXPECT_FALSE(ColourAt(one, {0, 29.5, 0}, {255, 255, 0}));
}

}  // namespace
}  // namespace kelvane
