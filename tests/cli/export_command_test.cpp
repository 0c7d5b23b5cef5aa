// kelvane --export end to end, judged by programs no one here wrote: the
// Khronos validator reads each file, f3d draws it from the camera
// --render uses, and the pictures and counts are held against --texture
// and --info.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <map>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "fixtures/asset_writer.h"
#include "fixtures/byte_writer.h"
#include "fixtures/material_showcase.h"
#include "fixtures/mesh_writer.h"
#include "fixtures/sample_assets.h"
#include "support/glb_reader.h"
#include "support/image_compare.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace kelvane {
namespace {

namespace fs = std::filesystem;
namespace fx = kelvane::fixtures;
using Json = nlohmann::json;
using testing::ProcessResult;

// The longest any outside program may take before the test gives up on it.
constexpr const char* kDeadlineSeconds = "180";

class ExportCommandTest : public ::testing::Test {
 public:
  void SetUp() override {
    fx::WriteSampleAssets(dir.path());
    sample = fx::WriteSampleTraincar(dir.path(), KELVANE_STANDIN);
  }
  ProcessResult Kelvane(const std::vector<std::string>& args) {
    return testing::RunProgram(KELVANE_EXE, args, dir);
  }
  // Runs a program under the deadline; a missing program or an overrun
  // fails the test with what was waited for.
  ProcessResult Outside(const std::string& what, std::vector<std::string> args) {
    args.insert(args.begin(), kDeadlineSeconds);
    const ProcessResult run = testing::RunProgram("timeout", args, dir);
    if (run.status == 124)
      ADD_FAILURE() << what << " did not finish within " << kDeadlineSeconds << " s";
    if (run.status == 127)
      ADD_FAILURE() << what << " is not installed (scripts/install-deps.sh test): " << run.err;
    return run;
  }
  fs::path Export(const fs::path& path, const std::string& name,
                  const std::vector<std::string>& more = {}) {
    const fs::path out = dir / name;
    std::vector<std::string> args{"--export", path.string(), "-o", out.string()};
    args.insert(args.end(), more.begin(), more.end());
    const ProcessResult run = Kelvane(args);
    EXPECT_EQ(run.status, 0) << run.err;
    return out;
  }
  // The validator's summary; a report with an error or a warning fails.
  void Validate(const fs::path& file) {
    const ProcessResult run =
        Outside("the glTF validator", {"node", KELVANE_GLTF_VALIDATOR, file.string()});
    EXPECT_EQ(run.status, 0) << file.filename() << ": " << run.out << run.err;
    const Json summary = Json::parse(run.out, nullptr, false);
    ASSERT_FALSE(summary.is_discarded()) << run.out << run.err;
    EXPECT_EQ(summary["errors"], 0) << summary.dump();
    EXPECT_EQ(summary["warnings"], 0) << summary.dump();
    std::cout << "validator, " << file.filename().string() << ": " << summary["errors"]
              << " errors, " << summary["warnings"] << " warnings, " << summary["infos"]
              << " infos, " << summary["hints"] << " hints\n";
  }
  Json Info(const fs::path& path) {
    const ProcessResult run = Kelvane({"--info", path.string()});
    EXPECT_EQ(run.status, 0) << run.err;
    return Json::parse(run.out);
  }

  testing::TempDir dir;
  fx::SampleTraincar sample;
  fs::path Wagon() const { return dir / "wagon" / "wagon.im"; }
};

TEST_F(ExportCommandTest, TheValidatorFindsNoErrorAndNoWarning) {
  Validate(Export(Wagon(), "wagon.glb"));
  Validate(Export(sample.locomotive, "locomotive.glb"));
  Validate(Export(fx::WriteMaterialShowcase(dir.path()), "showcase.glb"));
  fs::create_directories(dir / "apart");
  Validate(Export(sample.locomotive, "apart/locomotive.gltf"));
  Validate(Export(sample.locomotive, "locomotive-track.glb", {"--track"}));
  Validate(Export(sample.locomotive, "apart/locomotive-track.gltf",
                  {"--track", "--gauge", "1.0", "--tie-spacing", "300"}));
}

// The mask of a picture: the texels that differ from the background, and
// with `apartFromGround` only those that are not grass green either (the
// ground is green in both renderers however it is lit).
std::vector<bool> Mask(const testing::RgbImage& image, const std::vector<int>& background,
                       bool apartFromGround = false) {
  std::vector<bool> mask(static_cast<std::size_t>(image.width) * image.height);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const auto c = image.At(x, y);
      bool differs = false;
      for (int k = 0; k < 3; ++k)
        differs = differs || std::abs(c[k] - background[k]) > 8;
      const bool green = c[1] > c[0] + 12 && c[1] > c[2] + 12;
      mask[static_cast<std::size_t>(y) * image.width + x] = differs && !(apartFromGround && green);
    }
  }
  return mask;
}

