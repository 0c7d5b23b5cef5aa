// Model passes, the frame and the overlays drawn by Mesa through the
// headless context, checked at pixels whose colour follows from the
// geometry and the GL state the passes set. Skipped where no EGL display
// can be had.

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <optional>

#include "egl_context.h"
#include "mesh/model_draw.h"
#include "overlays/attachment_markers.h"
#include "settings/viewer_settings.h"
#include "support/image_compare.h"
#include "support/temp_dir.h"
#include "textures/texture_loader_state.h"
#include "textures/texture_upload.h"
#include "view/frame.h"

namespace kelvane {
namespace {

using testing::ColourNear;
using testing::RgbImage;

constexpr int kSize = 64;
const std::vector<int> kBlue{39, 116, 152};

// A quad of two counter-clockwise triangles facing +z from (x0, y0) to
// (x1, y1), uv 0..1 across it.
std::unique_ptr<T3DObject> Quad(float x0, float y0, float x1, float y1, float z) {
  auto o = std::make_unique<T3DObject>();
  o->vertices = {{x0, y0, z}, {x1, y0, z}, {x1, y1, z}, {x0, y1, z}};
  o->normals.assign(4, TVector3{0, 0, 1});
  o->texCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  o->faces = {{0, 1, 2}, {0, 2, 3}};
  o->vertexCount = 4;
  o->faceCount = 2;
  o->pickName = 1;
  o->material.diffuse.colour = {0.2f, 0.4f, 0.6f, 1.0f};
  return o;
}

PixelBuffer Uniform(std::uint8_t r, std::uint8_t g, std::uint8_t b, int alpha = -1) {
  PixelBuffer p = PixelBuffer::Zeroed(4, 4, alpha < 0 ? 3 : 4);
  for (std::size_t i = 0; i < 16; ++i) {
    std::uint8_t* t = p.pixels.data() + i * p.bytesPerTexel;
    t[0] = r, t[1] = g, t[2] = b;
    if (alpha >= 0) t[3] = static_cast<std::uint8_t>(alpha);
  }
  return p;
}

class DrawTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    gl = HeadlessGlContext::Create(kSize, kSize, &why);
    if (!gl) GTEST_SKIP() << "no headless GL context: " << why;
    SetupGL(draw, HeadlessGlContext::Lookup());
    const ClearColour blue = BackgroundColour(kDefaultBackgroundColour);
    glClearColor(blue.r, blue.g, blue.b, 0.0f);
    glViewport(0, 0, kSize, kSize);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    ClearGLBuffers();
  }
  void TearDown() override {
    if (!gl) return;
    model.objects.clear();
    if (!textures.empty()) glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
    ReleaseDrawResources(draw);
  }

  std::uint32_t Texture(const PixelBuffer& pixels) {
    textures.push_back(CreateTexture(pixels, loaderState));
    return textures.back();
  }
  T3DObject& Add(std::unique_ptr<T3DObject> o) {
    model.objects.push_back(std::move(o));
    return *model.objects.back();
  }
  RgbImage Picture() const {
    glFinish();
    return RgbImage{kSize, kSize, gl->ReadPixels(3)};
  }
  // Pixel column / row whose centre lies at ortho coordinate c.
  static int Pixel(float c) { return static_cast<int>((c + 1.0f) * kSize / 2.0f); }

  std::optional<HeadlessGlContext> gl;
  FrameState frame;
  DrawSettings& draw = frame.draw;
  MeshUnitState unit;
  TextureLoaderState loaderState;
  T3DModel model;
  std::vector<GLuint> textures;
};

// ----- base pass -------------------------------------------------------------

TEST_F(DrawTest, UntexturedQuadShowsItsDiffuseColourAndIsCulledUnlessTwoSided) {
  Add(Quad(-0.5f, -0.5f, 0.5f, 0.5f, 0));
  DrawModel(model, draw, unit);
  const RgbImage p = Picture();
  EXPECT_TRUE(ColourNear(p, 32, 32, 0, {51, 102, 153}, 1)) << p.At(32, 32)[0];
  EXPECT_EQ(p.At(4, 4), kBlue);
  EXPECT_EQ(draw.PolyCount, 2);

  // Clockwise as seen: a back face. Emptying the model first drops the
  // buffers built for the first quad.
  model.objects.clear();
  DrawModel(model, draw, unit);
  Add(Quad(-0.5f, -0.5f, 0.5f, 0.5f, 0)).faces = {{0, 2, 1}, {0, 3, 2}};
  ClearGLBuffers();
  DrawModel(model, draw, unit);
  EXPECT_EQ(Picture().At(32, 32), kBlue);
  ClearGLBuffers();
  model.objects.front()->material.twoSided = 1;
  DrawModel(model, draw, unit);
  EXPECT_TRUE(ColourNear(Picture(), 32, 32, 0, {51, 102, 153}, 1));
}

