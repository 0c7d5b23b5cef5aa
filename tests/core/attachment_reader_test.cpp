#include <gtest/gtest.h>

#include "fixtures/mesh_writer.h"
#include "mesh/attachment_reader.h"
#include "support/temp_dir.h"

namespace kelvane {
namespace {

using fixtures::kIdentity;
using fixtures::MeshWriter;

std::vector<std::string> Lines(const std::vector<std::byte>& bytes,
                               const std::string& name = "m.im") {
  TMesh mesh;
  mesh.SetFileName(name);
  mesh.ActivateFromMemory(bytes);
  return ListAttachments(mesh).lines;
}

// Names are trimmed but keep inner zero bytes; numbers round to three and
// one decimals with a point, and no minus sign on a rounded zero.
TEST(AttachmentLineTest, FormatsNamePositionAndAngles) {
  MeshWriter w;
  w.Attachments({{std::string("\t a.b\0g \0", 9), kIdentity, {1.5f, -2, 0.25f}},
                 {"", {0, 0, 1, 0, 1, 0, -1, 0, 0}, {0.0004f, -0.0004f, 12.3456f}}});
  EXPECT_EQ(Lines(w.Finish()),
            (std::vector<std::string>{std::string("\"a.b\0g\",1.500,-2.000,0.250,0.0,0.0,0.0", 38),
                                      "\"\",0.000,0.000,12.346,0.0,90.0,0.0"}));
}

TEST(AttachmentReaderTest, EveryAtchChunkIsDecodedInFileOrder) {
  MeshWriter w;
  w.Attachments({{"a.bog0", kIdentity, {1, 0, 0}}});
  w.Material({.name = "x"}, fixtures::Box("b", {0, 0, 0}, {1, 1, 1}));
  w.Attachments({{"a.bog0", kIdentity, {2, 0, 0}}});
  TMesh mesh;
  mesh.ActivateFromMemory(w.Finish());
  EXPECT_EQ(mesh.ChunkCount(), 3);
  EXPECT_EQ(mesh.Chunk(1).TagText(), "MATL");
  EXPECT_EQ(mesh.Chunk(1).position, 12 + 8 + (4 + 4 + 4 + 6 + 36 + 12));
  const auto list = ListAttachments(mesh);
  ASSERT_EQ(list.lines.size(), 2u);
  EXPECT_EQ(list.lines[1], "\"a.bog0\",2.000,0.000,0.000,0.0,0.0,0.0");
  EXPECT_TRUE(list.problems.empty());
}

TEST(AttachmentReaderTest, DamagedAtchKeepsTheWholeEntriesBeforeItAndSaysWhere) {
  MeshWriter w;
  w.Raw("PMIN", std::vector<std::byte>(4));
  w.Attachments({{"first", kIdentity, {}}, {"second", kIdentity, {}}, {"third", kIdentity, {}}});
  auto bytes = w.Finish();
  // The flag bit is not removed by this reader: 1 GiB for the second name.
  const std::size_t second = 12 + 12 + 8 + 8 + 4 + 5 + 48;
  bytes[second + 3] = std::byte{0x40};
  TMesh mesh;
  mesh.SetFileName("C:/x/body.im");
  mesh.ActivateFromMemory(bytes);
  const auto list = ListAttachments(mesh);
  ASSERT_EQ(list.lines.size(), 1u);
  EXPECT_EQ(list.lines[0].substr(0, 8), "\"first\",");
  ASSERT_EQ(list.problems.size(), 1u);
  EXPECT_EQ(list.problems[0], "The mesh file \"C:/x/body.im\" is damaged at byte " +
                                  std::to_string(second) +
                                  ": an attachment name of 1073741830 bytes runs past the end of "
                                  "the chunk. The attachment points before it are used.");

  const TATCH empty(std::span<const std::byte>{});
  EXPECT_EQ(empty.Count(), 0);
  ASSERT_TRUE(empty.Fault().has_value());
  EXPECT_EQ(empty.Fault()->what, "the ATCH chunk ends inside the attachment header");
}

}  // namespace
}  // namespace kelvane