// Intersection over union of two masks, with the counts said.
double Iou(const std::vector<bool>& a, const std::vector<bool>& b, const std::string& what) {
  std::size_t both = 0, either = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    both += a[i] && b[i];
    either += a[i] || b[i];
  }
  EXPECT_GT(either, a.size() / 50) << what << " covers next to nothing of the picture";
  const double iou = either ? static_cast<double>(both) / either : 0;
  std::cout << what << " of kelvane --render and f3d agree with IoU " << iou << " (" << both
            << " / " << either << " texels)\n";
  return iou;
}

struct Camera {
  std::array<double, 3> eye, focus, up;
};

// The viewer's camera (45 degrees high, eye (0, 20, 120) looking at
// (0, 30, 0), y up) with the model turned by rotX about x, then rotY about
// y, and scaled by zoom: the same picture comes from moving the camera the
// opposite way in the model's frame, with distances divided by the zoom.
Camera ViewerCamera(double rotX, double rotY, double zoom) {
  auto back = [&](std::array<double, 3> v, bool point) {
    const double a = -rotX * std::numbers::pi / 180, b = -rotY * std::numbers::pi / 180;
    v = {v[0], std::cos(a) * v[1] - std::sin(a) * v[2], std::sin(a) * v[1] + std::cos(a) * v[2]};
    v = {std::cos(b) * v[0] + std::sin(b) * v[2], v[1], -std::sin(b) * v[0] + std::cos(b) * v[2]};
    if (point) {
      for (double& c : v)
        c /= zoom;
    }
    return v;
  };
  return {back({0, 20, 120}, true), back({0, 30, 0}, true), back({0, 1, 0}, false)};
}

std::string Triple(const std::array<double, 3>& v) {
  return std::to_string(v[0]) + "," + std::to_string(v[1]) + "," + std::to_string(v[2]);
}

struct Agreement {
  double whole = 0;            // every texel not of the background
  double apartFromGround = 0;  // and not of the ground
};

// Draws `path` with --render and its export with f3d from the same camera
// and returns the masks' intersection over union.
Agreement MaskAgreement(ExportCommandTest& t, const fs::path& path, const fs::path& glb,
                        const std::string& name, double rotX, double rotY, double zoom,
                        bool track = false) {
  const fs::path ours = t.dir / (name + "-kelvane.png"), theirs = t.dir / (name + "-f3d.png");
  std::vector<std::string> render{"--render",  path.string(),
                                  "-o",        ours.string(),
                                  "--size",    "400x300",
                                  "--rot",     std::to_string(rotX) + "," + std::to_string(rotY),
                                  "--zoom",    std::to_string(zoom),
                                  "--no-axes", "--background",
                                  "0xFF00FF"};
  // Without the track unless the export has it, at the viewer's gauge.
  if (!track) render.insert(render.end(), {"--gauge", "0"});
  const ProcessResult drawn = t.Kelvane(render);
  if (drawn.status == 1 && drawn.err.find("no GL context") != std::string::npos) {
    ADD_FAILURE() << "kelvane --render has no headless GL context here: " << drawn.err;
    return {};
  }
  EXPECT_EQ(drawn.status, 0) << drawn.err;
  const Camera c = ViewerCamera(rotX, rotY, zoom);
  // xvfb-run -a can race another test for a display number; it says so
  // and the next try gets another.
  const std::vector<std::string> f3dArgs{"xvfb-run",
                                         "-a",
                                         "-s",
                                         "-screen 0 1280x1024x24",
                                         "f3d",
                                         "--dry-run",
                                         "--quiet",
                                         glb.string(),
                                         "--output",
                                         theirs.string(),
                                         "--resolution",
                                         "400,300",
                                         "--bg-color",
                                         "1,0,1",
                                         "--camera-position",
                                         Triple(c.eye),
                                         "--camera-focal-point",
                                         Triple(c.focus),
                                         "--camera-view-up",
                                         Triple(c.up),
                                         "--camera-view-angle",
                                         "45"};
  ProcessResult f3d;
  for (int attempt = 0; attempt < 3; ++attempt) {
    f3d = t.Outside("f3d under xvfb-run", f3dArgs);
    if (f3d.err.find("Xvfb failed to start") == std::string::npos) break;
  }
  EXPECT_EQ(f3d.status, 0) << "f3d could not draw " << glb << ": " << f3d.out << f3d.err;
  const auto a = testing::ReadPng(ours), b = testing::ReadPng(theirs);
  if (!a || !b) {
    ADD_FAILURE() << "no picture from " << (a ? "f3d" : "kelvane --render");
    return {};
  }
  EXPECT_EQ(a->width, b->width);
  EXPECT_EQ(a->height, b->height);
  if (a->width != b->width || a->height != b->height) return {};
  const std::vector<int> background{255, 0, 255};
  return {Iou(Mask(*a, background), Mask(*b, background), name + ": object masks"),
          Iou(Mask(*a, background, true), Mask(*b, background, true),
              name + ": masks apart from the ground")};
}

