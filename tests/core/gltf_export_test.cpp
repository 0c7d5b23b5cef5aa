// The glTF export: what each material kind and alpha source becomes, the
// axes, placements, attachment points and bones, and how files are written.

#include "export/gltf_export.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <set>

#include "fixtures/asset_writer.h"
#include "fixtures/byte_writer.h"
#include "fixtures/material_showcase.h"
#include "fixtures/mesh_writer.h"
#include "fixtures/sample_assets.h"
#include "fixtures/track_textures.h"
#include "overlays/track_geometry.h"
#include "session/content_session.h"
#include "support/glb_reader.h"
#include "support/temp_dir.h"

namespace kelvane {
namespace {

namespace fs = std::filesystem;
namespace fx = kelvane::fixtures;
using Json = nlohmann::json;

class GltfExportTest : public ::testing::Test {
 protected:
  // Opens `path` as the export does and reads back the .glb it writes.
  testing::Glb Export(const fs::path& path) {
    ContentSession session({.recordTextures = true, .keepPictures = true});
    const OpenOutcome opened = session.Open(path);
    EXPECT_TRUE(opened.loaded) << opened.reason;
    std::string error;
    const fs::path out = dir / "out.glb";
    EXPECT_TRUE(WriteGltf(BuildGltf(session, {}), out, &error)) << error;
    auto glb = testing::ReadGlb(out);
    EXPECT_TRUE(glb.has_value()) << "not a well-formed .glb: " << out;
    return glb ? *glb : testing::Glb{};
  }
  // The material of the mesh named `object`.
  static Json MaterialOf(const testing::Glb& glb, const std::string& object) {
    for (const Json& mesh : glb.document["meshes"]) {
      if (mesh.value("name", std::string()) == object) {
        return glb.document["materials"][mesh["primitives"][0]["material"].get<std::size_t>()];
      }
    }
    ADD_FAILURE() << "no mesh named " << object;
    return Json::object();
  }

