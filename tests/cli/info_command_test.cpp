// Runs the real executable, as a user or a script would.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <optional>

#include "fixtures/mesh_writer.h"
#include "fixtures/sample_assets.h"
#include "fixtures/texture_writer.h"
#include "support/image_compare.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace kelvane {
namespace {

using fixtures::MeshWriter;
using Json = nlohmann::json;

using testing::ProcessResult;

ProcessResult Kelvane(const std::vector<std::string>& args, const testing::TempDir& dir) {
  return testing::RunProgram(KELVANE_EXE, args, dir);
}

class InfoCommandTest : public ::testing::Test {
 protected:
  Json Info(const std::vector<std::byte>& bytes, int expectedStatus,
            std::vector<std::string> extra = {}) {
    const auto file = dir / "mesh.im";
    fixtures::WriteFile(file, bytes);
    std::vector<std::string> args{"--info", file.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    const ProcessResult run = Kelvane(args, dir);
    EXPECT_EQ(run.status, expectedStatus) << run.err;
    return Json::parse(run.out);
  }
  testing::TempDir dir;
};

TEST_F(InfoCommandTest, DescribesTheSampleWagon) {
  const Json info = Info(fixtures::SampleWagonMesh(), 0);
  EXPECT_TRUE(info["loaded"]);
  EXPECT_TRUE(info["messages"].empty());
  ASSERT_EQ(info["objects"].size(), 8u);
  EXPECT_EQ(info["objects"][0]["name"], "body");
  EXPECT_EQ(info["objects"][0]["material"]["primary"], "wagon_body.tga");
  EXPECT_EQ(info["objects"][0]["material"]["kind"], 2);
  EXPECT_EQ(info["face_count"], 8 * 12);
  EXPECT_EQ(info["lighting"], true);
  EXPECT_EQ(info["any_bump"], false);
  ASSERT_EQ(info["attachments"].size(), 4u);
  EXPECT_EQ(info["attachments"][1]["name"], "a.bog1");
  EXPECT_EQ(info["attachments"][1]["position"], Json::parse("[-4.5, 0.0, 0.5]"));
  ASSERT_EQ(info["attachment_lines"].size(), 4u);
  EXPECT_EQ(info["attachment_lines"][0], "\"a.bog0\",4.500,0.000,0.500,0.0,0.0,0.0");
  EXPECT_TRUE(info["attachment_errors"].empty());
  EXPECT_EQ(info["bounds"]["min"][0].get<float>(), -6.8f);
  // The door is moved by its bone from the origin to the wagon's side.
  const Json door = Info(fixtures::SampleWagonMesh(), 0, {"--geometry"})["objects"][3];
  ASSERT_EQ(door["name"], "door");
  EXPECT_FLOAT_EQ(door["positions"][0][1].get<float>(), 2.35f - 1.1f);
}

TEST_F(InfoCommandTest, SampleWagonTexturesOfEveryKindLoad) {
  const auto files = fixtures::WriteSampleAssets(dir.path());
  const ProcessResult run = Kelvane({"--info", files.front().string()}, dir);
  ASSERT_EQ(run.status, 0) << run.err;
  const Json info = Json::parse(run.out);
  EXPECT_TRUE(info["messages"].empty()) << info["messages"];
  std::map<std::string, std::pair<bool, bool>> flags;  // primary -> texture, alpha
  for (const Json& o : info["objects"]) {
    const Json& m = o["material"];
    flags[m["primary"]] = {m["has_texture"], m["has_alpha"]};
  }
  using Flags = std::pair<bool, bool>;
  EXPECT_EQ(flags["wagon_body.tga"], Flags(true, false));
  EXPECT_EQ(flags["roof.texture"], Flags(true, false));
  EXPECT_EQ(flags["buffers.bmp"], Flags(true, false));
  EXPECT_EQ(flags["frame.jpg"], Flags(true, true)) << "JPEG is always RGBA";
  EXPECT_EQ(flags[""], Flags(false, false)) << "the door has no texture";

  // The inventory: one row per file, in load order. RGB goes up as one
  // level; the RGBA JPEG with its mipmaps (32², 16², ... 1² texels of 4
  // bytes).
  std::vector<std::string> rows;
  for (const Json& t : info["textures"]) {
    rows.push_back(std::filesystem::path(t["file"].get<std::string>()).filename().string() + " " +
                   t["format"].get<std::string>() + " " + t["width"].dump() + "x" +
                   t["height"].dump() + " " + t["alpha"].get<std::string>() + " " +
                   t["upload_bytes"].dump() + " " + t["objects"].dump());
  }
  EXPECT_THAT(rows, ::testing::ElementsAre("wagon_body.tga tga 64x64 none 12288 [\"body\"]",
                                           "roof.texture dxt1 64x64 none 12288 [\"roof\"]",
                                           "frame.jpg jpeg 32x32 kind 5460 [\"frame\"]",
                                           "buffers.bmp bmp 16x16 none 768 [\"buffer\"]"));
}

TEST_F(InfoCommandTest, GeometryShowsViewerAxesAndFlippedV) {
  fixtures::Geometry g;
  g.vertices = {{1, 2, 3, 0.25f, 0.25f}, {0.1f, 0, 0, 1, 0}, {0, 0, 0, 0, 1}};
  g.faces = {{0, 1, 2}};
  MeshWriter w;
  w.Material({.name = "m"}, g);
  const Json info = Info(w.Finish(), 0, {"--geometry"});
  const Json& o = info["objects"][0];
  EXPECT_EQ(o["positions"][0], Json::parse("[1.0, 3.0, -2.0]"));
  EXPECT_EQ(o["uvs"][0], Json::parse("[0.25, 0.75]"));
  EXPECT_EQ(o["faces"][0], Json::parse("[0, 1, 2]"));
  // A float32 is printed so that it reads back as the same float.
  EXPECT_EQ(o["positions"][1][0].get<double>(), 0.1);
  EXPECT_EQ(info["bounds"]["max"], Json::parse("[1.0, 2.0, 3.0]"));
}

TEST_F(InfoCommandTest, BonesAndAttachmentAnglesAsPrinted) {
  MeshWriter w;
  fixtures::Geometry g;
  g.name = "wheel";
  g.vertices = {{0, 0, 0, 0, 0}};
  w.Material({.name = "m"}, g);
  fixtures::Bone root{.name = "root", .position = {0, 0, 2}};
  root.children.push_back({.name = "wheel", .position = {1, 0, 0}});
  w.Skeleton(root);
  w.Attachments({{"a.pant0", {0, 0, 1, 0, 1, 0, -1, 0, 0}, {1.5f, -2, 0.25f}}});
  const Json info = Info(w.Finish(), 0, {"--geometry"});
  EXPECT_EQ(info["objects"][0]["positions"][0], Json::parse("[1.0, 2.0, 0.0]"));
  EXPECT_EQ(info["attachments"][0]["rotation"], Json::parse("[0.0, 90.0, 0.0]"));
  EXPECT_EQ(info["attachment_lines"][0], "\"a.pant0\",1.500,-2.000,0.250,0.0,90.0,0.0");
}

TEST_F(InfoCommandTest, FailedAndDamagedLoads) {
  const Json compressed = Info(fixtures::CompressedMesh(std::vector<std::byte>(4)), 1);
  EXPECT_FALSE(compressed["loaded"]);
  EXPECT_FALSE(compressed.contains("attachment_lines")) << "the attachment reader refused it";
  ASSERT_EQ(compressed["messages"].size(), 1u) << "the viewer shows no attachment reader error";
  ASSERT_EQ(compressed["attachment_errors"].size(), 1u);
  EXPECT_NE(compressed["attachment_errors"][0].get<std::string>().find("MESH001F file "),
            std::string::npos);
  EXPECT_TRUE(compressed["bounds"].is_null());

  MeshWriter w;
  w.Material({.name = "m"}, fixtures::Box("b", {0, 0, 0}, {1, 1, 1}));
  auto cut = w.Finish();
  cut.erase(cut.end() - 100, cut.end());
  const Json damaged = Info(cut, 0);
  EXPECT_TRUE(damaged["loaded"]);
  ASSERT_EQ(damaged["messages"].size(), 1u);
  EXPECT_NE(damaged["messages"][0]["text"].get<std::string>().find("is damaged at byte"),
            std::string::npos);
  EXPECT_EQ(damaged["attachment_errors"].size(), 1u) << "MESH001F: the container is longer";

  const ProcessResult missing = Kelvane({"--info", (dir / "nothing.im").string()}, dir);
  EXPECT_EQ(missing.status, 1);
  EXPECT_FALSE(Json::parse(missing.out)["loaded"]);
}

TEST_F(InfoCommandTest, UsageErrorsHelpAndVersion) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--info"},
           {"--bogus"},
           {"--geometry"},
           {"--info", "a.im", "b.im"},
           {"--texture", "a.tga"},
           {"-o", "x.png"},
           {"--texture", "a.tga", "-o", "x.png", "--kind", "2", "--constant-alpha", "3"},
           {"--texture", "a.tga", "-o", "x.png", "--constant-alpha", "256"},
           {"--texture", "a.tga", "-o", "x.png", "--constant-alpha"},
           {"--texture", "a.tga", "-o", "x.png", "--info", "m.im"},
           {"--alpha-image", "a.bmp"}}) {
    const ProcessResult run = Kelvane(args, dir);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
    EXPECT_TRUE(run.out.empty());
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
  }
  const ProcessResult help = Kelvane({"--help"}, dir);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--alpha-image"), std::string::npos);
  const ProcessResult version = Kelvane({"--version"}, dir);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("kelvane ", 0), 0u) << version.out;
}