TEST_F(ExportCommandTest, F3dDrawsTheExportWhereTheViewerDrawsTheAsset) {
  EXPECT_GE(MaskAgreement(*this, Wagon(), Export(Wagon(), "wagon.glb"), "wagon", 15, 30, 4).whole,
            0.95);
  EXPECT_GE(MaskAgreement(*this, sample.locomotive, Export(sample.locomotive, "locomotive.glb"),
                          "locomotive", 20, 60, 3)
                .whole,
            0.95);
  // With its track, from far enough for the whole ground to lie inside the
  // picture. The ground fills most of the mask and hides a track moved by
  // metres, so the car, rails, sleepers and ballast are held apart from it.
  const Agreement track = MaskAgreement(
      *this, sample.locomotive, Export(sample.locomotive, "locomotive-track.glb", {"--track"}),
      "locomotive-track", 35, 60, 1.5, true);
  EXPECT_GE(track.whole, 0.95);
  EXPECT_GE(track.apartFromGround, 0.95);
}

// The file a picture was decoded from, looked for under `root`.
fs::path FindFile(const fs::path& root, const std::string& name) {
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.path().filename() == name) return entry.path();
  }
  return {};
}

// Every picture inside the .glb decodes to the pixels --texture gives for
// its file, loaded as the material loads it.
void PicturesMatchTheTextureMode(ExportCommandTest& t, const fs::path& glbFile,
                                 const std::vector<fs::path>& roots) {
  const auto glb = testing::ReadGlb(glbFile);
  ASSERT_TRUE(glb) << glbFile;
  const Json& doc = glb->document;
  ASSERT_TRUE(doc.contains("images"));
  for (std::size_t i = 0; i < doc["images"].size(); ++i) {
    const std::string name = doc["images"][i].value("name", std::string());
    SCOPED_TRACE(name);
    fs::path source;
    for (const fs::path& root : roots) {
      if (source.empty()) source = FindFile(root, name);
    }
    ASSERT_FALSE(source.empty()) << "no file named " << name;
    const fs::path inside = t.dir / ("inside-" + std::to_string(i) + ".png");
    const auto bytes = glb->ImageBytes(i);
    fx::WriteFile(inside,
                  std::span(reinterpret_cast<const std::byte*>(bytes.data()), bytes.size()));
    std::vector<std::uint8_t> alpha;
    const auto picture = testing::ReadPng(inside, &alpha);
    ASSERT_TRUE(picture) << "the picture inside does not decode";

    // How the material loaded it: a normal map and kind 6 with the
    // constant 255, a translucent material with its constant, else by kind.
    std::vector<std::string> how;
    for (const Json& m : doc["materials"]) {
      const auto usesImage = [&](const char* slot, const Json& where) {
        return where.contains(slot) &&
               doc["textures"][where[slot]["index"].get<std::size_t>()]["source"] == i;
      };
      if (usesImage("normalTexture", m)) how = {"--constant-alpha", "255"};
      if (usesImage("baseColorTexture", m["pbrMetallicRoughness"])) {
        // The track's images load as kind 2.
        const int kind = m.contains("extras") ? m["extras"]["kind"].get<int>() : 2;
        how = kind == 6 ? std::vector<std::string>{"--constant-alpha", "255"}
                        : std::vector<std::string>{"--kind", std::to_string(kind)};
      }
    }
    ASSERT_FALSE(how.empty()) << "no material uses the picture";
    const bool uniform =
        !alpha.empty() &&
        std::all_of(alpha.begin(), alpha.end(), [&](std::uint8_t a) { return a == alpha[0]; });
    if (uniform && how[0] == "--kind" && alpha[0] != 255)
      how = {"--constant-alpha", std::to_string(alpha[0])};

    const fs::path reference = t.dir / ("reference-" + std::to_string(i) + ".png");
    std::vector<std::string> args{"--texture", source.string(), "-o", reference.string()};
    args.insert(args.end(), how.begin(), how.end());
    const ProcessResult run = t.Kelvane(args);
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::uint8_t> referenceAlpha;
    const auto expected = testing::ReadPng(reference, &referenceAlpha);
    ASSERT_TRUE(expected);
    EXPECT_EQ(picture->width, expected->width);
    EXPECT_EQ(picture->height, expected->height);
    EXPECT_TRUE(picture->rgb == expected->rgb) << "colours differ";
    EXPECT_TRUE(alpha == referenceAlpha) << "alpha differs";
  }
}