  testing::TempDir dir;
};

struct Drawn {
  const char* object;
  const char* alphaMode;
  bool doubleSided;
  bool normalTexture;
};

TEST_F(GltfExportTest, EachMaterialKindAndAlphaSourceIsDrawnAsTheViewerDrawsIt) {
  const testing::Glb glb = Export(fx::WriteMaterialShowcase(dir.path()));
  const Drawn table[] = {{"kind0", "OPAQUE", false, false},
                         {"kind1", "OPAQUE", false, false},
                         {"kind2", "OPAQUE", false, false},
                         {"kind3", "OPAQUE", false, false},
                         {"kind4", "OPAQUE", false, false},
                         {"kind5", "OPAQUE", false, true},
                         // Kind 6 takes its colour image whole: a constant alpha of 255.
                         {"kind6", "OPAQUE", false, true},
                         {"kind7", "OPAQUE", false, true},
                         // An opacity of 0.5 becomes a constant alpha of 180 in every texel.
                         {"constant", "BLEND", false, false},
                         // Kind 4 says the image's alpha carries no transparency.
                         {"kindforced", "OPAQUE", false, false},
                         {"wholealpha", "MASK", false, false},
                         {"gradedalpha", "BLEND", false, false},
                         {"alphaimage", "MASK", false, false},
                         {"twosided", "OPAQUE", true, false},
                         // A textured model is drawn unlit: the colour goes without alpha.
                         {"untextured", "OPAQUE", false, false}};
  ASSERT_EQ(std::size(table), fx::MaterialShowcaseObjects().size());
  for (const Drawn& row : table) {
    SCOPED_TRACE(row.object);
    const Json m = MaterialOf(glb, row.object);
    EXPECT_EQ(m.value("alphaMode", std::string("OPAQUE")), row.alphaMode);
    EXPECT_EQ(m.value("doubleSided", false), row.doubleSided);
    EXPECT_EQ(m.contains("normalTexture"), row.normalTexture);
    if (std::string(row.alphaMode) == "MASK") {
      EXPECT_FLOAT_EQ(m["alphaCutoff"].get<float>(), 0.06f);
    }
    EXPECT_EQ(m["pbrMetallicRoughness"].contains("baseColorTexture"),
              std::string(row.object) != "untextured");
  }
  const Json plain = MaterialOf(glb, "untextured")["pbrMetallicRoughness"]["baseColorFactor"];
  EXPECT_EQ(plain, (Json{0.2f, 0.5f, 0.8f, 1.0f}));
  // The reflection image has no counterpart in glTF's core materials.
  std::set<std::string> names;
  for (const Json& image : glb.document["images"])
    names.insert(image["name"].get<std::string>());
  EXPECT_EQ(names, (std::set<std::string>{"plain.tga", "cutout.tga", "graded.tga",
                                          "paired_colour.bmp", "bump.tga"}));
}

TEST_F(GltfExportTest, AnUntexturedModelIsLitAndItsOpacityBlends) {
  fx::MeshWriter w;
  w.Material(fx::MaterialRecord{.name = "glass", .opacity = 0.5f, .diffuse = {0.1f, 0.2f, 0.3f}},
             fx::Box("pane", {0, 0, 0}, {1, 1, 1}));
  fx::WriteFile(dir / "glass.im", w.Finish());
  const Json m = MaterialOf(Export(dir / "glass.im"), "pane");
  EXPECT_EQ(m["alphaMode"], "BLEND");
  EXPECT_EQ(m["pbrMetallicRoughness"]["baseColorFactor"], (Json{0.1f, 0.2f, 0.3f, 0.5f}));
}

TEST_F(GltfExportTest, PositionsNormalsAndTextureCoordinatesTakeGltfAxes) {
  fx::MeshWriter w;
  fx::Geometry g{.name = "tri"};
  g.vertices = {{1, 2, 3, 0.25f, 0.25f}, {2, 2, 3, 0.5f, 0.25f}, {1, 2, 4, 0.25f, 0.5f}};
  g.faces = {{0, 1, 2}};
  g.normals = {{0, 0, 2}, {0, -1, 0}, {1, 0, 0}};
  w.Material(fx::MaterialRecord{.name = "m"}, g);
  fx::WriteFile(dir / "tri.im", w.Finish());
  const testing::Glb glb = Export(dir / "tri.im");
  const Json& attributes = glb.document["meshes"][0]["primitives"][0]["attributes"];
  const std::vector<float> p = glb.Floats(attributes["POSITION"]);
  EXPECT_EQ(std::vector<float>(p.begin(), p.begin() + 3), (std::vector<float>{1, 3, -2}));
  EXPECT_EQ(glb.document["accessors"][attributes["POSITION"].get<std::size_t>()]["min"],
            (Json{1.0f, 3.0f, -2.0f}));
  // Normals turn with the positions and come out of unit length.
  EXPECT_EQ(glb.Floats(attributes["NORMAL"]), (std::vector<float>{0, 1, 0, 0, 0, 1, 1, 0, 0}));
  // Untextured: no texture coordinates to carry.
  EXPECT_FALSE(attributes.contains("TEXCOORD_0"));
}

TEST_F(GltfExportTest, TextureCoordinatesCountFromThePicturesTop) {
  const testing::Glb glb = Export(fx::WriteMaterialShowcase(dir.path()));
  const Json& attributes = glb.document["meshes"][0]["primitives"][0]["attributes"];
  const std::vector<float> uv = glb.Floats(attributes["TEXCOORD_0"]);
  // The box's first face runs over the whole square from the file's (0, 0).
  fx::Geometry box = fx::Box("kind0", {0, 0, 1}, {1.5f, 1.5f, 1.5f});
  ASSERT_EQ(uv.size(), box.vertices.size() * 2);
  for (std::size_t i = 0; i < box.vertices.size(); ++i) {
    EXPECT_EQ(uv[2 * i], box.vertices[i].u);
    EXPECT_EQ(uv[2 * i + 1], box.vertices[i].v);
  }
  // A normal map comes with tangents of unit length across the normals.
  const Json& bumped = glb.document["meshes"][5]["primitives"][0]["attributes"];
  ASSERT_TRUE(bumped.contains("TANGENT"));
  const std::vector<float> t = glb.Floats(bumped["TANGENT"]);
  const std::vector<float> n = glb.Floats(bumped["NORMAL"]);
  for (std::size_t i = 0; i < n.size() / 3; ++i) {
    const float* ti = &t[4 * i];
    EXPECT_NEAR(ti[0] * ti[0] + ti[1] * ti[1] + ti[2] * ti[2], 1.0f, 1e-5f);
    EXPECT_NEAR(ti[0] * n[3 * i] + ti[1] * n[3 * i + 1] + ti[2] * n[3 * i + 2], 0.0f, 1e-5f);
    EXPECT_EQ(std::fabs(ti[3]), 1.0f);
  }
}

TEST_F(GltfExportTest, AttachmentPointsAndBonesBecomeNodes) {
  fx::WriteSampleAssets(dir.path());
  const testing::Glb glb = Export(dir / "wagon" / "wagon.im");
  const auto bog1 = glb.Node("a.bog1");
  ASSERT_TRUE(bog1);
  const Json& point = glb.document["nodes"][*bog1];
  EXPECT_FALSE(point.contains("mesh"));
  EXPECT_EQ(point["translation"], (Json{-4.5f, 0.5f, 0.0f}));
  // Half a turn about the file's z axis is half a turn about glTF's y.
  const std::vector<float> q = point["rotation"];
  EXPECT_NEAR(std::fabs(q[1]), 1.0f, 1e-6f);
  EXPECT_NEAR(std::fabs(q[0]) + std::fabs(q[2]) + std::fabs(q[3]), 0.0f, 1e-6f);

  const auto root = glb.Node("root"), door = glb.Node("door");
  ASSERT_TRUE(root && door);
  // The object named "door" and the bone of that name: the bone is the one
  // under the root bone.
  const Json& children = glb.document["nodes"][*root]["children"];
  ASSERT_EQ(children.size(), 1u);
  const Json& bone = glb.document["nodes"][children[0].get<std::size_t>()];
  EXPECT_EQ(bone["name"], "door");
  EXPECT_FALSE(bone.contains("mesh"));
  EXPECT_EQ(bone["translation"], (Json{0.0f, 2.35f, 1.44f}));
}

// The viewer's matrix for a placement, built as OpenGL builds it.
using Matrix = std::array<double, 16>;  // column-major
Matrix Times(const Matrix& a, const Matrix& b) {
  Matrix m{};
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r)
      for (int k = 0; k < 4; ++k)
        m[c * 4 + r] += a[k * 4 + r] * b[c * 4 + k];
  return m;
}
Matrix StepMatrix(const PlacementStep& s) {
  Matrix m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  if (s.kind == PlacementStep::Kind::Translate) {
    m[12] = s.x, m[13] = s.y, m[14] = s.z;
    return m;
  }
  const double len = std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
  const double x = s.x / len, y = s.y / len, z = s.z / len;
  const double a = s.angle * std::numbers::pi / 180, c = std::cos(a), n = std::sin(a);
  return {x * x * (1 - c) + c,
          y * x * (1 - c) + z * n,
          x * z * (1 - c) - y * n,
          0,
          x * y * (1 - c) - z * n,
          y * y * (1 - c) + c,
          y * z * (1 - c) + x * n,
          0,
          x * z * (1 - c) + y * n,
          y * z * (1 - c) - x * n,
          z * z * (1 - c) + c,
          0,
          0,
          0,
          0,
          1};
}
std::array<double, 3> Apply(const Matrix& m, std::array<double, 3> p) {
  return {m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12],
          m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13],
          m[2] * p[0] + m[6] * p[1] + m[10] * p[2] + m[14]};
}
// A node's translation and rotation applied to a point.
std::array<double, 3> ApplyNode(const Json& node, std::array<double, 3> p) {
  const std::vector<double> q = node.value("rotation", std::vector<double>{0, 0, 0, 1});
  const std::vector<double> t = node.value("translation", std::vector<double>{0, 0, 0});
  // v' = v + 2w(u x v) + 2u x (u x v)
  const std::array<double, 3> u{q[0], q[1], q[2]};
  auto cross = [](const std::array<double, 3>& a, const std::array<double, 3>& b) {
    return std::array<double, 3>{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                                 a[0] * b[1] - a[1] * b[0]};
  };
  const auto uv = cross(u, p), uuv = cross(u, uv);
  for (int i = 0; i < 3; ++i)
    p[i] += 2 * q[3] * uv[i] + 2 * uuv[i] + t[i];
  return p;
}

