#include "textures/bump_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kelvane {
namespace {

// A lookup that records the names asked for and knows all but `unknown`.
struct RecordingFinder {
  std::vector<std::string> asked;
  std::string unknown;
  GlProcFinder Finder() {
    return [this](const char* name) -> GlProc {
      asked.emplace_back(name);
      if (unknown == name) return nullptr;
      return reinterpret_cast<GlProc>(&RecordingFinder::Dummy);
    };
  }
  static void Dummy() {}
};

constexpr const char* kAll =
    "GL_ARB_multitexture GL_EXT_texture_cube_map GL_ARB_texture_env_combine "
    "GL_ARB_texture_env_dot3";

// All four names give support; an entry the lookup does not know stays null.
TEST(InitBumpExtensions, AllFourNamesGiveSupport) {
  BumpState state;
  RecordingFinder finder;
  finder.unknown = "glMultiTexCoord3fARB";
  EXPECT_TRUE(InitBumpExtensions(state, kAll, finder.Finder()));
  EXPECT_TRUE(state.BumpSupported);
  EXPECT_EQ(finder.asked.size(), 2u + 32u + 5u);
  EXPECT_NE(state.entries.MultiTexCoord2f, nullptr);
  EXPECT_EQ(state.entries.MultiTexCoord3f, nullptr);
}

std::vector<int> Texel(int face, int row, int column) {
  const CubeFace f = NormalisationCubeFace(face);
  const std::size_t at = static_cast<std::size_t>(row * 32 + column) * 3;
  return {f[at], f[at + 1], f[at + 2]};
}

TEST(NormalisationCubeMap, TexelsEncodeTheDirectionTheyFace) {
  EXPECT_EQ(Texel(0, 0, 0), (std::vector<int>{202, 200, 200}));    // +X (16, 15.5, 15.5)
  EXPECT_EQ(Texel(0, 15, 15), (std::vector<int>{254, 131, 131}));  // +X (16, 0.5, 0.5)
  EXPECT_EQ(Texel(5, 15, 15), (std::vector<int>{131, 131, 0}));    // -Z (0.5, 0.5, -16)
  EXPECT_EQ(Texel(1, 31, 0), (std::vector<int>{52, 54, 54}));      // -X (-16, -15.5, -15.5)
  // The centre texels of +Y and -Y: green high, then low; +Z: blue high.
  EXPECT_GT(Texel(2, 16, 16)[1], 250);
  EXPECT_LT(Texel(3, 16, 16)[1], 5);
  EXPECT_GT(Texel(4, 16, 16)[2], 250);
}

}  // namespace
}  // namespace kelvane