using testing::ReadPng;

class TextureCommandTest : public InfoCommandTest {
 protected:
  std::string Write(const std::string& name, const std::vector<std::byte>& bytes) {
    fixtures::WriteFile(dir / name, bytes);
    return (dir / name).string();
  }
  // 3 x 2 picture, top row (10, 20, 30) (40, 50, 60) (70, 80, 90), bottom
  // row grey 200, with alpha 77 for 32 bits.
  std::string Tga(const std::string& name, std::uint8_t depth) {
    fixtures::Picture<fixtures::Rgba8> p{3,
                                         2,
                                         {{10, 20, 30, 77},
                                          {40, 50, 60, 77},
                                          {70, 80, 90, 77},
                                          {200, 200, 200, 77},
                                          {200, 200, 200, 77},
                                          {200, 200, 200, 77}}};
    return Write(name, fixtures::WriteTga(fixtures::TgaTrueColour(p, depth, false)));
  }
  ProcessResult Texture(std::vector<std::string> args) {
    args.insert(args.begin(), {"--texture"});
    return Kelvane(args, dir);
  }
  std::string out() const { return (dir / "out.png").string(); }
};

TEST_F(TextureCommandTest, WritesTheUploadedBufferUpright) {
  const ProcessResult run = Texture({Tga("a.tga", 24), "-o", out()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.err.empty()) << run.err;
  std::vector<std::uint8_t> alpha;
  const auto png = ReadPng(out(), &alpha);
  ASSERT_TRUE(png);
  EXPECT_EQ(png->width, 3);
  EXPECT_EQ(png->height, 2);
  EXPECT_TRUE(alpha.empty()) << "24-bit TGA uploads RGB";
  EXPECT_THAT(png->At(0, 0), ::testing::ElementsAre(10, 20, 30));
  EXPECT_THAT(png->At(2, 0), ::testing::ElementsAre(70, 80, 90));
  EXPECT_THAT(png->At(1, 1), ::testing::ElementsAre(200, 200, 200));
}

TEST_F(TextureCommandTest, AlphaFromKindConstantOrAlphaImage) {
  const std::string tga32 = Tga("b.tga", 32);
  // The alpha image's red bytes become the colour image's alpha.
  const std::string colour =
      Write("c.bmp", fixtures::WriteBmp(fixtures::Bmp24(
                         {3, 2, std::vector<fixtures::Rgb8>(6, {1, 2, 3})}, false)));
  struct Row {
    std::vector<std::string> args;
    std::vector<int> rgb;             // of the first texel
    std::vector<std::uint8_t> alpha;  // of every texel
  };
  const Row rows[] = {
      {{tga32}, {10, 20, 30}, std::vector<std::uint8_t>(6, 77)},
      {{tga32, "--kind", "5"}, {10, 20, 30}, std::vector<std::uint8_t>(6, 255)},
      {{tga32, "--constant-alpha", "128"}, {10, 20, 30}, std::vector<std::uint8_t>(6, 128)},
      {{colour, "--alpha-image", Tga("m.TGA", 24)}, {1, 2, 3}, {10, 40, 70, 200, 200, 200}}};
  for (Row row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.args));
    row.args.insert(row.args.end(), {"-o", out()});
    const ProcessResult run = Texture(row.args);
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::uint8_t> alpha;
    const auto png = ReadPng(out(), &alpha);
    ASSERT_TRUE(png);
    EXPECT_EQ(png->At(0, 0), row.rgb);
    EXPECT_EQ(alpha, row.alpha);
  }
}

