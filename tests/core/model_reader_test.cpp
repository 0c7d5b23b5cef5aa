// The model reader on well-formed files and on the damage the malformed
// catalogue does not reach: what is kept, what is marked, what comes next.

#include <gtest/gtest.h>

#include <cmath>

#include "fixtures/mesh_writer.h"
#include "mesh/model.h"
#include "platform/notices.h"

namespace kelvane {
namespace {

using fixtures::Bone;
using fixtures::Geometry;
using fixtures::Influence;
using fixtures::MaterialRecord;
using fixtures::MeshWriter;
using fixtures::Vertex;

Geometry OneTriangle(const std::string& name = "", Vertex first = {1, 2, 3, 0.25f, 0.25f}) {
  Geometry g;
  g.name = name;
  g.vertices = {first, {0, 0, 0, 0, 0}, {0, 1, 0, 0, 1}};
  g.faces = {{0, 1, 2}};
  g.normals = {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}};
  return g;
}

MaterialRecord Plain(const std::string& name) {
  return {.name = name};
}

class ModelReaderTest : public ::testing::Test {
 protected:
  bool Load(const std::vector<std::byte>& bytes) {
    notifier.notices.clear();
    return model.LoadFromMemory(bytes, "test.im", context);
  }
  const T3DObject& Object(std::size_t i) { return *model.objects.at(i); }

