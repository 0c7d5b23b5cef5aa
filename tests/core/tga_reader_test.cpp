#include "textures/tga_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fixtures/texture_writer.h"
#include "platform/notices.h"
#include "texture_test_support.h"

namespace kelvane {
namespace {

using fixtures::Picture;
using fixtures::Rgb8;
using fixtures::Rgba8;
using fixtures::TgaFixture;
using kelvane::testing::TexelOf;
using ::testing::ElementsAre;
using Kind = ReadResult::Kind;

class TgaReaderTest : public ::testing::Test {
 protected:
  ReadResult Read(const TgaFixture& f, TextureRequest request = {"dir/t.tga", false, 2}) {
    return ReadTgaTexture(fixtures::WriteTga(f), request, state, notifier);
  }
  // The one message shown, or "" when there was none or more.
  std::string Message() const {
    return notifier.notices.size() == 1 ? notifier.notices[0].text : std::string();
  }

  TextureLoaderState state;
  RecordingNotifier notifier;
};

const std::string kTypeText =
    "Couldn't load \"dir/t.tga\". Only 256 colour, 24 bit and 32bit TGA supported.";
const std::string kMapText = "Couldn't load \"dir/t.tga\". Colormapped TGA files not supported.";
const std::string kDepthText =
    "Couldn't load \"dir/t.tga\". Only 24 and 32 bit TGA files supported.";
const std::string kShortText = "Couldn't read file \"dir/t.tga\".";

TEST_F(TgaReaderTest, TrueColourRowsEndBottomUpInEitherStorageOrder) {
  // Stored B, G, R = (1, 2, 3) then (4, 5, 6).
  TgaFixture f;
  f.width = 1;
  f.height = 2;
  f.texels = {std::byte{1}, std::byte{2}, std::byte{3}, std::byte{4}, std::byte{5}, std::byte{6}};
  auto r = Read(f);
  ASSERT_EQ(r.kind, Kind::kImage);
  EXPECT_THAT(r.image.pixels, ElementsAre(3, 2, 1, 6, 5, 4));
  f.descriptor = 0x20;
  r = Read(f);
  EXPECT_THAT(r.image.pixels, ElementsAre(6, 5, 4, 3, 2, 1));

  // Odd heights keep the middle row.
  const Picture<Rgba8> p{2, 3, {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}, {6, 0, 0}}};
  for (bool topDown : {false, true}) {
    r = Read(fixtures::TgaTrueColour(p, 24, topDown));
    EXPECT_THAT(r.image.pixels, ElementsAre(5, 0, 0, 6, 0, 0, 3, 0, 0, 4, 0, 0, 1, 0, 0, 2, 0, 0));
  }
  EXPECT_TRUE(notifier.notices.empty());
}

TEST(TgaRows, EveryConverterSwapsEveryTexelOfRowsOfAnyWidth) {
  // Widths around the 4, 8 and 16 texel steps of the converters; the
  // bytes past the row must stay untouched.
  std::vector<std::byte> src(40 * 4);
  for (std::size_t i = 0; i < src.size(); ++i)
    src[i] = static_cast<std::byte>(i * 7 + 1);
  for (const TgaRowConverter& rows : TgaRowConverters()) {
    for (std::size_t bytes : {3u, 4u}) {
      for (std::size_t w = 1; w <= 40; ++w) {
        std::vector<std::uint8_t> dst(w * bytes + 16, 0xEE);
        (bytes == 3 ? rows.bgr : rows.bgra)(src.data(), dst.data(), w);
        for (std::size_t i = 0; i < w * bytes; ++i) {
          const std::size_t c = i % bytes;
          const std::size_t from = c == 0 ? i + 2 : c == 2 ? i - 2 : i;
          ASSERT_EQ(dst[i], static_cast<std::uint8_t>(src[from]))
              << rows.instructionSet << ", " << bytes << " bytes, " << w << " wide, byte " << i;
        }
        for (std::size_t i = w * bytes; i < dst.size(); ++i)
          ASSERT_EQ(dst[i], 0xEE) << rows.instructionSet << ", " << w << " wide, past the row";
      }
    }
  }
}

TEST_F(TgaReaderTest, SixteenBitTexelsKeepFiveBitsPerChannel) {
  const auto r = Read(fixtures::Tga16(4, 1, {0x7FFF, 0x8000, 0x7C00, 0x03E1}, false));
  ASSERT_EQ(r.kind, Kind::kImage);
  EXPECT_THAT(TexelOf(r.image, 0, 0), ElementsAre(248, 248, 248));
  EXPECT_THAT(TexelOf(r.image, 1, 0), ElementsAre(0, 0, 0));
  EXPECT_THAT(TexelOf(r.image, 2, 0), ElementsAre(248, 0, 0));
  EXPECT_THAT(TexelOf(r.image, 3, 0), ElementsAre(0, 248, 8));
}

TEST_F(TgaReaderTest, ThirtyTwoBitAlphaFollowsKindAndConstant) {
  const Picture<Rgba8> p{1, 1, {{10, 20, 30, 77}}};
  const auto f = fixtures::TgaTrueColour(p, 32, false);
  EXPECT_THAT(Read(f, {"t.tga", false, 2}).image.pixels, ElementsAre(10, 20, 30, 77));
  EXPECT_THAT(Read(f, {"t.tga", false, 5}).image.pixels, ElementsAre(10, 20, 30, 255));
  EXPECT_THAT(Read(f, {"t.tga", true, 128}).image.pixels, ElementsAre(10, 20, 30, 128));
}

TEST_F(TgaReaderTest, ColourMappedTexelsTakeTheirEntry) {
  std::vector<Rgb8> map;
  for (int i = 0; i < 256; ++i) {
    map.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7});
  }
  auto f = fixtures::TgaColourMapped(2, 2, map, {0, 255, 128, 1}, true);
  f.id = std::vector<std::byte>(5, std::byte{0xEE});
  auto r = Read(f);
  ASSERT_EQ(r.kind, Kind::kImage);
  EXPECT_THAT(TexelOf(r.image, 0, 1), ElementsAre(0, 255, 7));
  EXPECT_THAT(TexelOf(r.image, 1, 1), ElementsAre(255, 0, 7));
  EXPECT_THAT(TexelOf(r.image, 0, 0), ElementsAre(128, 127, 7));

  // Entries are numbered from the first-entry index.
  f = fixtures::TgaColourMapped(2, 1, {{1, 2, 3}, {4, 5, 6}}, {10, 11}, false);
  f.firstEntry = 10;
  r = Read(f);
  EXPECT_THAT(r.image.pixels, ElementsAre(1, 2, 3, 4, 5, 6));
}

