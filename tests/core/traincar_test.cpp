#include "assets/traincar.h"

#include <gtest/gtest.h>

#include "fixtures/asset_writer.h"
#include "fixtures/mesh_writer.h"
#include "support/asset_world.h"

namespace kelvane {
namespace {

using fixtures::AssetConfig;
using fixtures::Attachment;
using fixtures::MeshTableEntry;
using fixtures::WriteConfig;
using testing::AssetWorld;
using testing::Workbench;

const Attachment kTurned{"", {-1, 0, 0, 0, -1, 0, 0, 0, 1}, {}};

// A one-box mesh with the given attachment points.
std::vector<std::byte> MeshWith(std::vector<Attachment> points, float size = 1.0f) {
  fixtures::MeshWriter w;
  w.Info(104);
  w.Material({.name = "Steel m.notex"}, fixtures::Box("box", {0, 0, 0}, {size, size, size}));
  if (!points.empty()) w.Attachments(points);
  return w.Finish();
}

Attachment At(const std::string& name, fixtures::Vec3 position) {
  return {name, fixtures::kIdentity, position};
}

class ComposeTest : public ::testing::Test {
 protected:
  void SetUp() override { world.InstallUtility(); }

  // The traincar "loco" in the editing folder with a body carrying `points`.
  std::filesystem::path Loco(AssetConfig config, std::vector<Attachment> points = {}) {
    const auto folder = world.editing / "loco";
    if (config.meshes.empty()) config.meshes = {{.name = "default", .mesh = "body.im"}};
    WriteConfig(folder, config);
    fixtures::WriteFile(folder / "body.im", MeshWith(std::move(points), 10.0f));
    return folder;
  }
  // A part asset in `where` whose only mesh is auto-created.
  void PartAsset(const std::filesystem::path& where, const std::string& kuid, float size = 1.0f) {
    WriteConfig(where, {.kuid = kuid,
                        .kind = "bogey",
                        .meshes = {{.name = "default", .mesh = "part.im", .autoCreate = "1"}}});
    fixtures::WriteFile(where / "part.im", MeshWith({}, size));
  }
  // The one message shown, or "" when none was.
  static std::string OnlyMessage(const Workbench& b) {
    EXPECT_LE(b.notifier.notices.size(), 1u);
    if (b.notifier.notices.empty()) return {};
    EXPECT_EQ(b.notifier.notices[0].caption, "Kelvane");
    return b.notifier.notices[0].text;
  }
  std::string OnlyMessage() const { return OnlyMessage(bench); }
  std::vector<std::string> Kuids() const {
    std::vector<std::string> out;
    for (int i = 0; i < bench.state.PartCount; ++i)
      out.push_back(bench.state.PartList[static_cast<std::size_t>(i)].kuid);
    return out;
  }

