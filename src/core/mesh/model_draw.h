#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "mesh/model.h"
#include "textures/bump_support.h"

namespace kelvane {

struct ObjectDrawArrays;

// How geometry reaches GL. All draw the same pixels; the immediate path is
// the plain reference the others are held against. Buffer objects fall
// back to client vertex arrays where the context has none.
enum class GeometryPath { BufferObjects, VertexArrays, Immediate };

// GL 1.5 buffer objects, where the context offers them.
struct BufferEntryPoints {
  PFNGLGENBUFFERSPROC GenBuffers = nullptr;
  PFNGLBINDBUFFERPROC BindBuffer = nullptr;
  PFNGLBUFFERDATAPROC BufferData = nullptr;
  PFNGLBUFFERSUBDATAPROC BufferSubData = nullptr;
  PFNGLDELETEBUFFERSPROC DeleteBuffers = nullptr;
  bool Usable() const {
    return GenBuffers && BindBuffer && BufferData && BufferSubData && DeleteBuffers;
  }
};

// One object's static geometry in buffer objects of one context, built on
// its first draw there. The interleaved vertex buffer holds position,
// normal and texture coordinate; the index, bump and reflection buffers are
// made when a pass first needs them.
// A run of an index buffer drawn with one ranged call.
struct IndexRun {
  GLsizei first = 0;  // index of the first corner
  GLsizei count = 0;
  GLuint lowest = 0, highest = 0;  // vertices it names
};

struct ObjectBuffers {
  std::weak_ptr<const ObjectDrawArrays> object;  // expires with the object
  GLuint vertices = 0;
  GLuint triangles = 0;
  GLuint lines = 0;
  GLuint bumpLight = 0;
  GLuint reflection = 0;
  std::vector<IndexRun> triangleRuns;
  std::vector<IndexRun> lineRuns;
  GLenum indexType = GL_UNSIGNED_INT;
  TVector3 light{};  // of the bump and reflection buffers
};

// The model drawing's settings and per-context state. One per GL context,
// owned by whoever owns the context; ReleaseDrawResources before the
// context goes.
struct DrawSettings {
  bool BumpEnabled = false;  // the bump pass is wanted
  bool BumpsOnly = false;    // only the bump pass
  float BumpStrength = 0.2f;
  std::string HighlightTextureName;
  // Objects whose primary texture could not be read are drawn lit in a
  // neutral grey instead of their own colours, so that their shape reads.
  bool NeutralMissingTextures = false;
  std::int32_t PolyCount = 0;  // faces of the last full or wireframe draw
  std::int32_t faceAccumulator = 0;
  BumpState bump;                    // BumpSupported, BumpLightPosition, entries
  std::uint32_t CubeMapTexture = 0;  // built once per context
  // GL 1.2's ranged draw, where the context offers it: spares the driver
  // a scan of every index list for its range.
  PFNGLDRAWRANGEELEMENTSPROC DrawRangeElements = nullptr;
  BufferEntryPoints buffers;
  GeometryPath path = GeometryPath::BufferObjects;
  // Triangles after which the buffer-object path flushes (0: never); set
  // for software rasterizers, which keep a frame's binned triangles in
  // memory until it is flushed.
  std::int32_t flushTriangles = 0;
  std::int32_t trianglesSinceFlush = 0;
  std::int32_t flushesSinceFinish = 0;
  // Buffers of the objects drawn in this context; those of freed objects
  // are deleted at the next model draw.
  std::unordered_map<const ObjectDrawArrays*, ObjectBuffers> objectBuffers;
};

// Per-object data derived once from its geometry: the faces whose corners
// exist, as triangle and line index lists, and the per-vertex bump light
// vectors and reflection coordinates for one light position.
struct ObjectDrawArrays {
  std::optional<std::uint32_t> lastCorner;  // of the last face drawn
  bool listsBuilt = false;
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

// Deletes the cube map and every buffer object; call with the context
// current.
void ReleaseDrawResources(DrawSettings& settings);

// The object's derived arrays, built on first use and refreshed for a new
// light position.
const ObjectDrawArrays& ObjectArrays(const T3DObject& object, const TVector3& light);

}  // namespace kelvane