TEST_F(TgaReaderTest, IndicesOutsideTheColourMapAreRefused) {
  auto f = fixtures::TgaColourMapped(2, 1, {{1, 2, 3}, {4, 5, 6}}, {1, 2}, false);
  EXPECT_EQ(Read(f).kind, Kind::kFailed);
  EXPECT_EQ(Message(), kShortText);
  notifier.notices.clear();
  f = fixtures::TgaColourMapped(1, 1, {{1, 2, 3}}, {4}, false);
  f.firstEntry = 5;
  EXPECT_EQ(Read(f).kind, Kind::kFailed);
}

TEST_F(TgaReaderTest, ColourMapsTheBufferCannotHoldAreRefused) {
  std::vector<Rgb8> big(257);
  EXPECT_EQ(Read(fixtures::TgaColourMapped(1, 1, big, {0}, false)).kind, Kind::kFailed);
  EXPECT_EQ(Message(), kMapText);
  notifier.notices.clear();

  auto f = fixtures::TgaColourMapped(1, 1, {{1, 2, 3}}, {0}, false);
  f.entryBits = 32;
  f.colourMap.push_back(std::byte{0});
  EXPECT_EQ(Read(f).kind, Kind::kFailed);
  EXPECT_EQ(Message(), kMapText);
}

