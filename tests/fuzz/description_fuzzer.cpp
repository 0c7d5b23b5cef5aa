// Texture description files and the material resolution around them. The
// first byte picks a material (kind marker, opacity, which entries); the
// rest is the description file that every entry of that material is found
// through. The folder and the texture loader are held in memory.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fixtures/mesh_writer.h"
#include "fuzz/fuzz_checks.h"
#include "mesh/material_textures.h"
#include "mesh/model.h"
#include "support/memory_files.h"
#include "textures/material_texture_loader.h"

namespace {

using kelvane::fuzz::Require;

// Accepts every file the folder holds and remembers what it was asked.
class Loader final : public kelvane::MaterialTextureLoader {
 public:
  explicit Loader(const kelvane::testing::MemoryContentFiles& files) : files_(files) {}

  bool LoadTexture(const std::filesystem::path& file, std::uint32_t& texture, bool constant,
                   std::int32_t value) override {
    Check(file, constant, value);
    texture = ++lastName_;
    hasAlpha_ = constant;
    return true;
  }
  bool LoadAlphaTexture(const std::filesystem::path& file, std::uint32_t&, bool constant,
                        std::int32_t value) override {
    Check(file, constant, value);
    ++alphaLoads;
    return true;
  }
  bool TextureHasAlpha() const override { return hasAlpha_; }
  void ClearTextureHasAlpha() override { hasAlpha_ = false; }
  void DeleteTextures(std::span<const std::uint32_t>) override {}

  int alphaLoads = 0;

 private:
  // Only files the lookup found in the folder itself are loaded, and a
  // constant alpha is a byte.
  void Check(const std::filesystem::path& file, bool constant, std::int32_t value) const {
    Require(files_.Holds(file) && !file.has_parent_path());
    Require(!constant || (value >= 0 && value <= 255));
  }

  const kelvane::testing::MemoryContentFiles& files_;
  std::uint32_t lastName_ = 0;
  bool hasAlpha_ = false;
};

constexpr std::array<const char*, 8> kNames{"plain",        "body m.onetex", "m.gloss",
                                            "m.tbumpgloss", "m.tbumpenv",    "x m.gloss m.onetex",
                                            "m.reflect",    "m.bumpenv"};
constexpr std::array<float, 4> kOpacities{1.0f, 0.5f, 0.25f, 0.0f};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t options = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  const kelvane::TextureDescription d = kelvane::ParseTextureDescription(text);
  for (const std::string* value : {&d.primary, &d.alpha}) {
    Require(value->find_first_of("\r\n") == std::string::npos);
    for (char c : *value)
      Require(c < 'A' || c > 'Z');
  }

  kelvane::testing::MemoryContentFiles files;
  files.Add("body.tga.txt", std::string(text));
  for (const char* name : {"colour.tga", "Alpha.BMP", "sub/inner.jpg", "shine.texture"})
    files.Add(name, "image");

  kelvane::fixtures::MaterialRecord material{.name = kNames[options & 7u],
                                             .opacity = kOpacities[(options >> 3) & 3u]};
  material.textures.push_back({1, "BODY.TGA", 0});
  if (options & 0x20u) material.textures.push_back({8, "body.tga", 0});
  if (options & 0x40u) material.textures.push_back({9, "C:\\content\\Body.tga", 0.5f});
  kelvane::fixtures::MeshWriter writer;
  writer.Material(material, kelvane::fixtures::Box("box", {0, 0, 0}, {1, 1, 1}));
  const std::vector<std::byte> mesh = writer.Finish();

  kelvane::MeshUnitState unit;
  kelvane::RecordingNotifier notifier;
  Loader loader(files);
  kelvane::LoadContext context{unit, notifier, false, &loader, {}, &files};
  kelvane::T3DModel model;
  Require(model.LoadFromMemory(mesh, "fuzz.im", context));
  Require(model.ObjectCount() == 1 && notifier.notices.empty());

  // The primary entry has a texture exactly when the description's primary
  // file is in the folder.
  const kelvane::TMaterial& held = model.objects[0]->material;
  Require(held.hasTexture == files.Find({}, d.primary).has_value());
  Require(!held.hasTexture || held.texture != 0);
  // A description naming one file twice loads it only as the primary image.
  if (d.alpha == d.primary) Require(loader.alphaLoads == 0);
  return 0;
}
