// The uploader and the headless context against a real GL implementation
// (Mesa llvmpipe through EGL surfaceless). Skipped, with the reason, where
// no EGL display can be had.

#include "textures/texture_upload.h"

#include <GL/gl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "egl_context.h"
#include "fixtures/sample_assets.h"
#include "fixtures/texture_writer.h"
#include "mesh/model.h"
#include "platform/notices.h"
#include "support/temp_dir.h"
#include "textures/texture_loader.h"

namespace kelvane {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class GlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    gl = HeadlessGlContext::Create(4, 4, &why);
    if (!gl) GTEST_SKIP() << "no headless GL context: " << why;
  }

  GLint TexParameter(GLenum name) const {
    GLint v = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &v);
    return v;
  }
  GLint LevelWidth(GLint level) const {
    GLint v = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &v);
    return v;
  }
  std::vector<std::uint8_t> Level0(GLenum format, std::size_t bytes) const {
    std::vector<std::uint8_t> out(bytes);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, out.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return out;
  }

  std::optional<HeadlessGlContext> gl;
  TextureLoaderState state;
};

PixelBuffer Buffer(std::uint16_t w, std::uint16_t h, std::uint8_t bytes) {
  PixelBuffer b = PixelBuffer::Zeroed(w, h, bytes);
  for (std::size_t i = 0; i < b.pixels.size(); ++i)
    b.pixels[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return b;
}

TEST_F(GlTest, FramebufferHasDepthAndReadsBackTopDown) {
  EXPECT_TRUE(gl->depthBits() == 32 || gl->depthBits() == 24) << gl->depthBits();
  GLint depth = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depth);
  EXPECT_GE(depth, 24);
  // Bottom half blue, top half red.
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 2, 4, 2);
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  const auto rgb = gl->ReadPixels(3);
  ASSERT_EQ(rgb.size(), 4u * 4 * 3);
  EXPECT_THAT(std::vector<int>(rgb.begin(), rgb.begin() + 3), ElementsAre(255, 0, 0));
  EXPECT_THAT(std::vector<int>(rgb.end() - 3, rgb.end()), ElementsAre(0, 0, 255));
  EXPECT_EQ(gl->ReadPixels(4).size(), 4u * 4 * 4);
}

TEST_F(GlTest, RgbGoesToLevelZeroOnlyWithLinearFilters) {
  state.textureHasAlpha = true;
  // 3 texels of 3 bytes: rows of 9 bytes, not a multiple of 4.
  const PixelBuffer rgb = Buffer(3, 2, 3);
  const std::uint32_t name = CreateTexture(rgb, state);
  ASSERT_NE(name, 0u);
  EXPECT_FALSE(state.textureHasAlpha);
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(static_cast<std::uint32_t>(bound), name);
  EXPECT_EQ(TexParameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
  EXPECT_EQ(TexParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  GLint env = 0;
  glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
  EXPECT_EQ(env, GL_MODULATE);
  EXPECT_EQ((std::vector{LevelWidth(0), LevelWidth(1)}), (std::vector{3, 0}))
      << "no mipmaps for RGB";
  EXPECT_THAT(Level0(GL_RGB, rgb.pixels.size()), ElementsAreArray(rgb.pixels));
  GLint alignment = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 4) << "restored";
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlTest, LoaderCreatesAndDeletesRealTextures) {
  ::kelvane::testing::TempDir dir;
  RecordingNotifier notifier;
  GlTextureUploader uploader(state);
  TextureLoader loader(state, notifier, uploader);
  std::vector<std::uint32_t> names;
  for (const auto& t : fixtures::SampleWagonTextures()) {
    fixtures::WriteFile(dir / t.name, t.bytes);
    std::uint32_t name = 0;
    ASSERT_TRUE(loader.LoadTexture(dir / t.name, name, false, 2)) << t.name;
    EXPECT_TRUE(glIsTexture(name)) << t.name;
    EXPECT_EQ(loader.TextureHasAlpha(), t.name == "frame.jpg") << t.name;
    names.push_back(name);
  }
  std::uint32_t again = 0;
  ASSERT_TRUE(loader.LoadTexture(dir / "buffers.bmp", again, false, 2));
  EXPECT_NE(again, names[2]);
  names.push_back(again);
  loader.DeleteTextures(names);
  for (std::uint32_t name : names)
    EXPECT_FALSE(glIsTexture(name));
  EXPECT_TRUE(notifier.notices.empty());
}

// The command line's decode-only loads describe the materials as the
// viewer's uploading loads leave them.
TEST(TextureFlags, SameWithAndWithoutUpload) {
  ::kelvane::testing::TempDir dir;
  const auto files = fixtures::WriteSampleAssets(dir.path());
  std::string why;
  const auto gl = HeadlessGlContext::Create(1, 1, &why);
  if (!gl) GTEST_SKIP() << "no headless GL context: " << why;
  auto flags = [&](bool upload) {
    TextureLoaderState state;
    GlTextureUploader uploaded(state);
    DecodeOnlyUploader decoded(state);
    RecordingNotifier notifier;
    TextureLoader loader(state, notifier,
                         upload ? static_cast<TextureUploader&>(uploaded) : decoded);
    MeshUnitState unit;
    LoadContext context{unit, notifier};
    context.textures = &loader;
    T3DModel model;
    EXPECT_TRUE(model.Load(files.front(), context));
    std::vector<std::array<bool, 5>> out;
    for (const auto& o : model.objects) {
      const TMaterial& m = o->material;
      out.push_back({m.hasTexture, m.hasBump, m.hasReflection, m.hasAlpha, o->transparent});
    }
    return out;
  };
  const auto decodedFlags = flags(false);
  EXPECT_EQ(decodedFlags, flags(true));
  EXPECT_TRUE(
      std::any_of(decodedFlags.begin(), decodedFlags.end(), [](const auto& f) { return f[0]; }));
}

}  // namespace
}  // namespace kelvane
