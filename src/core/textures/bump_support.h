#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "base/vector3.h"

namespace kelvane {

using GlProc = void (*)();
// Finds a GL entry point by name; null for a name the driver does not offer.
using GlProcFinder = std::function<GlProc(const char*)>;

// Entry points beyond GL 1.1 that the bump pass, the track and the client
// arrays use. Null until the probe fills them.
struct BumpEntryPoints {
  PFNGLACTIVETEXTUREARBPROC ActiveTexture = nullptr;
  PFNGLCLIENTACTIVETEXTUREARBPROC ClientActiveTexture = nullptr;
  // glMultiTexCoord{1,2,3,4}{d,dv,f,fv,i,iv,s,sv}ARB in that order.
  std::array<GlProc, 32> MultiTexCoord{};
  PFNGLMULTITEXCOORD2FARBPROC MultiTexCoord2f = nullptr;
  PFNGLMULTITEXCOORD3FARBPROC MultiTexCoord3f = nullptr;
  GlProc EnableClientState = nullptr;
  GlProc DisableClientState = nullptr;
  GlProc VertexPointer = nullptr;
  GlProc TexCoordPointer = nullptr;
  GlProc DrawElements = nullptr;
};

// What the bump pass needs from the context: one per context, filled by
// SetupGL with the context current.
struct BumpState {
  bool BumpSupported = false;
  TVector3 BumpLightPosition{};
  BumpEntryPoints entries;
};

// The 32 multitexture coordinate names in lookup order.
std::array<std::string_view, 32> MultiTexCoordNames();

// Probes `extensions` for multitexture (then looks every entry point up
// through `find`), the EXT cube map, combine and DOT3, in that order.
// Stores and returns whether the bump pass can run.
bool InitBumpExtensions(BumpState& state, std::string_view extensions, const GlProcFinder& find);
// Same, with the current context's extension string.
bool InitBumpExtensions(BumpState& state, const GlProcFinder& find);

// [-1, 1] per component to [0, 1].
TVector3 PackNormal(const TVector3& v);

constexpr int kCubeMapSize = 32;
constexpr std::size_t kCubeFaceBytes = kCubeMapSize * kCubeMapSize * 3;
using CubeFace = std::array<std::uint8_t, kCubeFaceBytes>;

// The texels of one face of the normalisation cube map (0 = +X, 1 = -X,
// 2 = +Y, 3 = -Y, 4 = +Z, 5 = -Z): R, G, B per texel, row by row.
CubeFace NormalisationCubeFace(int face);

// Fills level 0 of the six faces of the cube map bound to
// GL_TEXTURE_CUBE_MAP_ARB. Always true.
bool BuildNormalisationCubeMap();

}  // namespace kelvane