TEST_F(DrawTest, TexturedQuadShowsItsTexelsUpright) {
  // Rows bottom-up: bottom half red, top half blue; right column block green.
  PixelBuffer tex = PixelBuffer::Zeroed(4, 4, 3);
  for (int i = 0; i < 16; ++i)
    tex.pixels[i * 3 + (i % 4 >= 2 ? 1 : i < 8 ? 0 : 2)] = 255;
  T3DObject& o = Add(Quad(-1, -1, 1, 1, 0));
  o.material.hasTexture = true;
  o.material.texture = Texture(tex);
  DrawModel(model, draw, unit);
  // Sampled half way between two texel centres of one colour, so linear
  // filtering cannot bring in a neighbour.
  const RgbImage p = Picture();                            // rows from the top
  EXPECT_EQ(p.At(16, 48), (std::vector<int>{255, 0, 0}));  // bottom left
  EXPECT_EQ(p.At(16, 16), (std::vector<int>{0, 0, 255}));  // top left
  EXPECT_EQ(p.At(48, 16), (std::vector<int>{0, 255, 0}));  // right
}

TEST_F(DrawTest, TransparentObjectIsDrawnAfterOpaqueOnesWhateverItsPlace) {
  // Listed first and nearer: drawn first it would hide the red quad behind
  // it through the depth test.
  T3DObject& glass = Add(Quad(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f));
  glass.transparent = true;
  glass.material.hasTexture = true;
  glass.material.texture = Texture(Uniform(255, 255, 255, 128));
  T3DObject& back = Add(Quad(-0.8f, -0.8f, 0.8f, 0.8f, -0.5f));
  back.material.diffuse.colour = {1, 0, 0, 1};
  DrawModel(model, draw, unit);
  EXPECT_TRUE(ColourNear(Picture(), 32, 32, 0, {255, 128, 128}, 2)) << Picture().At(32, 32)[1];
}

TEST_F(DrawTest, FacesNamingMissingVerticesAreNotDrawn) {
  T3DObject& o = Add(Quad(-0.5f, -0.5f, 0.5f, 0.5f, 0));
  o.faces = {{0, 1, 99}, {0, 2, 3}};  // only the upper-left triangle exists
  for (GeometryPath path :
       {GeometryPath::BufferObjects, GeometryPath::VertexArrays, GeometryPath::Immediate}) {
    draw.path = path;
    ClearGLBuffers();
    DrawModel(model, draw, unit);
    const RgbImage p = Picture();
    EXPECT_TRUE(ColourNear(p, Pixel(-0.3f), kSize - 1 - Pixel(0.3f), 0, {51, 102, 153}, 1));
    EXPECT_EQ(p.At(Pixel(0.3f), kSize - 1 - Pixel(-0.3f)), kBlue);
  }
  EXPECT_EQ(draw.PolyCount, 2);  // the object's face count, as Mesh Data shows it
}

// ----- reflection and bump passes ------------------------------------------------

TEST_F(DrawTest, ReflectionAddsItsTextureAtAmountOverAmountPlusOne) {
  T3DObject& o = Add(Quad(-0.5f, -0.5f, 0.5f, 0.5f, 0));
  o.material.diffuse.colour = {100 / 255.0f, 100 / 255.0f, 100 / 255.0f, 1};
  o.material.hasReflection = true;
  o.material.reflectionTexture = Texture(Uniform(255, 255, 255));
  o.material.reflectionAmount = 0.0f;
  DrawModel(model, draw, unit);
  EXPECT_TRUE(ColourNear(Picture(), 32, 32, 0, {100, 100, 100}, 1));
  ClearGLBuffers();
  o.material.reflectionAmount = 1.0f;  // alpha 0.5
  DrawModel(model, draw, unit);
  EXPECT_TRUE(ColourNear(Picture(), 32, 32, 0, {228, 228, 228}, 2)) << Picture().At(32, 32)[0];
}

