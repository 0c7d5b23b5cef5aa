#include "mesh/model.h"

#include "mesh/material_textures.h"
#include "textures/material_texture_loader.h"

#include <cmath>
#include <numbers>

namespace kelvane {

void TMaterial::Assign(const TMaterial& source) {
  name = source.name;
  twoSided = source.twoSided;
  ambient.colour = source.ambient.colour;
  diffuse.colour = source.diffuse.colour;
  specular.colour = source.specular.colour;
  shininess = source.shininess;
  hasTexture = source.hasTexture;
  texture = source.texture;
  hasAlpha = source.hasAlpha;
  hasBump = source.hasBump;
  hasReflection = source.hasReflection;
  bumpTexture = source.bumpTexture;
  reflectionTexture = source.reflectionTexture;
  reflectionAmount = source.reflectionAmount;
  primaryTextureName = source.primaryTextureName;
  bumpTextureName = source.bumpTextureName;
  reflectionTextureName = source.reflectionTextureName;
}

void T3DModel::Clear() {
  if (textures_) {
    for (const auto& object : objects) {
      const TMaterial& m = object->material;
      const std::uint32_t names[] = {m.texture, m.reflectionTexture, m.bumpTexture};
      for (std::uint32_t name : names) {
        if (name != 0) textures_->DeleteTextures({&name, 1});
      }
    }
  }
  objects.clear();
  materials.clear();
  bones.clear();
}

std::uint32_t T3DModel::FindTexture(const std::string& name, std::int32_t type,
                                    float opacity) const {
  for (const auto& object : objects) {
    const TMaterial& m = object->material;
    if (type == kTexturePrimary && m.primaryTextureName == name && m.opacity == opacity) {
      return m.texture;
    }
    if (type == kTextureBump && m.bumpTextureName == name) return m.bumpTexture;
    if (type == kTextureReflection && m.reflectionTextureName == name) return m.reflectionTexture;
  }
  return 0;
}

void T3DModel::ListTextureNames(std::vector<std::string>& list) const {
  for (const auto& object : objects)
    list.push_back(object->material.primaryTextureName);
}

std::int64_t T3DModel::FaceCount() const {
  std::int64_t total = 0;
  for (const auto& object : objects)
    total += object->faceCount;
  return total;
}

T3DModel& T3DScene::AddModel() {
  models_.push_back(std::make_unique<T3DModel>());
  return *models_.back();
}

TVector3 MatrixToAngles(const std::array<float, 9>& m) {
  constexpr double kDegrees = 180.0 / std::numbers::pi;
  // A matrix written with rounding may carry |m2| a hair above 1; arcsin of
  // that would be undefined, so it is held to the valid range.
  const float m2 = std::fmax(-1.0f, std::fmin(1.0f, m[2]));
  const float b = std::asin(m2);
  const float c = std::cos(b);
  float angles[3];
  angles[1] = static_cast<float>(b * kDegrees);
  if (std::fabs(c) <= 0.005f) {
    angles[0] = 0.0f;
    angles[2] = static_cast<float>(std::atan2(static_cast<double>(m[3]), m[4]) * kDegrees);
  } else {
    angles[0] = static_cast<float>(std::atan2(-static_cast<double>(m[5]), m[8]) * kDegrees);
    angles[2] = static_cast<float>(std::atan2(-static_cast<double>(m[1]), m[0]) * kDegrees);
  }
  for (float& a : angles) {
    if (a < -180.0f) a += 360.0f;
    if (a > 180.0f) a -= 360.0f;
  }
  return {angles[0], angles[1], angles[2]};
}

int MaterialKind(const std::string& lowerCaseName) {
  static constexpr const char* kMarkers[] = {"m.notex",    "m.onetex",     "m.reflect", "m.gloss",
                                             "m.tbumptex", "m.tbumpgloss", "m.tbumpenv"};
  int kind = 0;
  for (int i = 0; i < 7; ++i) {
    if (lowerCaseName.find(kMarkers[i]) != std::string::npos) kind = i + 1;
  }
  return kind;
}

}  // namespace kelvane
