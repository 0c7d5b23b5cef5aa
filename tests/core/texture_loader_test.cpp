#include "textures/texture_loader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fixtures/texture_writer.h"
#include "platform/notices.h"
#include "support/temp_dir.h"
#include "texture_test_support.h"

namespace kelvane {
namespace {

using fixtures::Picture;
using fixtures::Rgb8;
using fixtures::Rgba8;
using kelvane::testing::Alphas;
using kelvane::testing::TexelOf;
using ::testing::Each;
using ::testing::ElementsAre;

constexpr std::uint32_t kUntouched = 777;

Picture<Rgb8> Solid(int w, int h, Rgb8 c) {
  return {w, h, std::vector<Rgb8>(static_cast<std::size_t>(w * h), c)};
}

// A 2 x 2 picture whose red bytes, top row first, are 10, 20, 30, 40.
Picture<Rgba8> RedSteps() {
  return {2, 2, {{10, 1, 2, 200}, {20, 1, 2, 200}, {30, 1, 2, 200}, {40, 1, 2, 200}}};
}

class TextureLoaderTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const std::string& name, const std::vector<std::byte>& bytes) {
    const auto file = dir / name;
    fixtures::WriteFile(file, bytes);
    return file;
  }
  std::filesystem::path Tga24(const std::string& name, const Picture<Rgba8>& p) {
    return Write(name, fixtures::WriteTga(fixtures::TgaTrueColour(p, 24, false)));
  }
  std::filesystem::path Bmp(const std::string& name, Rgb8 c) {
    return Write(name, fixtures::WriteBmp(fixtures::Bmp24(Solid(2, 2, c), false)));
  }
  std::filesystem::path Jpeg(const std::string& name, int side) {
    const std::vector<std::uint8_t> grey(static_cast<std::size_t>(side * side), 128);
    return Write(name, fixtures::EncodeJpeg(side, side, 1, grey, 95));
  }
  std::filesystem::path Dxt1(const std::string& name) {
    fixtures::TextureFixture f{.format = 10, .width = 4, .height = 4};
    f.chunks = {fixtures::EncodeTwoColourDxt1(Solid(4, 4, {8, 4, 16}))};
    return Write(name, fixtures::WriteTextureFile(f));
  }
  const PixelBuffer& Last() const { return *uploader.LastUpload(); }

  ::kelvane::testing::TempDir dir;
  TextureLoaderState state;
  RecordingNotifier notifier;
  DecodeOnlyUploader uploader{state};
  TextureLoader loader{state, notifier, uploader};
  std::uint32_t texture = kUntouched;
};

// The alpha image is no texture of its own; the colour image it goes to
// is RGBA.
TEST_F(TextureLoaderTest, HeldAlphaImageGoesToTheNextColourImage) {
  ASSERT_TRUE(loader.LoadAlphaTexture(Tga24("alpha.tga", RedSteps()), texture, false, 2));
  EXPECT_EQ(texture, kUntouched);
  EXPECT_EQ(uploader.LiveCount(), 0u);
  ASSERT_TRUE(loader.LoadTexture(Bmp("colour.bmp", {5, 6, 7}), texture, false, 2));
  EXPECT_EQ(texture, 1u);
  EXPECT_THAT(TexelOf(Last(), 1, 1), ElementsAre(5, 6, 7, 20));
  EXPECT_TRUE(loader.TextureHasAlpha());
  ASSERT_TRUE(loader.LoadTexture(Bmp("plain.bmp", {5, 6, 7}), texture, false, 2));
  EXPECT_EQ(Last().bytesPerTexel, 3) << "consumed once";
  EXPECT_FALSE(loader.TextureHasAlpha()) << "cleared by an RGB upload";
}