class BumpDrawTest : public DrawTest {
 protected:
  void SetUp() override {
    DrawTest::SetUp();
    if (!gl) return;
    if (!draw.bump.BumpSupported) GTEST_SKIP() << "this driver lacks the bump extensions";
  }
  // A quad at the origin whose bump texture holds one normal everywhere.
  T3DObject& BumpQuad(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    T3DObject& o = Add(Quad(-0.5f, -0.5f, 0.5f, 0.5f, 0));
    o.material.hasTexture = true;
    o.material.texture = Texture(Uniform(200, 200, 200));
    o.material.hasBump = true;
    o.material.bumpTexture = Texture(Uniform(r, g, b));
    return o;
  }
  // DOT3 of the light direction at the origin and a normal along +x.
  static int LitByX() {
    const TVector3 l = kBumpLightPosition;
    const float length = std::sqrt(l.x * l.x + l.y * l.y + l.z * l.z);
    return static_cast<int>(std::lround(255.0f * l.x / length));
  }
};

TEST_F(BumpDrawTest, BumpsOnlyShowsTheDot3OfLightAndBumpNormal) {
  BumpQuad(255, 128, 128);
  draw.BumpsOnly = true;
  DrawModel(model, draw, unit);
  const auto c = Picture().At(32, 32);
  EXPECT_NEAR(c[0], LitByX(), 8);
  EXPECT_EQ(c[0], c[1]);
  EXPECT_EQ(c[0], c[2]);

  ClearGLBuffers();
  model.objects.clear();
  BumpQuad(0, 128, 128);  // facing away from the light
  DrawModel(model, draw, unit);
  EXPECT_TRUE(ColourNear(Picture(), 32, 32, 0, {0, 0, 0}, 2));
}

TEST_F(BumpDrawTest, BumpAndBasePassesAreWeightedByBumpStrength) {
  BumpQuad(255, 128, 128);
  draw.BumpEnabled = true;
  draw.BumpStrength = 0.5f;
  DrawModel(model, draw, unit);
  const int expected = (LitByX() + 200) / 2;
  EXPECT_NEAR(Picture().At(32, 32)[0], expected, 8);

  ClearGLBuffers();
  draw.BumpEnabled = false;  // base pass only, plain blending
  DrawModel(model, draw, unit);
  EXPECT_TRUE(ColourNear(Picture(), 32, 32, 0, {200, 200, 200}, 1));
}

TEST_F(BumpDrawTest, PassesLeaveTheStateTheyFound) {
  T3DObject& o = BumpQuad(255, 128, 128);
  o.material.hasReflection = true;
  o.material.reflectionTexture = o.material.texture;
  draw.BumpEnabled = true;
  for (GeometryPath path :
       {GeometryPath::BufferObjects, GeometryPath::VertexArrays, GeometryPath::Immediate}) {
    draw.path = path;
    DrawModel(model, draw, unit);
    for (GLenum cap : {GL_BLEND, GL_TEXTURE_2D, GL_TEXTURE_CUBE_MAP_ARB, GL_TEXTURE_GEN_S,
                       GL_CULL_FACE, GL_VERTEX_ARRAY, GL_NORMAL_ARRAY}) {
      EXPECT_FALSE(glIsEnabled(cap)) << cap;
    }
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &active);
    EXPECT_EQ(active, GL_TEXTURE0_ARB);
    draw.bump.entries.ActiveTexture(GL_TEXTURE1_ARB);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    draw.bump.entries.ActiveTexture(GL_TEXTURE0_ARB);
  }
  // One cube map for the context, however often the pass runs.
  EXPECT_NE(draw.CubeMapTexture, 0u);
  EXPECT_TRUE(glIsTexture(draw.CubeMapTexture));
}

// ----- wireframe and highlight ---------------------------------------------------

TEST_F(DrawTest, HighlightFillsObjectsOfTheTextureAndWiresTheRest) {
  T3DObject& found = Add(Quad(-0.9f, -0.5f, -0.1f, 0.5f, 0));
  found.material.primaryTextureName = "roof.tga";
  T3DObject& other = Add(Quad(0.1f, -0.5f, 0.9f, 0.5f, 0));
  other.material.primaryTextureName = "wall.tga";
  draw.HighlightTextureName = "roof.tga";
  draw.PolyCount = 77;
  DrawModelHighlight(model, draw, unit);
  const RgbImage p = Picture();
  EXPECT_TRUE(ColourNear(p, Pixel(-0.5f), 32, 0, {51, 102, 153}, 1));
  EXPECT_EQ(p.At(Pixel(0.4f), Pixel(-0.25f)), kBlue);
  EXPECT_TRUE(ColourNear(p, Pixel(0.1f), 32, 1, {64, 64, 64}, 1));
  EXPECT_EQ(draw.PolyCount, 77);
}