TEST_F(GltfExportTest, EachModelOfATraincarStandsWhereTheViewerDrawsIt) {
  const fx::SampleTraincar sample = fx::WriteSampleTraincar(dir.path(), KELVANE_STANDIN);
  ContentSession session({.keepPictures = true});
  ASSERT_TRUE(session.Open(sample.locomotive).loaded);
  const GltfAsset asset = BuildGltf(session, {});
  const Json& scene = asset.document["scenes"][0]["nodes"];
  ASSERT_EQ(scene.size(), session.Scene()->ModelCount());
  std::size_t placed = 0;
  for (std::size_t i = 0; i < scene.size(); ++i) {
    const T3DModel& model = session.Scene()->Model(i);
    Matrix m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (const PlacementStep& step : model.placement)
      m = Times(m, StepMatrix(step));
    placed += !model.placement.empty();
    const Json& node = asset.document["nodes"][scene[i].get<std::size_t>()];
    for (const std::array<double, 3>& p :
         {std::array<double, 3>{0, 0, 0}, {1, 2, 3}, {-4, 0.5, 7}}) {
      const auto want = Apply(m, p), got = ApplyNode(node, p);
      for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(got[k], want[k], 1e-4) << "model " << i << " axis " << k;
    }
  }
  EXPECT_GE(placed, 3u) << "the sample car places its bogeys and pantograph";
  // Each model keeps its own attachment points, not the last mesh's.
  std::vector<std::string> bodyPoints;
  for (const auto& child : asset.document["nodes"][scene[0].get<std::size_t>()]["children"]) {
    const auto& node = asset.document["nodes"][child.get<std::size_t>()];
    if (!node.contains("mesh") && node["name"].get<std::string>().rfind("a.", 0) == 0)
      bodyPoints.push_back(node["name"]);
  }
  EXPECT_EQ(bodyPoints,
            (std::vector<std::string>{"a.bog0", "a.bog1", "a.pant0", "a.light0", "a.horn"}));
}