TEST_F(TgaReaderTest, ColourMapInTrueColourFileIsSkipped) {
  auto f = fixtures::TgaTrueColour({1, 1, {{9, 8, 7}}}, 24, false);
  f.colourMapType = 1;
  f.colourMapLength = 3;
  f.entryBits = 15;  // 2 bytes an entry
  f.colourMap = std::vector<std::byte>(6, std::byte{0x77});
  const auto r = Read(f);
  ASSERT_EQ(r.kind, Kind::kImage);
  EXPECT_THAT(r.image.pixels, ElementsAre(9, 8, 7));
}

TEST_F(TgaReaderTest, HeaderTestsRunInOrderWithTheirMessages) {
  TgaFixture f = fixtures::TgaTrueColour({1, 1, {{1, 1, 1}}}, 24, false);
  f.imageType = 10;  // run-length encoded
  f.colourMapType = 5;
  EXPECT_EQ(Read(f).kind, Kind::kFailed);
  EXPECT_EQ(Message(), kTypeText);
  EXPECT_EQ(notifier.notices[0].caption, "TGA File Error");

  notifier.notices.clear();
  f.imageType = 2;
  f.depth = 15;
  EXPECT_EQ(Read(f).kind, Kind::kFailed);
  EXPECT_EQ(Message(), kMapText);

  notifier.notices.clear();
  f.colourMapType = 0;
  EXPECT_EQ(Read(f).kind, Kind::kFailed);
  EXPECT_EQ(Message(), kDepthText);
}

TEST_F(TgaReaderTest, TypeAndDepthMismatchesAreRefused) {
  auto mapped16 = fixtures::TgaColourMapped(1, 1, {{1, 2, 3}}, {0}, false);
  mapped16.depth = 16;
  mapped16.texels.push_back(std::byte{0});
  EXPECT_EQ(Read(mapped16).kind, Kind::kFailed);
  TgaFixture trueColour8;
  trueColour8.width = 1;
  trueColour8.height = 1;
  trueColour8.depth = 8;
  trueColour8.texels = {std::byte{0}};
  EXPECT_EQ(Read(trueColour8).kind, Kind::kFailed);
  auto unmapped = mapped16;
  unmapped.depth = 8;
  unmapped.colourMapType = 0;
  unmapped.colourMap.clear();
  EXPECT_EQ(Read(unmapped).kind, Kind::kFailed);
  EXPECT_EQ(notifier.notices.size(), 3u);
}

TEST_F(TgaReaderTest, EveryTruncationIsRefusedWithAMessage) {
  auto f = fixtures::TgaColourMapped(3, 2, {{1, 2, 3}, {4, 5, 6}}, {0, 1, 0, 1, 0, 1}, false);
  f.id = {std::byte{1}, std::byte{2}};
  const auto whole = fixtures::WriteTga(f);
  ASSERT_EQ(ReadTgaTexture(whole, {"dir/t.tga"}, state, notifier).kind, Kind::kImage);
  for (std::size_t n = 0; n < whole.size(); ++n) {
    notifier.notices.clear();
    const std::vector<std::byte> prefix(whole.begin(), whole.begin() + static_cast<long>(n));
    ASSERT_EQ(ReadTgaTexture(prefix, {"dir/t.tga"}, state, notifier).kind, Kind::kFailed) << n;
    EXPECT_EQ(Message(), kShortText) << n;
  }
}

TEST_F(TgaReaderTest, MissingFileIsReported) {
  EXPECT_EQ(ReadTgaTextureFile({"/nonexistent/x.tga"}, state, notifier).kind, Kind::kFailed);
  EXPECT_EQ(Message(), "File not found  - /nonexistent/x.tga");
  EXPECT_EQ(notifier.notices[0].caption, "TGA Texture");
}

}  // namespace
}  // namespace kelvane
