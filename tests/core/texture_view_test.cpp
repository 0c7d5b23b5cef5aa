// A texture opened on its own: its picture and the facts the status line
// gives (format, size, where the alpha comes from).

#include "view/texture_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/asset_writer.h"
#include "fixtures/byte_writer.h"
#include "fixtures/sample_assets.h"
#include "fixtures/texture_writer.h"
#include "platform/notices.h"
#include "support/temp_dir.h"

namespace kelvane {
namespace {

using namespace fixtures;

class TextureViewTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteSampleAssets(dir.path()); }
  testing::TempDir dir;
  RecordingNotifier notifier;
};

TEST_F(TextureViewTest, FactsOfEachKind) {
  // A black and white mask for the body, named by its description file.
  Picture<Rgb8> mask{16, 16, std::vector<Rgb8>(16 * 16)};
  for (int i = 0; i < 16 * 16; ++i)
    mask.texels[static_cast<std::size_t>(i)] = i % 16 < 8 ? Rgb8{0, 0, 0} : Rgb8{255, 255, 255};
  WriteFile(dir / "wagon" / "mask.bmp", WriteBmp(Bmp24(mask, false)));
  std::filesystem::copy_file(dir / "wagon" / "buffers.bmp", dir / "wagon" / "masked.bmp");
  WriteTextFile(dir / "wagon" / "masked.bmp.txt", "primary=masked.bmp\nalpha=MASK.bmp\n");
  std::filesystem::copy_file(dir / "wagon" / "roof.texture", dir / "wagon" / "roof.bin");
  Picture<Rgba8> halves{4, 2, std::vector<Rgba8>(8, Rgba8{200, 30, 30, 255})};
  halves.texels[0].a = halves.texels[4].a = 0;
  WriteFile(dir / "wagon" / "see-through.tga", WriteTga(TgaTrueColour(halves, 32, false)));
  struct Row {
    std::string file;
    std::string status;
  };
  const Row rows[] = {
      {"roof.texture", "roof.texture: texture container, 64 x 64, none"},
      {"roof.bin", "roof.bin: texture container, 64 x 64, none"},
      {"wagon_body.tga", "wagon_body.tga: TGA, 64 x 64, none"},
      {"frame.jpg", "frame.jpg: JPEG, 32 x 32, none"},
      {"masked.bmp", "masked.bmp: BMP, 16 x 16, alpha from mask.bmp"},
      {"see-through.tga", "see-through.tga: TGA, 4 x 2, alpha channel"},
  };
  for (const Row& r : rows) {
    const auto view = OpenTextureView(dir / "wagon" / r.file, notifier);
    ASSERT_TRUE(view) << r.file;
    EXPECT_EQ(TextureStatusText(view->facts), r.status);
    EXPECT_EQ(view->picture.width, view->facts.width) << r.file;
  }
  // The mask's left half is transparent, its right half opaque.
  const auto masked = OpenTextureView(dir / "wagon" / "masked.bmp", notifier);
  ASSERT_TRUE(masked);
  EXPECT_EQ(masked->picture.Texel(2, 10)[3], 0);
  EXPECT_EQ(masked->picture.Texel(12, 10)[3], 255);
  EXPECT_TRUE(notifier.notices.empty());
}

TEST_F(TextureViewTest, RefusedFilesOpenNothing) {
  WriteTextFile(dir / "notes.txt", "not a picture");
  const std::string whole = testing::ReadText(dir / "wagon" / "roof.texture");
  WriteTextFile(dir / "cut.texture", whole.substr(0, 30));
  for (const char* name : {"notes.txt", "cut.texture", "missing.tga"})
    EXPECT_FALSE(OpenTextureView(dir / name, notifier)) << name;
  EXPECT_FALSE(OpenTextureView(dir / "wagon" / "wagon.im", notifier));
}

}  // namespace
}  // namespace kelvane
