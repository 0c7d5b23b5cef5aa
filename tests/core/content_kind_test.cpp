// What a path holds, by its name and else by its first bytes, so that a
// renamed mesh or image still opens as what it is.

#include "platform/content_kind.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/asset_writer.h"
#include "fixtures/byte_writer.h"
#include "fixtures/sample_assets.h"
#include "fixtures/texture_writer.h"
#include "support/temp_dir.h"

namespace kelvane {
namespace {

using namespace fixtures;

std::vector<std::byte> SampleTexture(const std::string& name) {
  for (const auto& t : SampleWagonTextures()) {
    if (t.name == name) return t.bytes;
  }
  ADD_FAILURE() << "no sample texture " << name;
  return {};
}

TEST(ContentKindTest, ByNameThenByFirstBytes) {
  testing::TempDir dir;
  std::filesystem::create_directories(dir / "loco");
  Picture<Rgba8> tiny{2, 2, std::vector<Rgba8>(4)};
  std::vector<std::byte> tga = WriteTga(TgaTrueColour(tiny, 32, false));
  std::vector<std::byte> shortTga = tga;
  shortTga.resize(20);  // the header promises more texels than there are
  std::vector<std::byte> odd = tga;
  odd[2] = std::byte{7};  // no TGA image type
  struct Row {
    std::string name;
    std::vector<std::byte> bytes;
    ContentType type;
  };
  const std::vector<Row> rows = {
      {"wagon.bin", SampleWagonMesh(), {ContentKind::kMesh}},
      {"packed",
       std::vector<std::byte>{std::byte{'C'}, std::byte{'F'}, std::byte{'I'}, std::byte{'L'},
                              std::byte{0}},
       {ContentKind::kMesh}},
      {"roof.bin", SampleTexture("roof.texture"), {ContentKind::kTexture, ImageFormat::kContainer}},
      {"body.dat", SampleTexture("wagon_body.tga"), {ContentKind::kTexture, ImageFormat::kTga}},
      {"buffers", SampleTexture("buffers.bmp"), {ContentKind::kTexture, ImageFormat::kBmp}},
      {"frame.img", SampleTexture("frame.jpg"), {ContentKind::kTexture, ImageFormat::kJpeg}},
      {"tiny", tga, {ContentKind::kTexture, ImageFormat::kTga}},
      {"short", shortTga, {}},
      {"odd", odd, {}},
      {"notes.txt", std::vector<std::byte>(40, std::byte{'a'}), {}},
      // Names win over bytes, in any case.
      {"Mesh.PM", {}, {ContentKind::kMesh}},
      {"photo.JPEG", {}, {ContentKind::kTexture, ImageFormat::kJpeg}},
      {"plain.Tga", {}, {ContentKind::kTexture, ImageFormat::kTga}},
      {"loco/CONFIG.TXT", {}, {ContentKind::kTraincar}},
  };
  for (const Row& r : rows) {
    WriteFile(dir / r.name, r.bytes);
    const ContentType got = ContentTypeOf(dir / r.name);
    EXPECT_EQ(got.kind, r.type.kind) << r.name;
    EXPECT_EQ(got.image, r.type.image) << r.name;
  }
  EXPECT_EQ(ContentKindOf(dir / "loco"), ContentKind::kTraincar);
  EXPECT_EQ(ContentKindOf(dir / "missing"), ContentKind::kNothing);
}

}  // namespace
}  // namespace kelvane