TEST_F(ExportCommandTest, PicturesInsideDecodeToWhatTheTextureModeGives) {
  PicturesMatchTheTextureMode(*this, Export(Wagon(), "wagon.glb"), {dir / "wagon"});
  PicturesMatchTheTextureMode(*this, Export(sample.locomotive, "locomotive.glb"),
                              {sample.installation});
  // The track's images come from the program's data folder.
  const fs::path track = Export(sample.locomotive, "locomotive-track.glb", {"--track"});
  PicturesMatchTheTextureMode(*this, track,
                              {sample.installation, fs::path(KELVANE_EXE).parent_path()});
  const auto glb = testing::ReadGlb(track);
  ASSERT_TRUE(glb);
  std::set<std::string> names;
  for (const Json& image : glb->document["images"])
    names.insert(image.value("name", std::string()));
  EXPECT_EQ(names.count("BallastTexture.jpg"), 1u);
  EXPECT_EQ(names.count("GroundTexture.jpg"), 1u);
}

// Vertices, triangles and materials of every mesh of a document.
struct Counts {
  std::size_t meshNodes = 0, vertices = 0, triangles = 0, materials = 0;
};
Counts CountsOf(const Json& doc) {
  Counts c;
  for (const Json& node : doc["nodes"])
    c.meshNodes += node.contains("mesh");
  for (const Json& mesh : doc["meshes"]) {
    for (const Json& p : mesh["primitives"]) {
      c.vertices += doc["accessors"][p["attributes"]["POSITION"].get<std::size_t>()]["count"]
                        .get<std::size_t>();
      c.triangles +=
          doc["accessors"][p["indices"].get<std::size_t>()]["count"].get<std::size_t>() / 3;
    }
  }
  c.materials = doc["materials"].size();
  return c;
}

TEST_F(ExportCommandTest, CountsEqualWhatTheInfoModeReports) {
  const Json info = Info(Wagon());
  const auto glb = testing::ReadGlb(Export(Wagon(), "wagon.glb"));
  ASSERT_TRUE(glb);
  const Counts c = CountsOf(glb->document);
  std::size_t vertices = 0, faces = 0;
  for (const Json& o : info["objects"]) {
    vertices += o["vertex_count"].get<std::size_t>();
    faces += o["face_count"].get<std::size_t>();
  }
  EXPECT_EQ(c.meshNodes, info["objects"].size());
  EXPECT_EQ(c.materials, info["objects"].size()) << "each object has its own material";
  EXPECT_EQ(c.vertices, vertices);
  EXPECT_EQ(c.triangles, faces);
  EXPECT_EQ(c.triangles, info["face_count"].get<std::size_t>());
  // Attachment points by name; bones come on top of them (root and door).
  std::size_t points = 0;
  for (const Json& p : info["attachments"])
    points += glb->Node(p["name"]).has_value();
  EXPECT_EQ(points, info["attachments"].size());
  EXPECT_EQ(glb->document["nodes"].size(),
            1 + info["objects"].size() + info["attachments"].size() + 2);

  const Json car = Info(sample.locomotive);
  const auto carGlb = testing::ReadGlb(Export(sample.locomotive, "locomotive.glb"));
  ASSERT_TRUE(carGlb);
  std::size_t carFaces = 0;
  for (const Json& m : car["models"])
    carFaces += m["face_count"].get<std::size_t>();
  EXPECT_EQ(carGlb->document["scenes"][0]["nodes"].size(), car["models"].size());
  EXPECT_EQ(CountsOf(carGlb->document).triangles, carFaces);
}

