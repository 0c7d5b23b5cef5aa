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

TEST(InitBumpExtensions, AllFourNamesGiveSupport) {
  BumpState state;
  RecordingFinder finder;
  EXPECT_TRUE(InitBumpExtensions(state, kAll, finder.Finder()));
  EXPECT_TRUE(state.BumpSupported);
  ASSERT_EQ(finder.asked.size(), 2u + 32u + 5u);
  EXPECT_EQ(finder.asked[0], "glActiveTextureARB");
  EXPECT_EQ(finder.asked[1], "glClientActiveTextureARB");
  EXPECT_EQ(finder.asked[2], "glMultiTexCoord1dARB");
  EXPECT_EQ(finder.asked[3], "glMultiTexCoord1dvARB");
  EXPECT_EQ(finder.asked[33], "glMultiTexCoord4svARB");
  EXPECT_EQ(finder.asked[34], "glEnableClientState");
  EXPECT_EQ(finder.asked[38], "glDrawElements");
  EXPECT_NE(state.entries.MultiTexCoord2f, nullptr);
  EXPECT_NE(state.entries.MultiTexCoord3f, nullptr);
}

TEST(InitBumpExtensions, EachMissingNameRefusesSupport) {
  for (const std::string missing :
       {"GL_EXT_texture_cube_map", "GL_ARB_texture_env_combine", "GL_ARB_texture_env_dot3"}) {
    std::string list = kAll;
    list.erase(list.find(missing), missing.size());
    BumpState state;
    state.BumpSupported = true;
    RecordingFinder finder;
    EXPECT_FALSE(InitBumpExtensions(state, list, finder.Finder())) << missing;
    EXPECT_FALSE(state.BumpSupported);
    EXPECT_FALSE(finder.asked.empty());  // multitexture alone loads the entries
  }
}

TEST(InitBumpExtensions, OnlyTheExtCubeMapNameCounts) {
  BumpState state;
  RecordingFinder finder;
  EXPECT_FALSE(InitBumpExtensions(state,
                                  "GL_ARB_multitexture GL_ARB_texture_cube_map "
                                  "GL_ARB_texture_env_combine GL_ARB_texture_env_dot3",
                                  finder.Finder()));
}

TEST(InitBumpExtensions, WithoutMultitextureNothingIsLookedUp) {
  BumpState state;
  state.entries.ActiveTexture =
      reinterpret_cast<PFNGLACTIVETEXTUREARBPROC>(&RecordingFinder::Dummy);
  RecordingFinder finder;
  EXPECT_FALSE(InitBumpExtensions(state,
                                  "GL_EXT_texture_cube_map GL_ARB_texture_env_combine "
                                  "GL_ARB_texture_env_dot3",
                                  finder.Finder()));
  EXPECT_TRUE(finder.asked.empty());
  EXPECT_EQ(state.entries.ActiveTexture, nullptr);  // stale entries do not survive
}

TEST(InitBumpExtensions, AnUnknownNameLeavesANullEntry) {
  BumpState state;
  RecordingFinder finder;
  finder.unknown = "glMultiTexCoord3fARB";
  EXPECT_TRUE(InitBumpExtensions(state, kAll, finder.Finder()));
  EXPECT_EQ(state.entries.MultiTexCoord3f, nullptr);
  EXPECT_NE(state.entries.MultiTexCoord2f, nullptr);
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
}

TEST(NormalisationCubeMap, FacesPointAlongTheirAxis) {
  // The centre texels of +Y and -Y: green high, then low.
  EXPECT_GT(Texel(2, 16, 16)[1], 250);
  EXPECT_LT(Texel(3, 16, 16)[1], 5);
  EXPECT_GT(Texel(4, 16, 16)[2], 250);
}

TEST(PackNormal, MapsMinusOneToOneOntoZeroToOne) {
  const TVector3 p = PackNormal({-1.0f, 0.0f, 1.0f});
  EXPECT_FLOAT_EQ(p.x, 0.0f);
  EXPECT_FLOAT_EQ(p.y, 0.5f);
  EXPECT_FLOAT_EQ(p.z, 1.0f);
}

}  // namespace
}  // namespace kelvane
