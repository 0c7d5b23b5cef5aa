#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "mesh/model.h"

namespace kelvane {

class ContentFiles;

constexpr std::int32_t kTexturePrimary = 1;
constexpr std::int32_t kTextureBump = 8;
constexpr std::int32_t kTextureReflection = 9;

// Turns the texture entries of the material being read into textures:
// finds each image beside the mesh, directly or through a description file,
// reuses what earlier objects loaded, and passes the alpha the material's
// kind and opacity ask for.
class MaterialTextures {
 public:
  MaterialTextures(const T3DModel& model, LoadContext& context)
      : model_(model), context_(context) {}

  // At the material name: the kind comes from it.
  void BeginMaterial(const std::string& lowerCaseName);
  // One texture entry of a known type; the material's opacity is read.
  void Entry(TMaterial& material, std::int32_t type, const std::string& fileName);
  void EndMaterial(TMaterial& material);

  int kind() const { return kind_; }

 private:
  bool LoadDirect(TMaterial& material, std::int32_t type, const std::filesystem::path& file);
  void LoadDescribed(TMaterial& material, std::int32_t type, const std::filesystem::path& file);
  void Apply(TMaterial& material, std::int32_t type, bool loaded, std::uint32_t name);
  const ContentFiles& Files() const;

  const T3DModel& model_;
  LoadContext& context_;
  int kind_ = 0;
};

// Nearest integer, ties to even.
std::int32_t RoundHalfEven(double value);

// The first "primary=" and "alpha=" values of a description file, lower
// case and untrimmed, without their folder part; empty when the key is
// missing.
struct TextureDescription {
  std::string primary;
  std::string alpha;
};
TextureDescription ParseTextureDescription(std::string_view text);
TextureDescription ReadTextureDescription(const std::filesystem::path& file);

}  // namespace kelvane