// The track adds a node per rail and sleeper (sleepers every 2 m from
// -19.5 to 20.5: 21), one each for ballast and ground and one holding
// them; four meshes with a primitive per colour; eight materials.
TEST_F(ExportCommandTest, TheTrackAddsWhatTheViewerDraws) {
  const auto plain = testing::ReadGlb(Export(sample.locomotive, "locomotive.glb"));
  const auto track = testing::ReadGlb(
      Export(sample.locomotive, "locomotive-track.glb", {"--track", "--tie-spacing", "2000"}));
  ASSERT_TRUE(plain && track);
  const Json &a = plain->document, &b = track->document;
  EXPECT_EQ(b["nodes"].size(), a["nodes"].size() + 1 + 2 + 21 + 2);
  EXPECT_EQ(b["scenes"][0]["nodes"].size(), a["scenes"][0]["nodes"].size() + 1);
  EXPECT_EQ(b["meshes"].size(), a["meshes"].size() + 4);
  EXPECT_EQ(b["materials"].size(), a["materials"].size() + 8);
  // Rail 3 faces, sleeper 5, ballast 5 and ground 1, in two triangles each.
  EXPECT_EQ(CountsOf(b).triangles, CountsOf(a).triangles + 2 * (3 + 5 + 5 + 1));
  std::size_t sleepers = 0;
  for (const Json& node : b["nodes"])
    sleepers += node.value("name", std::string()) == "sleeper";
  EXPECT_EQ(sleepers, 21u);

  // A mesh stands on no track in the viewer; the track's options need it.
  ProcessResult run =
      Kelvane({"--export", Wagon().string(), "-o", (dir / "w.glb").string(), "--track"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--track is for a traincar"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir / "w.glb"));
  run = Kelvane(
      {"--export", sample.locomotive.string(), "-o", (dir / "g.glb").string(), "--gauge", "1.0"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("needs --track"), std::string::npos) << run.err;
  run = Kelvane({"--info", sample.locomotive.string(), "--track"});
  EXPECT_EQ(run.status, 2);
}

TEST_F(ExportCommandTest, BadInputWritesNothingOrWhatWasRead) {
  // Nothing loads: the reader's message, status 1, no file.
  fx::WriteFile(dir / "packed.im", fx::CompressedMesh(std::vector<std::byte>(16)));
  ProcessResult run =
      Kelvane({"--export", (dir / "packed.im").string(), "-o", (dir / "packed.glb").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("compressed"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir / "packed.glb"));

  // Damaged after its first objects: what was read, and the damage said.
  const std::vector<std::byte> whole = fx::SampleWagonMesh();
  fx::WriteFile(dir / "wagon" / "cut.im", std::span(whole.data(), whole.size() * 2 / 3));
  run =
      Kelvane({"--export", (dir / "wagon" / "cut.im").string(), "-o", (dir / "cut.glb").string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(run.err.empty()) << "the damage goes unmentioned";
  const auto cut = testing::ReadGlb(dir / "cut.glb");
  ASSERT_TRUE(cut);
  EXPECT_GT(CountsOf(cut->document).meshNodes, 0u);
  EXPECT_LT(CountsOf(cut->document).meshNodes, 8u);

  // An output that cannot be written.
  run = Kelvane({"--export", Wagon().string(), "-o", (dir / "no" / "such" / "x.glb").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir / "no"));

  run = Kelvane({"--export", Wagon().string(), "-o", (dir / "x.obj").string()});
  EXPECT_EQ(run.status, 2);
  run = Kelvane({"--export", Wagon().string()});
  EXPECT_EQ(run.status, 2);
}

}  // namespace
}  // namespace kelvane