  AssetWorld world;
  Workbench bench;
};

// ----- the checks before anything is loaded ---------------------------------

TEST_F(ComposeTest, ChecksTheConfigBeforeLoading) {
  const std::string tooOld = "\"velmora-build\" before 2.5 .. Asset too old.\r     Cannot proceed.";
  const std::string proceed = "\r     Cannot proceed.";
  struct Row {
    AssetConfig config;
    std::string message;  // none: composed
  };
  const Row rows[] = {
      {{.build = "2.4"}, tooOld},
      {{.build = "2.45"}, tooOld},
      {{.build = "10.0"}, tooOld},
      {{.build = "\"2.4\""}, tooOld},
      {{.build = "2.5"}, ""},
      {{.build = "3"}, ""},
      {{.build = "4.6"}, ""},
      {{.build = std::nullopt}, "No \"velmora-build\" tag.. Asset too old." + proceed},
      {{.kind = std::nullopt}, "No \"kind\" tag.. Config Error." + proceed},
      {{.kind = "bogey"}, "Asset is not \"kind traincar\"." + proceed},
      {{.kind = "\"TrainCar\""}, ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message.empty() ? "composed" : row.message);
    Workbench fresh;
    EXPECT_EQ(fresh.Compose(Loco(row.config)), row.message.empty());
    EXPECT_EQ(OnlyMessage(fresh), row.message);
    EXPECT_EQ(fresh.state.TrainCarMode, row.message.empty());
  }

  std::filesystem::create_directories(world.editing / "empty");
  EXPECT_FALSE(bench.Compose(world.editing / "empty"));
  EXPECT_EQ(OnlyMessage(), " Cannot find \"config.txt\" file." + proceed);
  bench.notifier.notices.clear();
  testing::TempDir elsewhere;
  WriteConfig(elsewhere / "loco", {});
  EXPECT_FALSE(bench.Compose(elsewhere / "loco"));
  EXPECT_EQ(OnlyMessage(), " Cannot find \"VelmoraUtil.exe\" file." + proceed);
  EXPECT_FALSE(bench.state.TrainCarMode);
}

TEST_F(ComposeTest, NeedsAMeshTableButIsInTraincarModeByThen) {
  const auto folder = world.editing / "loco";
  WriteConfig(folder, {.username = "\"Old one\""});
  EXPECT_FALSE(bench.Compose(folder));
  EXPECT_EQ(OnlyMessage(), "No mesh-table or sub-container in mesh-table\r     Cannot proceed.");
  EXPECT_TRUE(bench.state.TrainCarMode);
  EXPECT_EQ(bench.state.UserName, "\"Old one\"");
  EXPECT_EQ(bench.scene.ModelCount(), 0u);
}

// ----- the mesh table --------------------------------------------------------

TEST_F(ComposeTest, FindsMeshFilesInAnyCaseUncutOrThroughLodDescriptions) {
  const std::string deep = std::string(130, 'a') + "/" + std::string(130, 'b') + "/body.im";
  const auto folder = world.editing / "loco";
  fixtures::WriteFile(folder / "body.im", MeshWith({}));
  fixtures::WriteFile(folder / deep, MeshWith({}));
  fixtures::WriteTextFile(folder / "BODY.LM.txt",
                          fixtures::LodDescriptionText({"near.im", "Body.im"}));
  const std::pair<std::string, std::string> rows[] = {
      {"Body.IM", "body.im"}, {deep, deep}, {"body.lm", "body.im"}};
  for (const auto& [mesh, file] : rows) {
    fixtures::WriteTextFile(folder / "CONFIG.TXT",
                            fixtures::ConfigText({.meshes = {{.name = "default", .mesh = mesh}}}));
    Workbench fresh;
    EXPECT_TRUE(fresh.Compose(folder)) << mesh;
    ASSERT_EQ(fresh.state.MeshCount, 1) << mesh;
    EXPECT_EQ(fresh.scene.ModelCount(), 1u) << mesh;
    EXPECT_EQ(fresh.state.MeshEntry[0].file, folder / file) << mesh;
  }
  EXPECT_TRUE(ResolveLodMesh(folder, "other.lm").empty());
}

TEST_F(ComposeTest, PassesOverShadowsNightMeshesAndMissingFiles) {
  const auto folder = Loco({.meshes = {{.name = "shadow", .mesh = "body.im"},
                                       {.name = "default-night", .mesh = "body.im"},
                                       {.name = "default-night-forward", .mesh = "body.im"},
                                       {.name = "gone", .mesh = "missing.im"},
                                       {.name = "default", .mesh = "body.im"},
                                       {.name = "cab", .mesh = "body.im"}}});
  EXPECT_TRUE(bench.Compose(folder));
  EXPECT_EQ(bench.state.MeshCount, 2);
  EXPECT_EQ(bench.scene.ModelCount(), 2u);
  EXPECT_EQ(bench.state.MeshEntry[0].name, "default");
  EXPECT_EQ(bench.state.MeshEntry[1].name, "cab");
}

TEST_F(ComposeTest, HangsAMeshOnItsParentsAttachmentPoint) {
  const auto folder = Loco(
      {.meshes = {{.name = "default", .mesh = "body.im"},
                  {.name = "horn", .mesh = "body.im", .att = "a.horn", .attParent = "default"},
                  {.name = "orphan", .mesh = "body.im", .att = "a.horn", .attParent = "nobody"}}},
      {At("a.horn", {1.5f, -2.0f, 3.25f}), At("a.hornet", {9, 9, 9})});
  EXPECT_TRUE(bench.Compose(folder));
  ASSERT_EQ(bench.state.MeshCount, 3);
  EXPECT_EQ(bench.state.MeshEntry[0].attachmentLine, "");
  // The last point whose line contains the name.
  EXPECT_EQ(bench.state.MeshEntry[1].attachmentLine, "\"a.hornet\",9.000,9.000,9.000,0.0,0.0,0.0");
  EXPECT_EQ(bench.state.MeshEntry[2].attachmentLine, "");
}

TEST_F(ComposeTest, TheParentsDamagedAttachmentsAreReported) {
  const auto folder = Loco(
      {.meshes = {{.name = "default", .mesh = "body.im"},
                  {.name = "horn", .mesh = "body.im", .att = "a.horn", .attParent = "default"}}});
  // The second name's length carries the flag bit, which only the model
  // reader removes: the attachment reader meets a name of 1 GiB.
  fixtures::MeshWriter w;
  w.Material({.name = "Steel m.notex"}, fixtures::Box("box", {0, 0, 0}, {1, 1, 1}));
  const std::size_t atch = w.out().size();
  w.Attachments({At("a.horn", {1.5f, -2.0f, 3.25f}), At("a.hornet", {9, 9, 9})});
  const std::size_t second = atch + 8 + 8 + 4 + 6 + 48;
  w.out().PatchU32(second, 0x40000000 + 8);
  fixtures::WriteFile(folder / "body.im", w.Finish());
  EXPECT_TRUE(bench.Compose(folder));
  EXPECT_EQ(OnlyMessage(), "The mesh file \"" + (folder / "body.im").string() +
                               "\" is damaged at byte " + std::to_string(second) +
                               ": an attachment name of 1073741832 bytes runs past the end of "
                               "the chunk. The attachment points before it are used.");
  EXPECT_EQ(bench.state.MeshEntry[1].attachmentLine, "\"a.horn\",1.500,-2.000,3.250,0.0,0.0,0.0");
  EXPECT_EQ(bench.unit.AttachmentCount, 2) << "the model reader takes both";
}

TEST_F(ComposeTest, AParentMeshThatIsNoValidContainerIsReported) {
  const auto folder = Loco(
      {.meshes = {{.name = "default", .mesh = "body.im"},
                  {.name = "horn", .mesh = "body.im", .att = "a.horn", .attParent = "default"}}});
  // One byte short of its container length: a model, but no attachment file.
  fixtures::MeshWriter w;
  w.Info(104);
  w.Material({.name = "Steel m.notex"}, fixtures::Box("box", {0, 0, 0}, {1, 1, 1}));
  w.Attachments({At("a.horn", {1, 2, 3})});
  const auto size = fixtures::MeshWriter(w).Finish().size();
  fixtures::WriteFile(folder / "body.im", w.Finish(static_cast<std::uint32_t>(size - 8 - 1)));
  EXPECT_TRUE(bench.Compose(folder));
  EXPECT_EQ(bench.state.MeshCount, 2);
  EXPECT_EQ(bench.state.MeshEntry[1].attachmentLine, "");
  EXPECT_EQ(OnlyMessage(),
            "MESH001F file " + (folder / "body.im").string() + " is not a valid mesh");
}

// ----- bogeys, pantographs and effects ---------------------------------------

TEST_F(ComposeTest, OneBogeyEntryStandsForBothEnds) {
  PartAsset(world.editing / "bogey", "<kuid:-1:77>");
  EXPECT_TRUE(bench.Compose(Loco(
      {.bogeys = {"77"}},
      {At("a.bog0", {4, 0, 0.5f}), {"a.bog1", kTurned.matrix, {-4, 0, 0.5f}}, At("a.bog2", {})})));
  EXPECT_EQ(Kuids(), (std::vector<std::string>{"<kuid:-1:77>", "<kuid:-1:77>"}));
  EXPECT_FLOAT_EQ(bench.state.PartList[0].position.x, 4);
  EXPECT_FLOAT_EQ(bench.state.PartList[1].position.x, -4);
  EXPECT_FLOAT_EQ(std::abs(bench.state.PartList[1].rotation.z), 180);
  EXPECT_EQ(bench.scene.ModelCount(), 3u);
}

TEST_F(ComposeTest, ReadsUpToTenBogeys) {
  std::vector<std::string> bogeys;
  for (int i = 0; i < 11; ++i)
    bogeys.push_back("<kuid:5:" + std::to_string(i) + ">");
  EXPECT_TRUE(bench.Compose(Loco({.bogeys = bogeys})));
  EXPECT_EQ(bench.state.PartCount, 10);
  // None of them exists: every record is marked.
  EXPECT_EQ(Kuids(), std::vector<std::string>(10, "skip"));

  EXPECT_TRUE(bench.Compose(
      Loco({.bogeys = {"<kuid:5:0>", "<kuid:5:1>", "<kuid:5:2>"}}, {At("a.bog2", {7, 0, 0})})));
  EXPECT_EQ(bench.state.PartCount, 3);
  EXPECT_FLOAT_EQ(bench.state.PartList[2].position.x, 7);
}

TEST_F(ComposeTest, PantographsStandAtAnUnbrokenRunOfPoints) {
  PartAsset(world.editing / "pantograph", "<kuid:9:9>");
  EXPECT_TRUE(bench.Compose(
      Loco({.pantograph = "<kuid:9:9>"},
           {At("a.pant0", {2, 0, 4}), At("a.pant1", {-2, 0, 4}), At("a.pant3", {0, 0, 4})})));
  EXPECT_EQ(Kuids(), (std::vector<std::string>{"<kuid:9:9>", "<kuid:9:9>"}));
  EXPECT_FLOAT_EQ(bench.state.PartList[1].position.x, -2);
  EXPECT_EQ(bench.scene.ModelCount(), 3u);

  EXPECT_TRUE(bench.Compose(Loco({.pantograph = "<kuid:9:9>"}, {At("a.pant1", {-2, 0, 4})})));
  EXPECT_EQ(bench.state.PartCount, 0);
}

TEST_F(ComposeTest, TakesEffectsWithinSevenLines) {
  PartAsset(world.editing / "lamp", "<kuid:3:1>");
  auto effect = [](int pad) {
    return fixtures::EffectEntry{.att = "a.light0", .defaultMesh = "<kuid:3:1>", .padLines = pad};
  };
  const std::vector<Attachment> points{At("a.light0", {7, 0, 2})};
  EXPECT_TRUE(bench.Compose(
      Loco({.meshes = {{.name = "default", .mesh = "body.im", .effects = {effect(1)}}}}, points)));
  ASSERT_EQ(Kuids(), std::vector<std::string>{"<kuid:3:1>"});
  EXPECT_FLOAT_EQ(bench.state.PartList[0].position.x, 7);

  // Its default-mesh line now lies seven lines after the line after "effects".
  EXPECT_TRUE(bench.Compose(
      Loco({.meshes = {{.name = "default", .mesh = "body.im", .effects = {effect(2)}}}}, points)));
  EXPECT_EQ(bench.state.PartCount, 0);
}

TEST_F(ComposeTest, KeepsTheTablesWithinTheirCapacity) {
  PartAsset(world.editing / "bogey", "<kuid:5:5>");
  PartAsset(world.editing / "lamp", "<kuid:3:1>");
  std::vector<fixtures::EffectEntry> effects(
      20, fixtures::EffectEntry{.att = "a.light0", .defaultMesh = "<kuid:3:1>"});
  std::vector<std::string> bogeys(10, "<kuid:5:5>");
  EXPECT_TRUE(bench.Compose(Loco(
      {.bogeys = bogeys, .meshes = {{.name = "default", .mesh = "body.im", .effects = effects}}})));
  EXPECT_EQ(bench.state.EffectCount, 16);
  EXPECT_EQ(bench.state.PartCount, 21);
  const auto& log = bench.state.Memo1.lines;
  EXPECT_EQ(std::count(log.begin(), log.end(), "No room for effect <kuid:3:1>: left out"), 4);
  EXPECT_EQ(std::count(log.begin(), log.end(), "No room for part <kuid:3:1>: left out"), 5);
  EXPECT_EQ(bench.scene.ModelCount(), 1u + 21u);
}

// ----- part assets -------------------------------------------------------------

TEST_F(ComposeTest, APartWithTwoAutoCreatedMeshesGetsTwoRecords) {
  const auto panto = world.editing / "pantograph";
  WriteConfig(panto, {.kuid = "<kuid:9:9>",
                      .kind = "pantograph",
                      .meshes = {{.name = "base", .mesh = "base.im", .autoCreate = "1"},
                                 {.name = "arm",
                                  .mesh = "arm.im",
                                  .autoCreate = "1",
                                  .att = "a.arm",
                                  .attParent = "base"}}});
  fixtures::WriteFile(panto / "base.im", MeshWith({At("a.arm", {0, 0.5f, 0.25f})}));
  fixtures::WriteFile(panto / "arm.im", MeshWith({}, 2.0f));
  PartAsset(world.editing / "bogey", "<kuid:5:5>");
  EXPECT_EQ(PartMeshList(panto, bench.notifier),
            "base.im|arm.im?\"a.arm\",0.000,0.500,0.250,0.0,0.0,0.0");

  EXPECT_TRUE(bench.Compose(
      Loco({.pantograph = "<kuid:9:9>", .bogeys = {"<kuid:5:5>"}}, {At("a.pant0", {2, 0, 4})})));
  EXPECT_EQ(Kuids(),
            (std::vector<std::string>{"<kuid:5:5>", "<kuid:5:5>", "<kuid:9:9>", "<kuid:9:9>"}));
  EXPECT_EQ(bench.state.PartList[3].subAttachmentLine, "\"a.arm\",0.000,0.500,0.250,0.0,0.0,0.0");
  EXPECT_FLOAT_EQ(bench.state.PartList[3].position.x, 2);
  ASSERT_EQ(bench.scene.ModelCount(), 5u);
  EXPECT_EQ(bench.state.ModelFiles[4], panto / "arm.im");
}

TEST_F(ComposeTest, ModelsAndRecordsStayPairedAfterAMissingMesh) {
  const auto part = world.editing / "part";
  WriteConfig(part, {.kuid = "<kuid:4:4>",
                     .kind = "bogey",
                     .meshes = {{.name = "a", .mesh = "gone.im", .autoCreate = "1"},
                                {.name = "b", .mesh = "here.im", .autoCreate = "1"}}});
  fixtures::WriteFile(part / "here.im", MeshWith({}));
  EXPECT_TRUE(bench.Compose(Loco({.bogeys = {"<kuid:4:4>", "<kuid:8:8>"}})));
  EXPECT_EQ(Kuids(), (std::vector<std::string>{"skip", "<kuid:4:4>", "skip"}));
  ASSERT_EQ(bench.scene.ModelCount(), 2u);
  const ModelPlacement placed = PlaceModel(bench.state, 1);
  EXPECT_EQ(placed.source, ModelPlacement::Source::Part);
  EXPECT_EQ(placed.index, 1);
  EXPECT_EQ(PlaceModel(bench.state, 2).source, ModelPlacement::Source::None);
}

TEST_F(ComposeTest, APartWithTooManyMeshesFillsThePartListAndNoMore) {
  const auto part = world.editing / "multi";
  AssetConfig config{.kuid = "<kuid:6:6>", .kind = "bogey"};
  for (int k = 0; k < 26; ++k) {
    const std::string name = "part" + std::to_string(k) + ".im";
    config.meshes.push_back({.name = "m" + std::to_string(k), .mesh = name, .autoCreate = "1"});
    fixtures::WriteFile(part / name, MeshWith({}));
  }
  WriteConfig(part, config);
  EXPECT_TRUE(bench.Compose(Loco({.bogeys = {"<kuid:6:6>"}})));

  EXPECT_EQ(bench.state.PartCount, 21);
  const auto& log = bench.state.Memo1.lines;
  EXPECT_EQ(std::count(log.begin(), log.end(),
                       "Part <kuid:6:6> has more than 25 meshes: the rest are left out"),
            2);
  // The first bogey got 20 records; the second, moved to the last place,
  // keeps its first mesh.
  EXPECT_EQ(bench.scene.ModelCount(), 1u + 20u + 1u);
  EXPECT_EQ(bench.state.ModelFiles[20], part / "part19.im");
  EXPECT_EQ(bench.state.ModelFiles[21], part / "part0.im");
  EXPECT_EQ(PlaceModel(bench.state, 21).index, 20);
}

TEST(PartMeshListTest, ChoosesTheMeshesOfAPart) {
  testing::TempDir dir;
  RecordingNotifier notifier;
  EXPECT_EQ(PartMeshList(dir.path(), notifier), "");
  const auto autoCreated = [](const char* flag) {
    return AssetConfig{.kind = "bogey",
                       .meshes = {{.name = "d", .mesh = "frame.im", .autoCreate = flag}}};
  };
  const std::pair<AssetConfig, std::string> rows[] = {
      {{.kind = "bogey", .meshes = {{.name = "default", .mesh = "x.im"}}}, "default.pm"},
      {{.kind = "bogey", .assetFilename = "wheels"}, "wheels.pm"},
      {{.kind = "bogey", .assetFilename = "abc"}, "default.pm"},
      {autoCreated("1"), "frame.im"},
      {autoCreated("0"), "default.pm"}};
  WriteConfig(dir.path(), rows[0].first);
  EXPECT_EQ(PartMeshList(dir.path(), notifier), "") << "no mesh file yet";
  fixtures::WriteFile(dir / "Default.PM", MeshWith({}));
  for (const auto& [config, meshes] : rows) {
    WriteConfig(dir.path(), config);
    EXPECT_EQ(PartMeshList(dir.path(), notifier), meshes);
  }
}

// ----- placement -----------------------------------------------------------------

TEST(PlacementTest, AttachmentLinesBecomeViewTransforms) {
  using K = PlacementStep::Kind;
  EXPECT_EQ(AttachmentLineSteps("\"a.x\",1.5,2,-3,10,20,30"),
            (std::vector<PlacementStep>{{K::Translate, 0, 1.5f, -3, -2},
                                        {K::Rotate, -30, 0, 1, 0},
                                        {K::Rotate, 20, 0, 0, 1},
                                        {K::Rotate, -10, 1, 0, 0}}));
  // A field that is not a number counts as 3.
  EXPECT_EQ(AttachmentLineSteps("\"a.x\",oops,0,0,0,0")[0],
            (PlacementStep{K::Translate, 0, 3, 0, -0.0f}));

  // Parts add their sub-attachment only when it has seven fields.
  TraincarState state;
  state.MeshCount = 1;
  state.MeshEntry[0].attachmentLine = "\"a.horn\",1,2,3,0,0,0";
  state.PartCount = 2;
  state.PartList[0] = {{1, 2, 3}, {10, 20, 30}, "<kuid:1:1>", "\"a.arm\",0,0,1,0,0,0"};
  state.PartList[1] = {{0, 0, 0}, {0, 0, 0}, "<kuid:1:1>", "\"a.arm\",0,0,1"};
  const ModelPlacement mesh = PlaceModel(state, 0);
  EXPECT_EQ(mesh.source, ModelPlacement::Source::Mesh);
  ASSERT_EQ(mesh.steps.size(), 4u);
  EXPECT_EQ(mesh.steps[0], (PlacementStep{PlacementStep::Kind::Translate, 0, 1, 3, -2}));

  const ModelPlacement part = PlaceModel(state, 1);
  ASSERT_EQ(part.steps.size(), 8u);
  EXPECT_EQ(part.steps[0], (PlacementStep{PlacementStep::Kind::Translate, 0, 1, 3, -2}));
  EXPECT_EQ(part.steps[1], (PlacementStep{PlacementStep::Kind::Rotate, -30, 0, 1, 0}));
  EXPECT_EQ(part.steps[4], (PlacementStep{PlacementStep::Kind::Translate, 0, 0, 1, 0}));
  EXPECT_EQ(PlaceModel(state, 2).steps.size(), 4u);
}

}  // namespace
}  // namespace kelvane
