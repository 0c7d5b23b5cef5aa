// Runs the real executable, as a user or a script would.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "fixtures/mesh_writer.h"
#include "fixtures/sample_assets.h"
#include "support/temp_dir.h"

namespace kelvane {
namespace {

using fixtures::MeshWriter;
using Json = nlohmann::json;

struct ProcessResult {
  int status = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

std::string Quote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

ProcessResult Kelvane(const std::vector<std::string>& args, const testing::TempDir& dir) {
  std::string command = Quote(KELVANE_EXE);
  for (const auto& a : args)
    command += " " + Quote(a);
  const auto errFile = dir / "stderr.txt";
  command += " 2>" + Quote(errFile.string());
  ProcessResult run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> buffer;
  std::size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    run.out.append(buffer.data(), n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  if (FILE* e = fopen(errFile.c_str(), "r")) {
    while ((n = fread(buffer.data(), 1, buffer.size(), e)) > 0)
      run.err.append(buffer.data(), n);
    fclose(e);
  }
  return run;
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
  EXPECT_EQ(info["bounds"]["min"][0].get<float>(), -6.8f);
  // The door is moved by its bone from the origin to the wagon's side.
  const Json door = Info(fixtures::SampleWagonMesh(), 0, {"--geometry"})["objects"][3];
  ASSERT_EQ(door["name"], "door");
  EXPECT_FLOAT_EQ(door["positions"][0][1].get<float>(), 2.35f - 1.1f);
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
  EXPECT_EQ(compressed["messages"][0]["caption"], "Info");
  EXPECT_EQ(compressed["messages"][0]["text"], "Cannot decode compressed content");
  EXPECT_FALSE(compressed.contains("attachment_lines")) << "the attachment reader refused it";
  EXPECT_NE(compressed["messages"][1]["text"].get<std::string>().find("MESH001F file "),
            std::string::npos);
  EXPECT_TRUE(compressed["bounds"].is_null());

  MeshWriter w;
  w.Material({.name = "m"}, fixtures::Box("b", {0, 0, 0}, {1, 1, 1}));
  auto cut = w.Finish();
  cut.erase(cut.end() - 100, cut.end());
  const Json damaged = Info(cut, 0);
  EXPECT_TRUE(damaged["loaded"]);
  ASSERT_EQ(damaged["messages"].size(), 2u);  // the model reader's, then the MESH001F one
  EXPECT_NE(damaged["messages"][0]["text"].get<std::string>().find("is damaged at byte"),
            std::string::npos);

  const ProcessResult missing = Kelvane({"--info", (dir / "nothing.im").string()}, dir);
  EXPECT_EQ(missing.status, 1);
  EXPECT_FALSE(Json::parse(missing.out)["loaded"]);
}

TEST_F(InfoCommandTest, UsageErrorsHelpAndVersion) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--info"}, {"--bogus"}, {"--geometry"}, {"--info", "a.im", "b.im"}}) {
    const ProcessResult run = Kelvane(args, dir);
    EXPECT_EQ(run.status, 2) << args[0];
    EXPECT_TRUE(run.out.empty());
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
  }
  const ProcessResult help = Kelvane({"--help"}, dir);
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--info", "--geometry", "--version", "--help"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  const ProcessResult version = Kelvane({"--version"}, dir);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("kelvane ", 0), 0u) << version.out;
}

}  // namespace
}  // namespace kelvane