// The track of a traincar, asked for: one node at the scene's root without
// a transform (the view's axes are glTF's), a copy of the rail and sleeper
// meshes at each place the viewer draws one, and a material per colour
// whose factor is the colour GL modulates the track images with.
TEST_F(GltfExportTest, TheTrackLiesUnderTheCarAsTheViewerDrawsIt) {
  const fx::SampleTraincar sample = fx::WriteSampleTraincar(dir.path(), KELVANE_STANDIN);
  fx::WriteTrackTextures(dir / "track");
  const struct {
    const char* what;
    bool images;
    GltfTrack track;
    std::size_t sleepers;
  } rows[] = {
      {"default, with images", true, {1.44f, 0.8f}, 50},
      {"metre gauge, 2 m, no images", false, {1.05f, 2.0f}, 21},
      {"0.3 m", true, {1.485f, 0.3f}, 131},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ContentSession session(
        {.keepPictures = true, .trackFolder = row.images ? dir / "track" : fs::path()});
    ASSERT_TRUE(session.Open(sample.locomotive).loaded);
    const std::size_t models = session.Scene()->ModelCount();
    const GltfAsset asset = BuildGltf(session, {.track = row.track});
    const Json& doc = asset.document;
    ASSERT_EQ(doc["scenes"][0]["nodes"].size(), models + 1);
    const Json& root = doc["nodes"][doc["scenes"][0]["nodes"][models].get<std::size_t>()];
    EXPECT_EQ(root["name"], "track");
    EXPECT_FALSE(root.contains("translation") || root.contains("rotation"));
    ASSERT_EQ(root["children"].size(), 2 + row.sleepers + 2);

    const auto parts = BuildTrack(row.track.gauge, row.track.spacing, row.images, row.images);
    std::size_t child = 0;
    for (const TrackPart& part : parts) {
      for (const auto& at : part.offsets) {
        const Json& node = doc["nodes"][root["children"][child++].get<std::size_t>()];
        EXPECT_EQ(node["name"], part.name);
        const Json& mesh = doc["meshes"][node["mesh"].get<std::size_t>()];
        EXPECT_EQ(mesh["name"], part.name);
        const Json want = at == std::array<float, 3>{} ? Json() : Json{at[0], at[1], at[2]};
        EXPECT_EQ(node.value("translation", Json()), want) << part.name;
        ASSERT_EQ(mesh["primitives"].size(), part.surfaces.size());
        for (std::size_t i = 0; i < part.surfaces.size(); ++i) {
          const TrackSurface& surface = part.surfaces[i];
          const Json& primitive = mesh["primitives"][i];
          const Json& m = doc["materials"][primitive["material"].get<std::size_t>()];
          EXPECT_EQ(m["name"], surface.name);
          const auto& c = surface.colour;
          EXPECT_EQ(m["pbrMetallicRoughness"]["baseColorFactor"], (Json{c[0], c[1], c[2], 1.0f}));
          EXPECT_EQ(m["pbrMetallicRoughness"].contains("baseColorTexture"), part.textured);
          EXPECT_EQ(primitive["attributes"].contains("TEXCOORD_0"), part.textured);
          EXPECT_EQ(m["doubleSided"], true);
          const Json& positions =
              doc["accessors"][primitive["attributes"]["POSITION"].get<std::size_t>()];
          EXPECT_EQ(positions["count"], surface.corners.size());
        }
      }
    }
    // What the track adds: four meshes, eight colours, a node per copy.
    const Json plain = BuildGltf(session, {}).document;
    EXPECT_EQ(doc["meshes"].size(), plain["meshes"].size() + 4);
    EXPECT_EQ(doc["materials"].size(), plain["materials"].size() + 8);
    EXPECT_EQ(doc["nodes"].size(), plain["nodes"].size() + 1 + 2 + row.sleepers + 2);
    std::set<std::string> images;
    for (const Json& image : doc.value("images", Json::array()))
      images.insert(image.value("name", std::string()));
    EXPECT_EQ(images.count("BallastTexture.jpg") + images.count("GroundTexture.jpg"),
              row.images ? 2u : 0u);
  }
}