TEST_F(TextureCommandTest, RefusalsExitOneWithTheLoadersMessages) {
  const ProcessResult missing = Texture({(dir / "gone.tga").string(), "-o", out()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "TGA Texture: File not found  - " + (dir / "gone.tga").string() + "\n");

  const std::string jpeg =
      Write("p.jpeg", fixtures::EncodeJpeg(8, 8, 1, std::vector<std::uint8_t>(64, 9), 90));
  const ProcessResult unknown = Texture({jpeg, "-o", out()});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_TRUE(unknown.err.empty()) << "unknown endings are refused silently";

  std::filesystem::rename(jpeg, dir / "p.jpg");
  const ProcessResult mismatch =
      Texture({(dir / "p.jpg").string(), "-o", out(), "--alpha-image", Tga("m.tga", 24)});
  EXPECT_EQ(mismatch.status, 1);
  EXPECT_EQ(mismatch.err, "Info: p.jpg Texture ERROR.. Image and Alpha not the same size\n");
  EXPECT_FALSE(std::filesystem::exists(out()));
}

TEST_F(TextureCommandTest, ContainerWithoutImagesWritesNothing) {
  fixtures::TextureFixture f{.countFactor1 = 0};
  const ProcessResult run =
      Texture({Write("e.texture", fixtures::WriteTextureFile(f)), "-o", out()});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("nothing written"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(out()));
}

TEST_F(InfoCommandTest, BudgetOfTheSampleWagonWithItsTextures) {
  const auto files = fixtures::WriteSampleAssets(dir.path());
  const auto run = Kelvane({"--info", (dir / "wagon" / "wagon.im").string()}, dir);
  ASSERT_EQ(run.status, 0) << run.err;
  const Json info = Json::parse(run.out);
  const Json& budget = info["budget"];
  EXPECT_EQ(budget["triangles"], 8 * 12);
  EXPECT_EQ(budget["objects"], 8);
  // Body, roof, frame, door and the four buffers' one material.
  EXPECT_EQ(budget["materials"], 5);
  // One base pass each: no bump or reflection maps.
  EXPECT_EQ(budget["draw_batches"], 8);
  std::int64_t vertices = 0;
  for (const Json& o : info["objects"])
    vertices += o["vertex_count"].get<std::int64_t>();
  EXPECT_EQ(budget["vertices"], vertices);
  // Every texture file is uploaded once for the one model.
  std::uint64_t uploaded = 0;
  for (const Json& t : info["textures"])
    uploaded += t["upload_bytes"].get<std::uint64_t>();
  EXPECT_GT(uploaded, 0u);
  EXPECT_EQ(budget["texture_bytes"], uploaded);
}

}  // namespace
}  // namespace kelvane
