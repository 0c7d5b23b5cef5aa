#include "mesh/material_textures.h"

#include <gtest/gtest.h>

#include <fstream>

#include "fixtures/mesh_writer.h"
#include "platform/notices.h"
#include "support/memory_files.h"
#include "support/temp_dir.h"
#include "textures/material_texture_loader.h"
#include "textures/texture_loader.h"

namespace kelvane {
namespace {

using fixtures::MaterialRecord;
using fixtures::MeshWriter;
using fixtures::TextureEntry;

// Records what the model asks of the texture loader as "file", then
// "alpha image" for the alpha entry, then the constant alpha or the kind
// passed. A load succeeds for any image file that exists; constant alpha
// makes an RGBA upload.
class RecordingLoader final : public MaterialTextureLoader {
 public:
  bool LoadTexture(const std::filesystem::path& file, std::uint32_t& texture, bool constant,
                   std::int32_t value) override {
    Record(file, "", constant, value);
    if (!std::filesystem::exists(file)) return false;
    if (TextureKindOf(file.string()) == TextureFileKind::kNone) return false;
    texture = ++lastName;
    hasAlpha = constant;
    return true;
  }
  bool LoadAlphaTexture(const std::filesystem::path& file, std::uint32_t&, bool constant,
                        std::int32_t value) override {
    Record(file, " alpha image", constant, value);
    return true;
  }
  bool TextureHasAlpha() const override { return hasAlpha; }
  void ClearTextureHasAlpha() override { hasAlpha = false; }
  void DeleteTextures(std::span<const std::uint32_t> names) override {
    deleted.insert(deleted.end(), names.begin(), names.end());
  }
  void Record(const std::filesystem::path& file, const char* entry, bool constant, int value) {
    calls.push_back(file.filename().string() + entry + (constant ? " alpha " : " kind ") +
                    std::to_string(value));
  }

  std::vector<std::string> calls;
  std::vector<std::uint32_t> deleted;
  std::uint32_t lastName = 0;
  bool hasAlpha = false;
};

class MaterialTexturesTest : public ::testing::Test {
 protected:
  void Touch(const std::string& name, const std::string& content = "image") {
    std::ofstream(dir / name) << content;
  }
  bool Load(const std::vector<MaterialRecord>& materials, bool composing = false) {
    MeshWriter w;
    for (const auto& m : materials)
      w.Material(m, fixtures::Box("b", {0, 0, 0}, {1, 1, 1}));
    fixtures::WriteFile(dir / "mesh.im", w.Finish());
    context.trainCarComposing = composing;
    return model.Load(dir / "mesh.im", context);
  }
  const TMaterial& Material(std::size_t i) { return model.objects.at(i)->material; }