TEST_F(TextureLoaderTest, ContainerLeavesTheAlphaImageHeldForALaterImage) {
  ASSERT_TRUE(loader.LoadAlphaTexture(Tga24("alpha.TGA", RedSteps()), texture, false, 2));
  ASSERT_TRUE(loader.LoadTexture(Dxt1("roof.texture"), texture, false, 2));
  EXPECT_EQ(Last().bytesPerTexel, 3);
  EXPECT_TRUE(state.HoldsAlphaImage());
  EXPECT_FALSE(loader.LoadTexture(dir / "gone.tga", texture, false, 2));
  EXPECT_TRUE(state.HoldsAlphaImage()) << "a failed load leaves it held";

  Picture<Rgba8> colour = RedSteps();
  for (auto& t : colour.texels)
    t = {1, 2, 3, 255};
  ASSERT_TRUE(loader.LoadTexture(Tga24("later.tga", colour), texture, false, 2));
  EXPECT_THAT(Alphas(Last()), ElementsAre(30, 40, 10, 20));
  EXPECT_FALSE(state.HoldsAlphaImage());
}

// A load that ends the alpha-image request, by failing or by dropping the
// held image, leaves an unrelated later BMP opaque.
TEST_F(TextureLoaderTest, NoRgbaRequestOutlivesTheLoadThatEndedIt) {
  const auto alpha = Tga24("alpha.tga", RedSteps());
  const auto plain = Bmp("plain.bmp", {5, 6, 7});
  struct Case {
    const char* what;
    std::filesystem::path alphaImage;  // held first when given
    std::filesystem::path file;
    bool useConstantAlpha;
  };
  for (const Case& c : {Case{"a failed constant-alpha BMP", {}, dir / "gone.bmp", true},
                        Case{"a JPEG of another size", alpha, Jpeg("big.jpg", 8), false},
                        Case{"a constant-alpha TGA", alpha, Tga24("c.tga", RedSteps()), true}}) {
    if (!c.alphaImage.empty()) {
      ASSERT_TRUE(loader.LoadAlphaTexture(c.alphaImage, texture, false, 2)) << c.what;
    }
    loader.LoadTexture(c.file, texture, c.useConstantAlpha, 100);
    EXPECT_FALSE(state.alphaImagePending) << c.what;
    ASSERT_TRUE(loader.LoadTexture(plain, texture, false, 2)) << c.what;
    EXPECT_EQ(Last().bytesPerTexel, 3) << c.what;
  }
}

TEST_F(TextureLoaderTest, TextureHasAlphaFollowsTheLastUpload) {
  // RGB and JPEG uploads are checked with the sample wagon's textures in GL.
  ASSERT_TRUE(loader.LoadTexture(Tga24("b.tga", RedSteps()), texture, true, 99));
  EXPECT_TRUE(loader.TextureHasAlpha());
  EXPECT_THAT(Alphas(Last()), Each(99));
  loader.ClearTextureHasAlpha();
  EXPECT_FALSE(loader.TextureHasAlpha());
  // A failed load is no upload: the flag stays.
  ASSERT_TRUE(loader.LoadTexture(Jpeg("a.jpg", 4), texture, false, 2));
  EXPECT_FALSE(loader.LoadTexture(dir / "gone.tga", texture, false, 2));
  EXPECT_TRUE(loader.TextureHasAlpha());
}

TEST_F(TextureLoaderTest, ConstantAlphaTgaThroughTheAlphaEntryIsATexture) {
  // The constant wins over holding: the image becomes a texture, and the
  // next BMP or TGA colour image is held in its place.
  ASSERT_TRUE(loader.LoadAlphaTexture(Tga24("a.tga", RedSteps()), texture, true, 50));
  EXPECT_EQ(texture, 1u);
  EXPECT_TRUE(state.loadingAlphaImage);
  ASSERT_TRUE(loader.LoadTexture(Bmp("b.bmp", {9, 9, 9}), texture, false, 2));
  EXPECT_EQ(texture, 1u);
  EXPECT_TRUE(state.HoldsAlphaImage());
  EXPECT_FALSE(state.loadingAlphaImage);
}

}  // namespace
}  // namespace kelvane
