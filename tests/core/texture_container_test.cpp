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
using kelvane::testing::Alphas;
using kelvane::testing::TexelOf;
using ::testing::Each;
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

TEST(TextureContainerUncompressed, FormatThreeIsRgbOrConstantAlpha) {
  const auto rgb = Read(Bgra(3), {"t.texture", false, 200});
  ASSERT_EQ(rgb.kind, Kind::kImage);
  EXPECT_EQ(rgb.image.bytesPerTexel, 3);
  EXPECT_THAT(TexelOf(rgb.image, 0, 1), ElementsAre(200, 0, 0));

  const auto rgba = Read(Bgra(3), {"t.texture", true, 128});
  ASSERT_EQ(rgba.kind, Kind::kImage);
  EXPECT_THAT(Alphas(rgba.image), Each(128));
  EXPECT_THAT(TexelOf(rgba.image, 1, 0), ElementsAre(255, 255, 255, 128));
}

TEST(TextureContainerUncompressed, PayloadSizeMustMatchTheSides) {
  auto f = Bgra(3);
  f.chunks[0].pop_back();
  EXPECT_EQ(Read(f).kind, Kind::kFailed);
  f = Bgra(5);
  f.chunks[0].resize(20);
  EXPECT_EQ(Read(f).kind, Kind::kFailed);
}

TEST(TextureContainerStructure, OnlyTheLastChunkIsDecoded) {
  auto f = Bgra(7);
  f.countFactor1 = 3;
  // The first two chunks are not images of this format at all.
  f.chunks.insert(f.chunks.begin(), {std::vector<std::byte>(3), std::vector<std::byte>(1)});
  const auto r = Read(f);
  ASSERT_EQ(r.kind, Kind::kImage);
  EXPECT_THAT(TexelOf(r.image, 0, 0), ElementsAre(0, 0, 100, 30));

  f.countFactor1 = 4;  // announces a chunk the file does not have
  EXPECT_EQ(Read(f).kind, Kind::kFailed);
}

TEST(TextureContainerStructure, DamagedTagsAreRefused) {
  const auto good = fixtures::WriteTextureFile(Bgra(7));
  for (std::size_t at : {std::size_t{0}, std::size_t{9}, std::size_t{13}, good.size() - 16 - 8}) {
    auto bad = good;
    bad[at] = std::byte{'x'};
    EXPECT_EQ(ReadContainerTexture(bad, {}).kind, Kind::kFailed) << "byte " << at;
  }
}

TEST(TextureContainerStructure, InfoFieldsFollowTheVersion) {
  // A file that ends right after the fields of `fieldsOf`, claiming `version`.
  auto endsAfter = [](std::int32_t version, std::int32_t fieldsOf) {
    TextureFixture f;
    f.version = version;
    f.countFactor1 = 0;
    f.infoLength = fixtures::TextureInfoBytes(fieldsOf);
    auto bytes = fixtures::WriteTextureFile(f);
    bytes.resize(20 + *f.infoLength);
    return ReadContainerTexture(bytes, {}).kind;
  };
  EXPECT_EQ((std::vector{endsAfter(259, 259), endsAfter(260, 259), endsAfter(260, 260),
                         endsAfter(261, 260), endsAfter(262, 261), endsAfter(263, 262),
                         endsAfter(263, 263)}),
            (std::vector{Kind::kNoImage, Kind::kFailed, Kind::kNoImage, Kind::kFailed,
                         Kind::kNoImage, Kind::kFailed, Kind::kNoImage}));
}

TEST(TextureContainerStructure, ChunksStartWhereTheInfoLengthSays) {
  auto f = Bgra(7);
  f.version = 259;
  f.infoLength = fixtures::TextureInfoBytes(259) + 12;  // padding after the fields
  EXPECT_EQ(Read(f).kind, Kind::kImage);
  // Shorter than the version's fields: the chunk overlaps them.
  f.version = 263;
  f.infoLength = fixtures::TextureInfoBytes(260);
  EXPECT_EQ(Read(f).kind, Kind::kImage);
  // A length that points past the chunk's tag.
  auto bytes = fixtures::WriteTextureFile(f);
  bytes[16] = static_cast<std::byte>(fixtures::TextureInfoBytes(260) + 4);
  EXPECT_EQ(ReadContainerTexture(bytes, {}).kind, Kind::kFailed);
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

TEST(TextureContainerBlocks, KindAboveThreeMakesDxt3AndDxt5Opaque) {
  BlockIndices alpha4{};
  alpha4.fill(3);
  const auto b3 = fixtures::Dxt3Block(alpha4, 0xFFFF, 0, {});
  BlockIndices alpha3{};
  alpha3.fill(1);
  const auto b5 = fixtures::Dxt5Block(200, 60, alpha3, 0xFFFF, 0, {});
  for (const auto& [format, payload, fileAlpha] :
       {std::tuple{11, std::vector<std::byte>(b3.begin(), b3.end()), 48},
        std::tuple{12, std::vector<std::byte>(b5.begin(), b5.end()), 60}}) {
    TextureFixture f;
    f.format = format;
    f.alphaMode = 1;
    f.chunks = {payload};
    EXPECT_THAT(Alphas(Read(f, {"t", false, 2}).image), Each(fileAlpha)) << format;
    EXPECT_THAT(Alphas(Read(f, {"t", false, 5}).image), Each(255)) << format;
    EXPECT_THAT(Alphas(Read(f, {"t", true, 5}).image), Each(255)) << format;
    f.alphaMode = 0;
    EXPECT_THAT(Alphas(Read(f, {"t", false, 2}).image), Each(255)) << format;
  }
}

}  // namespace
}  // namespace kelvane