// ----- the fast path against the reference ------------------------------------------

TEST_F(DrawTest, BufferObjectsAndVertexArraysDrawTheSamePixelsAsImmediateMode) {
  // A lit, textured, bumped, reflecting and transparent mix, seen in
  // perspective through the frame.
  const int w = 160, h = 120;
  gl.reset();
  std::string why;
  gl = HeadlessGlContext::Create(w, h, &why);
  ASSERT_TRUE(gl) << why;
  draw = DrawSettings{};
  SetupGL(draw, HeadlessGlContext::Lookup());
  frame.BGroundColour = kDefaultBackgroundColour;
  textures.clear();
  auto box = Quad(-8, -2, 8, 6, 0);
  box->material.hasTexture = true;
  PixelBuffer checker = PixelBuffer::Zeroed(8, 8, 3);
  for (std::size_t i = 0; i < checker.pixels.size(); ++i)
    checker.pixels[i] = static_cast<std::uint8_t>((i * 37) % 251);
  box->material.texture = Texture(checker);
  box->material.hasBump = true;
  box->material.bumpTexture = Texture(Uniform(255, 128, 200));
  box->material.hasReflection = true;
  box->material.reflectionTexture = Texture(checker);
  box->material.reflectionAmount = 0.5f;
  auto tilted = Quad(-4, -4, 4, 4, 2);
  tilted->transparent = true;
  tilted->material.hasTexture = true;
  tilted->material.texture = Texture(Uniform(250, 200, 20, 120));
  tilted->transforms.items.push_back({TransformKind::Rotate, true, 1, 1, 0, 30});
  auto plain = Quad(-10, -6, -6, -3, 1);
  plain->material.twoSided = 1;
  model.objects.clear();
  model.objects.push_back(std::move(box));
  model.objects.push_back(std::move(tilted));
  model.objects.push_back(std::move(plain));

  frame.view.Zoom = 3.0f;
  frame.view.PanY = 4.0f;
  frame.view.RotY = 20.0f;
  frame.view.RotX = 10.0f;
  frame.modes.ShowAxes = false;
  unit.LightingOn = false;
  frame.unit = &unit;
  frame.currentModel = &model;
  SetPerspective(w, h);
  auto render = [&](GeometryPath path) {
    draw.path = path;
    RenderFrame(frame);
    glFinish();
    return RgbImage{w, h, gl->ReadPixels(3)};
  };
  for (int pass = 0; pass < 3; ++pass) {  // with bumps, without, the wireframe
    draw.BumpEnabled = pass == 0;
    frame.modes.ShowAttachments = pass == 2;
    const RgbImage reference = render(GeometryPath::Immediate);
    for (GeometryPath fast : {GeometryPath::BufferObjects, GeometryPath::VertexArrays}) {
      EXPECT_TRUE(testing::ImagesAgree(render(fast), reference, 1,
                                       ::testing::TempDir() + "kelvane-fast-path"))
          << pass;
    }
    int drawn = 0;  // the scene is in view
    for (int i = 0; i < w * h; ++i)
      drawn += reference.At(i % w, i / w) != kBlue;
    EXPECT_GT(drawn, pass < 2 ? 2000 : 0) << pass;
  }

  // The buffers are built once per object and go with it at the next draw.
  ASSERT_TRUE(draw.buffers.Usable());
  ASSERT_EQ(draw.objectBuffers.size(), 3u);
  const GLuint vertices = draw.objectBuffers.begin()->second.vertices;
  const auto isBuffer =
      reinterpret_cast<PFNGLISBUFFERPROC>(HeadlessGlContext::Lookup()("glIsBuffer"));
  ASSERT_TRUE(isBuffer && isBuffer(vertices));
  model.objects.clear();
  DrawModel(model, draw, unit);
  EXPECT_TRUE(draw.objectBuffers.empty());
  EXPECT_FALSE(isBuffer(vertices));
}

}  // namespace
}  // namespace kelvane