  testing::TempDir dir;
  MeshUnitState unit;
  RecordingNotifier notifier;
  RecordingLoader loader;
  LoadContext context{unit, notifier, false, &loader};
  T3DModel model;
};

MaterialRecord With(const std::string& name, float opacity, std::vector<TextureEntry> textures) {
  MaterialRecord m;
  m.name = name;
  m.opacity = opacity;
  m.textures = std::move(textures);
  return m;
}

TEST_F(MaterialTexturesTest, DirectImagesAndTheirAlpha) {
  Touch("body.tga");
  ASSERT_TRUE(Load({With("paint m.onetex", 1.0f, {{1, "C:\\Trains\\Loco\\BODY.TGA"}}),
                    With("glass", 0.25f, {{1, "body.tga"}}),
                    With("shiny m.tbumpgloss", 0.5f, {{1, "body.tga"}})}));
  // sqrt(0.25) * 255 = 127.5, ties to even; kind 6 is opaque whatever the opacity.
  EXPECT_EQ(loader.calls, (std::vector<std::string>{"body.tga kind 2", "body.tga alpha 128",
                                                    "body.tga alpha 255"}));
  EXPECT_TRUE(Material(0).hasTexture);
  EXPECT_EQ(Material(0).texture, 1u);
  EXPECT_FALSE(Material(0).hasAlpha);
  EXPECT_TRUE(Material(1).hasAlpha) << "copied from the loader at the end of the record";
  EXPECT_TRUE(model.objects[1]->transparent);
  EXPECT_FALSE(unit.LightingOn) << "a textured material turns lighting off";
}

TEST_F(MaterialTexturesTest, FileNamesAreMatchedWithoutRegardToCase) {
  Touch("Body.TGA");
  ASSERT_TRUE(Load({With("paint", 1.0f, {{1, "body.tga"}})}));
  EXPECT_EQ(loader.calls, (std::vector<std::string>{"Body.TGA kind 0"}));
  EXPECT_TRUE(Material(0).hasTexture);

  Touch("body.tga");
  ASSERT_TRUE(Load({With("paint", 1.0f, {{1, "BODY.tga"}})}));
  EXPECT_EQ(loader.calls.back(), "body.tga kind 0") << "an exact match wins";
}

// A description names a colour image and an alpha image; the opacity is
// used as it is, not through its root.
TEST_F(MaterialTexturesTest, DescriptionRules) {
  Touch("glass.texture.txt", "; made by hand\r\nPrimary=Glass.tga\r\nAlpha=glass_a.tga\r\n");
  Touch("same.texture.txt", "primary=same.tga\nalpha=same.tga\n");
  Touch("noalpha.texture.txt", "primary=plain.tga\n");
  Touch("both.texture.txt", "alpha=mask.bmp\nprimary=colour.bmp\nprimary=ignored.bmp\n");
  for (const char* f :
       {"glass.tga", "glass_a.tga", "same.tga", "plain.tga", "mask.bmp", "colour.bmp"})
    Touch(f);
  ASSERT_TRUE(Load({With("glass", 0.25f, {{1, "glass.texture"}}),
                    With("a m.onetex", 1.0f, {{1, "same.texture"}}),
                    With("b m.onetex", 1.0f, {{1, "noalpha.texture"}}),
                    With("c m.onetex", 1.0f, {{1, "both.texture"}})}));
  // 0.25 * 255 = 63.75; the same name for both is only the primary, with
  // the kind; no alpha line is opaque; first keys win.
  EXPECT_EQ(loader.calls,
            (std::vector<std::string>{"glass_a.tga alpha image kind 0", "glass.tga alpha 64",
                                      "same.tga kind 2", "plain.tga kind 255",
                                      "mask.bmp alpha image kind 2", "colour.bmp kind 2"}));
}

bool ReadOnly(const std::filesystem::path& file) {
  return (std::filesystem::status(file).permissions() & std::filesystem::perms::owner_write) ==
         std::filesystem::perms::none;
}

void WriteReadOnly(const std::filesystem::path& file) {
  std::ofstream(file) << "image";
  std::filesystem::permissions(file, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
}

TEST_F(MaterialTexturesTest, NamesReadFromContentStayInTheMeshFolder) {
  testing::TempDir outside;
  const auto secret = outside / "secret.tga";
  WriteReadOnly(secret);
  WriteReadOnly(dir / "notes.doc");
  std::filesystem::create_symlink(secret, dir / "link.tga");
  Touch("colour.tga");
  const std::string up = std::filesystem::relative(secret, dir.path()).string();  // "../x/..."
  Touch("d.texture.txt", "alpha=" + up + "\nprimary=C:\\Content\\Colour.tga\n");
  ASSERT_TRUE(Load({With("a", 1.0f, {{1, secret.string()}}), With("b", 1.0f, {{1, up}}),
                    With("c", 1.0f, {{1, "link.tga"}}), With("d", 1.0f, {{1, "d.texture"}}),
                    With("e", 1.0f, {{1, "notes.doc"}})}));
  EXPECT_EQ(Material(0).primaryTextureName, "secret.tga");
  EXPECT_EQ(Material(1).primaryTextureName, "secret.tga");
  // Only the description's bare primary name and the document are tried.
  EXPECT_EQ(loader.calls, (std::vector<std::string>{"colour.tga kind 0", "notes.doc kind 0"}));
  EXPECT_TRUE(Material(3).hasTexture);
  EXPECT_FALSE(Material(4).hasTexture);
  EXPECT_TRUE(ReadOnly(secret));
  EXPECT_TRUE(ReadOnly(dir / "notes.doc")) << "a file that is no image keeps its bit";
}

TEST_F(MaterialTexturesTest, BumpAndReflectionAreReusedPrimariesAreNot) {
  Touch("body.tga");
  Touch("bump.tga");
  Touch("env.tga");
  const std::vector<TextureEntry> entries{{1, "body.tga"}, {8, "bump.tga"}, {9, "env.tga", 0.5f}};
  // Different names: two materials of one name would share the first's values.
  const auto a = With("a m.tbumpenv", 1.0f, entries);
  const auto b = With("b m.tbumpenv", 1.0f, entries);
  ASSERT_TRUE(Load({a, b}));
  EXPECT_EQ(loader.calls, (std::vector<std::string>{"body.tga kind 7", "bump.tga alpha 255",
                                                    "env.tga kind 7", "body.tga kind 7"}));
  EXPECT_EQ(Material(1).bumpTexture, Material(0).bumpTexture);
  EXPECT_EQ(Material(1).reflectionTexture, Material(0).reflectionTexture);
  EXPECT_NE(Material(1).texture, Material(0).texture);
  EXPECT_FLOAT_EQ(Material(1).reflectionAmount, 0.5f);

  // While a traincar is composed, a reused bump map is not applied.
  ASSERT_TRUE(Load({a, b}, true));
  EXPECT_TRUE(Material(0).hasBump);
  EXPECT_FALSE(Material(1).hasBump);
}

}  // namespace
}  // namespace kelvane
