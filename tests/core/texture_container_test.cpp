#include "textures/texture_container.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fixtures/texture_writer.h"
#include "texture_test_support.h"

namespace kelvane {
namespace {

using fixtures::BlockIndices;
using fixtures::Picture;
using fixtures::Rgba8;
using fixtures::TextureFixture;
using kelvane::testing::TexelOf;
using ::testing::ElementsAre;
using Kind = ReadResult::Kind;

// 2 x 2, rows top-down: red, green / blue, white, alphas 10, 20, 30, 40.
Picture<Rgba8> Small() {
  return {2, 2, {{200, 0, 0, 10}, {0, 150, 0, 20}, {0, 0, 100, 30}, {255, 255, 255, 40}}};
}

TextureFixture Bgra(std::int32_t format) {
  return {.format = format, .width = 2, .height = 2, .chunks = {fixtures::BgraPayload(Small())}};
}

ReadResult Read(const TextureFixture& f, TextureRequest request = {}) {
  return ReadContainerTexture(fixtures::WriteTextureFile(f), request);
}

TEST(TextureContainerUncompressed, BgraCodesGiveRgbaWithTheFilesAlpha) {
  for (std::int32_t format : {7, 0, -3}) {
    const auto r = Read(Bgra(format), {"t.texture", true, 99});
    ASSERT_EQ(r.kind, Kind::kImage) << format;
    ASSERT_EQ(r.image.bytesPerTexel, 4);
    // Rows turned bottom-up; the constant alpha does not apply.
    EXPECT_THAT(TexelOf(r.image, 0, 0), ElementsAre(0, 0, 100, 30));
    EXPECT_THAT(TexelOf(r.image, 1, 1), ElementsAre(0, 150, 0, 20));
  }
}

TEST(TextureContainerBlocks, Dxt1AlphaFollowsAlphaModeOrTheConstant) {
  TextureFixture f;
  const BlockIndices idx{3, 0};
  const auto block = fixtures::Dxt1Block(0x0000, 0xFFFF, idx);  // three-colour
  f.chunks = {std::vector<std::byte>(block.begin(), block.end())};

  f.alphaMode = 2;
  auto r = Read(f, {"t", true, 50});
  ASSERT_EQ(r.kind, Kind::kImage);
  EXPECT_THAT(TexelOf(r.image, 0, 3), ElementsAre(124, 126, 124, 0));  // transparent
  EXPECT_THAT(TexelOf(r.image, 1, 3), ElementsAre(0, 0, 0, 255));

  f.alphaMode = 1;
  r = Read(f, {"t", true, 50});
  EXPECT_THAT(TexelOf(r.image, 0, 3), ElementsAre(124, 126, 124, 50));
  r = Read(f, {"t", false, 50});
  EXPECT_THAT(TexelOf(r.image, 0, 3), ElementsAre(124, 126, 124));
}

}  // namespace
}  // namespace kelvane
