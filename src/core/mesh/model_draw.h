#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mesh/model.h"
#include "textures/bump_support.h"

namespace kelvane {

// How geometry reaches GL. Both draw the same pixels; the immediate path
// is the plain reference the vertex-array path is held against.
enum class GeometryPath { VertexArrays, Immediate };

// The model drawing's settings and per-context state. One per GL context,
// owned by whoever owns the context; ReleaseDrawResources before the
// context goes.
struct DrawSettings {
  bool BumpEnabled = false;  // the bump pass is wanted
  bool BumpsOnly = false;    // only the bump pass
  float BumpStrength = 0.2f;
  std::string HighlightTextureName;
  std::int32_t PolyCount = 0;  // faces of the last full or wireframe draw
  std::int32_t faceAccumulator = 0;
  BumpState bump;                    // BumpSupported, BumpLightPosition, entries
  std::uint32_t CubeMapTexture = 0;  // built once per context
  // GL 1.2's ranged draw, where the context offers it: spares the driver
  // a scan of every index list for its range.
  PFNGLDRAWRANGEELEMENTSPROC DrawRangeElements = nullptr;
  GeometryPath path = GeometryPath::VertexArrays;
};

// Per-object data derived once from its geometry: the faces whose corners
// exist, as triangle and line index lists, and the per-vertex bump light
// vectors and reflection coordinates for one light position.
struct ObjectDrawArrays {
  std::vector<std::uint32_t> triangles;
  std::vector<std::uint32_t> lines;  // a, b, b, c, c, a per face
  TVector3 light{};
  bool lightValid = false;
  std::vector<TVector3> bumpLight;      // normalised light - vertex
  std::vector<float> reflectionCoords;  // (light - normal).x, .y
};

// Full draw of every object, opaque ones first; PolyCount becomes the
// faces drawn. The caller has set the camera and lighting.
void DrawModel(const T3DModel& model, DrawSettings& settings, MeshUnitState& unit);
// Grey wireframe of every object; PolyCount becomes the faces drawn.
void DrawModelWireframe(const T3DModel& model, DrawSettings& settings);
// Objects whose primary texture name equals HighlightTextureName in full,
// the rest as wireframe. PolyCount is left as it is.
void DrawModelHighlight(const T3DModel& model, DrawSettings& settings, MeshUnitState& unit);

void DrawObject(const T3DObject& object, DrawSettings& settings, MeshUnitState& unit);
void DrawObjectWireframe(const T3DObject& object, DrawSettings& settings);

// The material's colours and shininess to GL; sphere-map generation off.
void ApplyMaterial(const TMaterial& material);

// Deletes the cube map; call with the context current.
void ReleaseDrawResources(DrawSettings& settings);

// The object's derived arrays, built on first use and refreshed for a new
// light position.
const ObjectDrawArrays& ObjectArrays(const T3DObject& object, const TVector3& light);

}  // namespace kelvane
