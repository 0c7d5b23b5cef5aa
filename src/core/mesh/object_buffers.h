#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "mesh/model_draw.h"

namespace kelvane {

// One vertex of the interleaved buffer.
struct PackedVertex {
  TVector3 position;
  TVector3 normal;
  TTexCoord texCoord;
};
constexpr auto kPackedStride = static_cast<GLsizei>(sizeof(PackedVertex));

// With a buffer bound the vertex pointers are offsets into it.
inline const void* BufferOffset(std::size_t bytes) {
  return reinterpret_cast<const void*>(bytes);
}

// A vertex's normal and texture coordinate, zero where the lists are short.
const TVector3& NormalAt(const T3DObject& o, std::uint32_t v);
const TTexCoord& TexCoordAt(const T3DObject& o, std::uint32_t v);

// The corners of every drawable face, as triangles (a, b, c) or as edges
// (a, b, b, c, c, a).
std::vector<std::uint32_t> CornerIndices(const T3DObject& o, bool edges);

// The anchor of an object's derived data; its lifetime is the object's.
ObjectDrawArrays& DrawArraysAnchor(const T3DObject& o);

// Bump light vectors and reflection coordinates of every vertex; either
// output may be null.
void LightArrays(const T3DObject& o, const TVector3& light, std::vector<TVector3>* bumpLight,
                 std::vector<float>* reflection);
bool SameLight(const TVector3& a, const TVector3& b);

// The object's buffers in this context, or null when geometry goes another
// way. Only the vertex buffer and the triangle indices are made here.
ObjectBuffers* BuffersInContext(DrawSettings& s, const T3DObject& o);
// The bump light (`bump`) or reflection buffer for the current light.
void EnsureLightBuffers(const DrawSettings& s, const T3DObject& o, ObjectBuffers& b, bool bump);
// An index buffer of `type` in runs of whole faces.
GLuint UploadCorners(const DrawSettings& s, const T3DObject& o, GLenum type, bool edges,
                     std::vector<IndexRun>& runs);
// Draws the runs of an index buffer with the object's vertex buffer bound.
void DrawBufferIndices(DrawSettings& s, const ObjectBuffers& b, GLenum mode, GLuint indices,
                       const std::vector<IndexRun>& runs);
void DeleteBuffers(const DrawSettings& s, const ObjectBuffers& b);
// Deletes the buffers of objects that no longer exist.
void SweepBuffers(DrawSettings& s);

}  // namespace kelvane
