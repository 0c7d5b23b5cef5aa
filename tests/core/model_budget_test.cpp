#include "mesh/model_budget.h"

#include <gtest/gtest.h>

#include <memory>

namespace kelvane {
namespace {

std::unique_ptr<T3DObject> Object(const std::string& material, int faces, int vertices) {
  auto o = std::make_unique<T3DObject>();
  o->material.name = material;
  o->faces.resize(static_cast<std::size_t>(faces));
  o->vertices.resize(static_cast<std::size_t>(vertices));
  return o;
}

TEST(ModelBudget, CountsTheModelAndTheTexturesItsMaterialsHold) {
  T3DModel model;
  model.objects.push_back(Object("body", 100, 60));
  model.objects.back()->material.hasTexture = true;
  model.objects.back()->material.texture = 3;
  model.objects.back()->material.hasBump = true;
  model.objects.back()->material.bumpTexture = 4;
  model.objects.push_back(Object("body", 20, 12));  // same material, same texture
  model.objects.back()->material.hasTexture = true;
  model.objects.back()->material.texture = 3;
  model.objects.push_back(Object("glass.m.reflect", 8, 8));
  model.objects.back()->material.hasReflection = true;
  model.objects.back()->material.reflectionTexture = 9;
  model.objects.push_back(Object("empty", 0, 0));  // drawn by nobody

  std::vector<TextureRecord> records(3);
  records[0].uploadBytes = UploadBytes(256, 256, true);  // mipmaps
  records[0].names = {3, 7};                             // 7 belongs to another model of the car
  records[1].uploadBytes = UploadBytes(64, 64, false);
  records[1].names = {4};
  records[2].uploadBytes = 1000;
  records[2].names = {9};

  const AssetBudget b = ModelBudget(model, records);
  EXPECT_EQ(b.triangles, 128);
  EXPECT_EQ(b.vertices, 80);
  EXPECT_EQ(b.objects, 4);
  EXPECT_EQ(b.materials, 3);
  // Body: base and bump; second body: base; glass: base and reflection.
  EXPECT_EQ(b.drawBatches, 5);
  EXPECT_EQ(b.textureBytes, 349524u + 64u * 64u * 3u + 1000u);

  // Texture 3 was also uploaded for another model: the car pays twice.
  EXPECT_EQ(UploadedBytes(records), 2u * 349524u + 64u * 64u * 3u + 1000u);

  AssetBudget total = b;
  total += b;
  EXPECT_EQ(total.triangles, 256);
  EXPECT_EQ(total.textureBytes, 2 * b.textureBytes);
}

TEST(ModelBudget, OverTheLimitsSaysWhichWithItsFigures) {
  AssetBudget b;
  b.triangles = 12000;
  b.textureBytes = 3 * 1024 * 1024;
  struct Case {
    BudgetLimits limits;
    std::string why;
  };
  const Case cases[] = {
      {{0, 0}, ""},
      {{12000, 0}, ""},
      {{11999, 0}, "12000 triangles over the limit of 11999"},
      {{0, 3 * 1024 * 1024}, ""},
      {{0, 2 * 1024 * 1024}, "textures of 3.00 MB (3145728 bytes) over the limit of 2.00 MB"},
      {{10000, 1024 * 1024},
       "12000 triangles over the limit of 10000; textures of 3.00 MB (3145728 bytes) over the "
       "limit of 1.00 MB"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OverBudget(b, c.limits), c.why)
        << c.limits.maxTriangles << " triangles, " << c.limits.maxTextureBytes << " bytes";
  }
}

}  // namespace
}  // namespace kelvane
