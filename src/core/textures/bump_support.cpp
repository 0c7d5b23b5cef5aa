#include "textures/bump_support.h"

#include <cmath>
#include <string>

namespace kelvane {

std::array<std::string_view, 32> MultiTexCoordNames() {
  static constexpr std::array<std::string_view, 32> kNames = {
      "glMultiTexCoord1dARB",  "glMultiTexCoord1dvARB", "glMultiTexCoord1fARB",
      "glMultiTexCoord1fvARB", "glMultiTexCoord1iARB",  "glMultiTexCoord1ivARB",
      "glMultiTexCoord1sARB",  "glMultiTexCoord1svARB", "glMultiTexCoord2dARB",
      "glMultiTexCoord2dvARB", "glMultiTexCoord2fARB",  "glMultiTexCoord2fvARB",
      "glMultiTexCoord2iARB",  "glMultiTexCoord2ivARB", "glMultiTexCoord2sARB",
      "glMultiTexCoord2svARB", "glMultiTexCoord3dARB",  "glMultiTexCoord3dvARB",
      "glMultiTexCoord3fARB",  "glMultiTexCoord3fvARB", "glMultiTexCoord3iARB",
      "glMultiTexCoord3ivARB", "glMultiTexCoord3sARB",  "glMultiTexCoord3svARB",
      "glMultiTexCoord4dARB",  "glMultiTexCoord4dvARB", "glMultiTexCoord4fARB",
      "glMultiTexCoord4fvARB", "glMultiTexCoord4iARB",  "glMultiTexCoord4ivARB",
      "glMultiTexCoord4sARB",  "glMultiTexCoord4svARB"};
  return kNames;
}

bool InitBumpExtensions(BumpState& state, std::string_view extensions, const GlProcFinder& find) {
  state.entries = BumpEntryPoints{};
  bool supported = false;
  if (extensions.find("GL_ARB_multitexture") != std::string_view::npos) {
    BumpEntryPoints& e = state.entries;
    e.ActiveTexture = reinterpret_cast<PFNGLACTIVETEXTUREARBPROC>(find("glActiveTextureARB"));
    e.ClientActiveTexture =
        reinterpret_cast<PFNGLCLIENTACTIVETEXTUREARBPROC>(find("glClientActiveTextureARB"));
    const auto names = MultiTexCoordNames();
    for (std::size_t i = 0; i < names.size(); ++i)
      e.MultiTexCoord[i] = find(std::string(names[i]).c_str());
    e.MultiTexCoord2f = reinterpret_cast<PFNGLMULTITEXCOORD2FARBPROC>(e.MultiTexCoord[10]);
    e.MultiTexCoord3f = reinterpret_cast<PFNGLMULTITEXCOORD3FARBPROC>(e.MultiTexCoord[18]);
    e.EnableClientState = find("glEnableClientState");
    e.DisableClientState = find("glDisableClientState");
    e.VertexPointer = find("glVertexPointer");
    e.TexCoordPointer = find("glTexCoordPointer");
    e.DrawElements = find("glDrawElements");
    supported = extensions.find("GL_EXT_texture_cube_map") != std::string_view::npos &&
                extensions.find("GL_ARB_texture_env_combine") != std::string_view::npos &&
                extensions.find("GL_ARB_texture_env_dot3") != std::string_view::npos;
  }
  state.BumpSupported = supported;
  return supported;
}

bool InitBumpExtensions(BumpState& state, const GlProcFinder& find) {
  const auto* text = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  return InitBumpExtensions(state, text ? std::string_view(text) : std::string_view(), find);
}

TVector3 PackNormal(const TVector3& v) {
  return {v.x / 2.0f + 0.5f, v.y / 2.0f + 0.5f, v.z / 2.0f + 0.5f};
}

CubeFace NormalisationCubeFace(int face) {
  constexpr float kOffset = 0.5f;
  constexpr float kHalf = 16.0f;
  CubeFace out{};
  for (int i = 0; i < kCubeMapSize; ++i) {
    for (int j = 0; j < kCubeMapSize; ++j) {
      const float u = static_cast<float>(i) + kOffset - kHalf;
      const float v = static_cast<float>(j) + kOffset - kHalf;
      TVector3 d;
      switch (face) {
        case 0:
          d = {kHalf, -u, -v};
          break;
        case 1:
          d = {-kHalf, -u, v};
          break;
        case 2:
          d = {v, kHalf, u};
          break;
        case 3:
          d = {v, -kHalf, -u};
          break;
        case 4:
          d = {v, -u, kHalf};
          break;
        default:
          d = {-v, -u, -kHalf};
          break;
      }
      const float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
      if (length != 0.0f) d = {d.x / length, d.y / length, d.z / length};
      const TVector3 p = PackNormal(d);
      const std::size_t at = static_cast<std::size_t>(i * kCubeMapSize + j) * 3;
      out[at] = static_cast<std::uint8_t>(p.x * 255.0f);
      out[at + 1] = static_cast<std::uint8_t>(p.y * 255.0f);
      out[at + 2] = static_cast<std::uint8_t>(p.z * 255.0f);
    }
  }
  return out;
}

bool BuildNormalisationCubeMap() {
  GLint alignment = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  for (int face = 0; face < 6; ++face) {
    const CubeFace texels = NormalisationCubeFace(face);
    glTexImage2D(static_cast<GLenum>(GL_TEXTURE_CUBE_MAP_POSITIVE_X_ARB + face), 0, GL_RGBA8,
                 kCubeMapSize, kCubeMapSize, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  return true;
}

}  // namespace kelvane
