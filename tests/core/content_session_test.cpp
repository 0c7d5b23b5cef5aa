// The content session: what an open replaces, what a reload takes over,
// and what a traincar's composition shows when parts of it fail.

#include "session/content_session.h"

#include <gtest/gtest.h>

#include "fixtures/asset_writer.h"
#include "fixtures/byte_writer.h"
#include "support/temp_dir.h"
#include "view/frame.h"

namespace kelvane {
namespace {

namespace fs = std::filesystem;
namespace fx = kelvane::fixtures;

class ContentSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { sample = fx::WriteSampleTraincar(dir.path(), KELVANE_STANDIN); }

  void Replace(const fs::path& file, const std::string& from, const std::string& to) {
    std::string text = testing::ReadText(file);
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    fx::WriteTextFile(file, text);
  }

  testing::TempDir dir;
  fx::SampleTraincar sample;
  RecordingNotifier shown;
};

TEST_F(ContentSessionTest, TraincarReloadsWhatWasOpenedAndKeepsTheLastGoodOne) {
  ContentSession session({.notifier = &shown});
  const OpenOutcome first = session.Open(sample.locomotive);
  ASSERT_TRUE(first.loaded) << first.reason;
  EXPECT_EQ(session.Kind(), ContentKind::kTraincar);
  EXPECT_EQ(session.OpenedPath(), sample.locomotive / "config.txt");
  EXPECT_EQ(first.recentLabel, "locomotive");
  const std::size_t models = session.Scene()->ModelCount();

  // The composition ends in a part's folder; the reload still reads the car.
  Replace(sample.locomotive / "config.txt", "Class 7 electric", "Class 8 electric");
  const OpenOutcome edited = session.Reload();
  ASSERT_TRUE(edited.loaded) << edited.reason;
  EXPECT_EQ(session.Traincar()->UserName, "\"Class 8 electric\"");
  EXPECT_EQ(session.Scene()->ModelCount(), models);

  const std::string body = testing::ReadText(sample.locomotive / "body.im");
  fx::WriteTextFile(sample.locomotive / "body.im", body.substr(0, body.size() / 2));
  const T3DScene* good = session.Scene();
  const OpenOutcome damaged = session.Reload();
  EXPECT_FALSE(damaged.loaded);
  EXPECT_FALSE(damaged.replaced);
  EXPECT_FALSE(damaged.reason.empty());
  EXPECT_EQ(session.Scene(), good);
  EXPECT_TRUE(session.Loaded());

  fx::WriteTextFile(sample.locomotive / "body.im", body);
  EXPECT_TRUE(session.Reload().loaded);
  EXPECT_TRUE(shown.notices.empty()) << "a reload shows no message box";
}

TEST_F(ContentSessionTest, AnOpenThatLoadsNothingKeepsWhatIsOpen) {
  ContentSession session({.notifier = &shown});
  ASSERT_TRUE(session.Open(sample.locomotive).loaded);
  const T3DScene* car = session.Scene();
  fx::WriteTextFile(dir.path() / "broken.im", "not a mesh at all");
  fs::create_directories(dir.path() / "no-config");
  const struct {
    fs::path path;
    std::string reason;
  } rows[] = {{dir.path() / "broken.im", "not a mesh file"},
              {dir.path() / "missing.im", "File not found"},
              {dir.path() / "no-config", "Cannot find \"config.txt\" file. Cannot proceed."}};
  for (const auto& row : rows) {
    const OpenOutcome o = session.Open(row.path);
    EXPECT_FALSE(o.loaded) << row.path;
    EXPECT_FALSE(o.replaced) << row.path;
    EXPECT_EQ(o.reason, row.reason) << row.path;
    EXPECT_EQ(session.Scene(), car) << row.path;
    EXPECT_EQ(session.Kind(), ContentKind::kTraincar);
  }
  // With nothing open, a failed open is what is open: the headless modes
  // describe it.
  ContentSession fresh({});
  EXPECT_TRUE(fresh.Open(dir.path() / "broken.im").replaced);
  EXPECT_FALSE(fresh.Loaded());
  EXPECT_EQ(fresh.Kind(), ContentKind::kMesh);
}

TEST_F(ContentSessionTest, AMeshThatFailsIsLeftOutAndTheRestShown) {
  fs::path lamp;
  for (const auto& entry : fs::recursive_directory_iterator(sample.installation))
    if (entry.path().filename() == "lamp.im") lamp = entry.path();
  ASSERT_FALSE(lamp.empty());
  fx::WriteTextFile(lamp, "damaged beyond reading");
  ContentSession session({});
  const OpenOutcome o = session.Open(sample.locomotive);
  EXPECT_TRUE(o.loaded) << o.reason;
  EXPECT_TRUE(session.Loaded());
  ASSERT_GT(session.Scene()->ModelCount(), 1u);
  EXPECT_EQ(o.modelsLoaded, session.Scene()->ModelCount() - 1);
}

TEST_F(ContentSessionTest, FirstViewIsTakenFromTheFirstMeshThatLoads) {
  const fs::path car = sample.editing / "shadow-first";
  fs::create_directories(car);
  fs::copy_file(sample.locomotive / "body.im", car / "body.im");
  fs::copy_file(sample.locomotive / "shadow.im", car / "shadow.im");
  for (const auto& rows : std::vector<std::vector<fx::MeshTableEntry>>{
           {{.name = "shadow", .mesh = "shadow.im"}, {.name = "default", .mesh = "body.im"}},
           {{.name = "lost", .mesh = "missing.im"}, {.name = "default", .mesh = "body.im"}}}) {
    fx::WriteConfig(car, {.kuid = "<kuid:414243:2000>", .username = "\"Car\"", .meshes = rows});
    ContentSession session({});
    const OpenOutcome o = session.Open(car);
    ASSERT_TRUE(o.loaded) << o.reason;
    ASSERT_TRUE(o.firstView.has_value()) << rows.front().name;
    EXPECT_EQ(o.firstView->rotY, 60.0f);
    // Framed on the body, the one mesh that loaded.
    ContentSession body({});
    body.Open(car / "body.im");
    EXPECT_EQ(o.firstView->zoom, FramingZoom(*body.Unit(), false)) << rows.front().name;
    EXPECT_NE(o.firstView->zoom, 1.0f);
  }
}

TEST_F(ContentSessionTest, PlacementsAreComputedWhenTheCarIsComposed) {
  ContentSession session({});
  ASSERT_TRUE(session.Open(sample.locomotive).loaded);
  const T3DScene& scene = *session.Scene();
  for (std::size_t i = 0; i < scene.ModelCount(); ++i)
    EXPECT_EQ(scene.Model(i).placement, PlaceModel(*session.Traincar(), i).steps) << i;
  // The horn hangs from the body, the parts stand at their points.
  EXPECT_FALSE(scene.Model(1).placement.empty());
  EXPECT_FALSE(scene.Model(scene.ModelCount() - 1).placement.empty());
}

TEST(ContentKindTest, PathsOpenByFolderNameOrFirstBytes) {
  testing::TempDir dir;
  const fs::path renamed = dir.path() / "mesh.bin";
  fx::WriteTextFile(renamed, std::string("JIRF\x10\0\0\0IDXM", 12) + std::string(8, '\0'));
  fx::WriteTextFile(dir.path() / "picture.bin", "BM not a mesh");
  EXPECT_EQ(ContentKindOf(dir.path()), ContentKind::kTraincar);
  EXPECT_EQ(ContentKindOf("config.txt"), ContentKind::kTraincar);
  EXPECT_EQ(ContentKindOf(dir.path() / "x.PM"), ContentKind::kMesh);
  EXPECT_EQ(ContentKindOf(renamed), ContentKind::kMesh);
  EXPECT_EQ(ContentKindOf(dir.path() / "picture.bin"), ContentKind::kNothing);
}

}  // namespace
}  // namespace kelvane