  MeshUnitState unit;
  RecordingNotifier notifier;
  LoadContext context{unit, notifier};
  T3DModel model;
};

void ExpectVec(const TVector3& v, float x, float y, float z) {
  EXPECT_FLOAT_EQ(v.x, x);
  EXPECT_FLOAT_EQ(v.y, y);
  EXPECT_FLOAT_EQ(v.z, z);
}

TEST_F(ModelReaderTest, EveryGeomHeaderLayoutReadsTheSameGeometry) {
  for (const auto& [version, extraFlag] :
       {std::pair{100, 0}, std::pair{101, 0}, std::pair{102, 0}, std::pair{200, 0},
        std::pair{201, 0}, std::pair{201, 1}}) {
    SCOPED_TRACE(version + extraFlag);
    Geometry g = OneTriangle("named");
    g.version = version;
    g.extraVectorsFlag = extraFlag;
    MeshWriter w;
    w.Material(Plain("first"), g);
    w.Material(Plain("second"), OneTriangle("after", {9, 9, 9, 0, 0}));
    ASSERT_TRUE(Load(w.Finish()));
    ASSERT_EQ(model.ObjectCount(), 2u) << "the next chunk must start where the GEOM fields end";
    EXPECT_EQ(Object(0).name, version >= 200 ? "named" : "");
    ExpectVec(Object(0).vertices[0], 1, 3, -2);
    ExpectVec(Object(0).normals[2], 1, 0, 0);
    ExpectVec(Object(1).vertices[0], 9, 9, -9);
    EXPECT_EQ(Object(1).material.name, "second");
    EXPECT_TRUE(notifier.notices.empty());
  }
}

// INFO is sized by its version, not its length; CHNK fields are followed by
// the next chunk header; skipped chunks go by their length; an unknown tag
// ends the walk and keeps what was read.
TEST_F(ModelReaderTest, TheWalkOverTheChunks) {
  const std::vector<std::byte> junk(37, std::byte{0xAB});
  for (std::uint32_t version : {101u, 102u, 103u, 104u, 200u}) {
    MeshWriter w;
    w.Info(version);
    w.out().PatchU32(12 + 4, 1000);  // a length field that lies
    w.BeginChnk(7, 1);
    w.Material(Plain("inside"), OneTriangle());
    w.EndChnk();
    w.Raw("PMIN", junk);
    w.Raw("NINF", junk);
    w.Raw("BONE", junk);
    w.Material(Plain("kept"), OneTriangle());
    w.Raw("ZZZZ", std::vector<std::byte>(4));
    w.Material(Plain("lost"), OneTriangle());
    EXPECT_TRUE(Load(w.Finish())) << version;
    ASSERT_EQ(model.ObjectCount(), 2u) << version;
    EXPECT_EQ(Object(0).material.name, "inside");
    EXPECT_EQ(Object(1).material.name, "kept");
    EXPECT_TRUE(notifier.notices.empty());
  }
}

// Counted strings and material records.

TEST_F(ModelReaderTest, MaterialRecordFieldsAndTheObjectsCopy) {
  const MaterialRecord m{.name = "Glass M.Gloss",
                         .twoSided = 1,
                         .opacity = 0.5f,
                         .ambient = {0.1f, 0.2f, 0.3f},
                         .diffuse = {0.4f, 0.5f, 0.6f},
                         .specular = {0.7f, 0.8f, 0.9f},
                         .emission = {1, 1, 1},
                         .shininess = 12.5f,
                         .textures = {{1, "C:\\Content\\Sub Folder\\Glass.TGA", 0.0f},
                                      {8, "bumps\\Glass_N.texture", 0.0f},
                                      {9, "d:env.BMP", 0.75f},
                                      {4, "ignored.tga", 3.0f}}};
  // The first material of a name wins.
  const MaterialRecord again{.name = "GLASS m.gloss", .opacity = 0.5f};
  MeshWriter w;
  w.Material(m, OneTriangle());
  w.Material(again, OneTriangle());
  ASSERT_TRUE(Load(w.Finish()));
  for (std::size_t i : {0u, 1u}) {
    SCOPED_TRACE(i);
    const TMaterial& got = Object(i).material;
    EXPECT_EQ(got.name, "glass m.gloss");
    EXPECT_EQ(MaterialKind(got.name), 4);
    EXPECT_EQ(got.twoSided, 1);
    EXPECT_EQ(got.ambient.colour, (std::array<float, 4>{0.1f, 0.2f, 0.3f, 0.5f}));
    EXPECT_EQ(got.diffuse.colour, (std::array<float, 4>{0.4f, 0.5f, 0.6f, 0.5f}));
    EXPECT_EQ(got.specular.colour, (std::array<float, 4>{0.7f, 0.8f, 0.9f, 0.5f}));
    // The object's copy keeps no emission and no opacity.
    EXPECT_EQ(got.emission.colour, (std::array<float, 4>{0, 0, 0, 0}));
    EXPECT_EQ(got.opacity, 0.0f);
    EXPECT_FLOAT_EQ(got.shininess, 12.5f);
    EXPECT_EQ(got.primaryTextureName, "glass.tga");
    EXPECT_EQ(got.bumpTextureName, "glass_n.texture");
    EXPECT_EQ(got.reflectionTextureName, "env.bmp");
    EXPECT_FLOAT_EQ(got.reflectionAmount, 0.75f);
    EXPECT_FALSE(got.hasTexture) << "no image is looked for yet";
  }
  EXPECT_FLOAT_EQ(unit.LastOpacity, 0.5f);
}

// Bones and influences.

TEST_F(ModelReaderTest, InfluencesSumDepthsAndAncestorsInFileOrder) {
  MeshWriter w;
  Geometry g = OneTriangle("", {0, 0, 0, 0, 0});
  g.vertices[1] = g.vertices[2] = {0, 0, 0, 0, 0};
  w.Material(Plain("a"), g);
  std::vector<Influence> records(5);
  records[0] = {.bone = "root", .parent = "", .offset = {1, 0, 0}};
  records[1] = {.bone = "mid", .parent = "root", .offset = {0, 2, 0}};
  records[2] = {.bone = "tip", .parent = "mid", .offset = {0, 0, 3}};
  records[2].groups = {{0, {{0, {0, 0, 0}}}}};
  // No such parent: the record becomes its own parent at depth 1.
  records[3] = {.bone = "orphan", .parent = "nowhere", .offset = {1, 1, 1}};
  records[3].groups = {{0, {{1, {0, 0, 0}}}}};
  // Two influences on vertex 2: the second one is applied last. Those on
  // objects or vertices that do not exist change nothing.
  records[4] = {.bone = "two"};
  records[4].groups = {{0, {{2, {2, 4, 6}}, {2, {0, 0, 0}}}},
                       {1, {{0, {5, 5, 5}}}},
                       {-1, {{0, {5, 5, 5}}}},
                       {0, {{3, {5, 5, 5}}, {-2, {5, 5, 5}}}}};
  w.Influences(records);
  w.Material(Plain("b"), OneTriangle());
  ASSERT_TRUE(Load(w.Finish()));
  EXPECT_EQ(model.ObjectCount(), 2u);
  EXPECT_TRUE(notifier.notices.empty());
  // tip: offset (1,2,3), ancestors (1,2,0) + (1,0,0): p = 2*(2,2,0) + (1,2,3).
  ExpectVec(Object(0).vertices[0], 2.5f, 1.5f, -3.0f);
  // orphan: its own offset is its ancestor sum: p = 2*(1,1,1) + (1,1,1).
  ExpectVec(Object(0).vertices[1], 1.5f, 1.5f, -1.5f);
  ExpectVec(Object(0).vertices[2], 0.5f, 1.5f, -1.0f);
}

// Attachments and angles.

// Damage: what precedes it is kept, the user is told once.

// Every prefix of a valid file loads without reading outside it; only the
// whole file loads without a notice.
TEST_F(ModelReaderTest, EveryPrefixOfAValidFileIsSafeAndReported) {
  MeshWriter w;
  w.Info(104);
  w.BeginChnk(1, 2);
  MaterialRecord m = Plain("full m.tbumpgloss");
  m.textures = {{1, "a.tga", 0}, {8, "b.tga", 0}, {9, "c.tga", 0.5f}};
  Geometry g = OneTriangle("obj");
  g.version = 201;
  g.extraVectorsFlag = 1;
  w.Material(m, g);
  w.EndChnk();
  w.Material(Plain("v100"), fixtures::Box("box", {0, 0, 0}, {1, 1, 1}, 100), true);
  Bone root{.name = "obj", .position = {1, 1, 1}};
  root.children.push_back(Bone{.name = "c", .position = {0, 1, 0}});
  w.Skeleton(root);
  Influence r{.bone = "obj"};
  r.groups = {{0, {{1, {1, 2, 3}}}}};
  w.Influences({r, {.bone = "kid", .parent = "obj", .offset = {1, 0, 0}}});
  w.Attachments({{"a.bog0", fixtures::kIdentity, {1, 2, 3}}});
  w.Raw("PMIN", std::vector<std::byte>(10, std::byte{7}));
  const auto file = w.Finish();
  ASSERT_TRUE(Load(file));
  EXPECT_TRUE(notifier.notices.empty());
  for (std::size_t n = 0; n < file.size(); ++n) {
    EXPECT_EQ(Load({file.begin(), file.begin() + static_cast<long>(n)}), n >= 12) << n;
    EXPECT_EQ(notifier.notices.size(), n >= 4 ? 1u : 0u) << n;
    EXPECT_LE(model.ObjectCount(), 2u);
  }
}

}  // namespace
}  // namespace kelvane