// Only a traincar stands on track, and "No Track" draws none.
TEST_F(GltfExportTest, NoTrackForAMeshOrAtNoGauge) {
  fx::WriteSampleAssets(dir.path());
  const fx::SampleTraincar sample = fx::WriteSampleTraincar(dir.path(), KELVANE_STANDIN);
  for (const auto& [path, gauge] :
       {std::pair{dir / "wagon" / "wagon.im", 1.44f}, std::pair{sample.locomotive, 0.05f}}) {
    ContentSession session({.keepPictures = true});
    ASSERT_TRUE(session.Open(path).loaded);
    const Json doc = BuildGltf(session, {.track = GltfTrack{gauge, 0.8f}}).document;
    for (const Json& node : doc["nodes"])
      EXPECT_NE(node.value("name", std::string()), "track") << path;
  }
}

TEST_F(GltfExportTest, AnOutputThatCannotBeWrittenLeavesNoFile) {
  fx::WriteSampleAssets(dir.path());
  ContentSession session({.keepPictures = true});
  ASSERT_TRUE(session.Open(dir / "wagon" / "wagon.im").loaded);
  const GltfAsset asset = BuildGltf(session, {});
  std::string error;
  EXPECT_FALSE(WriteGltf(asset, dir / "missing" / "out.glb", &error));
  EXPECT_NE(error.find("out.glb"), std::string::npos) << error;

  // A .gltf whose picture cannot be written: the folder's entry of that
  // name is a folder. The document and buffer written before go again.
  fs::create_directories(dir / "out" / "car_0.png" / "x");
  EXPECT_FALSE(WriteGltf(asset, dir / "out" / "car.gltf", &error));
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir / "out"))
    left.push_back(entry.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"car_0.png"});
}

TEST_F(GltfExportTest, AGltfNamesItsBufferAndPicturesBesideIt) {
  fx::WriteSampleAssets(dir.path());
  ContentSession session({.keepPictures = true});
  ASSERT_TRUE(session.Open(dir / "wagon" / "wagon.im").loaded);
  const GltfAsset asset = BuildGltf(session, {});
  fs::create_directories(dir / "out");
  std::string error;
  ASSERT_TRUE(WriteGltf(asset, dir / "out" / "car.gltf", &error)) << error;
  const Json doc = Json::parse(testing::ReadText(dir / "out" / "car.gltf"));
  EXPECT_EQ(doc["buffers"][0]["uri"], "car.bin");
  EXPECT_EQ(fs::file_size(dir / "out" / "car.bin"),
            doc["buffers"][0]["byteLength"].get<std::size_t>());
  ASSERT_EQ(doc["images"].size(), asset.images.size());
  for (std::size_t i = 0; i < asset.images.size(); ++i) {
    const fs::path png = dir / "out" / doc["images"][i]["uri"].get<std::string>();
    EXPECT_EQ(fs::file_size(png), asset.images[i].size());
  }
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir / "out"))
    ++files;
  EXPECT_EQ(files, 2 + asset.images.size()) << "no temporary is left behind";
}

}  // namespace
}  // namespace kelvane
