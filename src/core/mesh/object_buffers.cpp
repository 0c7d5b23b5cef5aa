#include "mesh/object_buffers.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <memory>

namespace kelvane {

namespace {

const TVector3 kZero{};
const TTexCoord kNoTexCoord{};

GLuint Upload(const DrawSettings& s, GLenum target, const void* data, std::size_t bytes) {
  GLuint name = 0;
  s.buffers.GenBuffers(1, &name);
  s.buffers.BindBuffer(target, name);
  s.buffers.BufferData(target, static_cast<GLsizeiptr>(bytes), data, GL_STATIC_DRAW);
  s.buffers.BindBuffer(target, 0);
  return name;
}

template <typename T>
GLuint Upload(const DrawSettings& s, GLenum target, const std::vector<T>& values) {
  return Upload(s, target, values.data(), values.size() * sizeof(T));
}

// Runs of at most kRunCorners corners (whole faces and edges): the driver's
// per-draw scratch for the vertices a run names stays small, where one draw
// of a whole object would take megabytes of it every frame.
constexpr std::size_t kRunCorners = 6 * 1024;

// Flushes of a software rasterizer between waits for it.
constexpr std::int32_t kFlushesPerFinish = 8;

// A buffer of `count` elements filled `piece` at a time through
// `fill(first, n, out)`, so that no second copy of the whole data exists
// beside GL's.
template <typename T, typename Fill>
GLuint UploadInPieces(const DrawSettings& s, GLenum target, std::size_t count, std::size_t piece,
                      Fill fill) {
  GLuint name = 0;
  s.buffers.GenBuffers(1, &name);
  s.buffers.BindBuffer(target, name);
  s.buffers.BufferData(target, static_cast<GLsizeiptr>(count * sizeof(T)), nullptr, GL_STATIC_DRAW);
  std::vector<T> values(std::min(count, piece));
  for (std::size_t first = 0; first < count; first += piece) {
    const std::size_t n = std::min(piece, count - first);
    fill(first, n, values.data());
    s.buffers.BufferSubData(target, static_cast<GLintptr>(first * sizeof(T)),
                            static_cast<GLsizeiptr>(n * sizeof(T)), values.data());
  }
  s.buffers.BindBuffer(target, 0);
  return name;
}

// The corners of every drawable face, as triangles (a, b, c) or as edges
// (a, b, b, c, c, a), in runs of kRunCorners.
template <typename Index>
GLuint UploadCornersAs(const DrawSettings& s, const T3DObject& o, bool edges,
                       std::vector<IndexRun>& runs) {
  const std::size_t perFace = edges ? 6 : 3;
  std::size_t drawn = 0;  // faces whose corners exist
  for (std::size_t f = 0; f < o.faces.size(); ++f)
    drawn += o.FaceInRange(f) ? 1 : 0;
  runs.clear();
  std::size_t next = 0;  // the face the next piece starts from; pieces come in order
  const auto fill = [&](std::size_t first, std::size_t n, Index* indices) {
    for (std::size_t k = 0; k < n / perFace; ++k, ++next) {
      while (!o.FaceInRange(next))
        ++next;
      const TFace& f = o.faces[next];
      const auto a = static_cast<Index>(f.a), b = static_cast<Index>(f.b),
                 c = static_cast<Index>(f.c);
      if (edges) {
        const Index corners[6] = {a, b, b, c, c, a};
        std::copy_n(corners, 6, indices + k * 6);
      } else {
        const Index corners[3] = {a, b, c};
        std::copy_n(corners, 3, indices + k * 3);
      }
    }
    const auto [lo, hi] = std::minmax_element(indices, indices + n);
    runs.push_back({static_cast<GLsizei>(first), static_cast<GLsizei>(n), *lo, *hi});
  };
  // Whole faces to a piece, each piece one run.
  return UploadInPieces<Index>(s, GL_ELEMENT_ARRAY_BUFFER, drawn * perFace, kRunCorners, fill);
}

}  // namespace

const TVector3& NormalAt(const T3DObject& o, std::uint32_t v) {
  return v < o.normals.size() ? o.normals[v] : kZero;
}
const TTexCoord& TexCoordAt(const T3DObject& o, std::uint32_t v) {
  return v < o.texCoords.size() ? o.texCoords[v] : kNoTexCoord;
}

std::vector<std::uint32_t> CornerIndices(const T3DObject& o, bool edges) {
  using Index = std::uint32_t;
  std::vector<Index> out;
  out.reserve(o.faces.size() * (edges ? 6 : 3));
  for (std::size_t f = 0; f < o.faces.size(); ++f) {
    if (!o.FaceInRange(f)) continue;
    const auto a = static_cast<Index>(o.faces[f].a);
    const auto b = static_cast<Index>(o.faces[f].b);
    const auto c = static_cast<Index>(o.faces[f].c);
    if (edges) {
      out.insert(out.end(), {a, b, b, c, c, a});
    } else {
      out.insert(out.end(), {a, b, c});
    }
  }
  return out;
}

GLuint UploadCorners(const DrawSettings& s, const T3DObject& o, GLenum type, bool edges,
                     std::vector<IndexRun>& runs) {
  return type == GL_UNSIGNED_SHORT ? UploadCornersAs<std::uint16_t>(s, o, edges, runs)
                                   : UploadCornersAs<std::uint32_t>(s, o, edges, runs);
}

void DeleteBuffers(const DrawSettings& s, const ObjectBuffers& b) {
  for (GLuint name : {b.vertices, b.triangles, b.lines, b.bumpLight, b.reflection}) {
    if (name != 0) s.buffers.DeleteBuffers(1, &name);
  }
}

// The anchor of an object's derived data; its lifetime is the object's.
ObjectDrawArrays& DrawArraysAnchor(const T3DObject& o) {
  if (!o.drawArrays) {
    auto a = std::make_shared<ObjectDrawArrays>();
    for (std::size_t f = o.faces.size(); f-- > 0;) {
      if (o.FaceInRange(f)) {
        a->lastCorner = o.faces[f].c;
        break;
      }
    }
    o.drawArrays = std::move(a);
  }
  return *o.drawArrays;
}

// Bump light vectors and reflection coordinates of every vertex.
void LightArrays(const T3DObject& o, const TVector3& light, std::vector<TVector3>* bumpLight,
                 std::vector<float>* reflection) {
  const std::size_t n = o.vertices.size();
  if (bumpLight) bumpLight->resize(n);
  if (reflection) reflection->resize(n * 2);
  for (std::size_t v = 0; v < n; ++v) {
    if (bumpLight) {
      TVector3 l;
      VectorSubtract(light, o.vertices[v], l);
      VectorNormalize(l);
      (*bumpLight)[v] = l;
    }
    if (reflection) {
      TVector3 d;
      VectorSubtract(light, v < o.normals.size() ? o.normals[v] : kZero, d);
      (*reflection)[v * 2] = d.x;
      (*reflection)[v * 2 + 1] = d.y;
    }
  }
}

bool SameLight(const TVector3& a, const TVector3& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

// The object's buffers in this context, or null when geometry goes another
// way. Only the vertex buffer and the triangle indices are made here.
ObjectBuffers* BuffersInContext(DrawSettings& s, const T3DObject& o) {
  if (s.path != GeometryPath::BufferObjects || !s.buffers.Usable()) return nullptr;
  const ObjectDrawArrays& anchor = DrawArraysAnchor(o);
  auto found = s.objectBuffers.find(&anchor);
  if (found != s.objectBuffers.end() && found->second.object.expired()) {
    // A freed object's data at the same address.
    DeleteBuffers(s, found->second);
    s.objectBuffers.erase(found);
    found = s.objectBuffers.end();
  }
  if (found != s.objectBuffers.end()) return &found->second;

  ObjectBuffers b;
  b.object = o.drawArrays;
  b.indexType = o.vertices.size() <= 65536 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT;
  b.vertices =
      UploadInPieces<PackedVertex>(s, GL_ARRAY_BUFFER, o.vertices.size(), 4096,
                                   [&o](std::size_t first, std::size_t n, PackedVertex* out) {
                                     for (std::size_t k = 0; k < n; ++k) {
                                       const auto v = static_cast<std::uint32_t>(first + k);
                                       out[k] = {o.vertices[v], NormalAt(o, v), TexCoordAt(o, v)};
                                     }
                                   });
  b.triangles = UploadCorners(s, o, b.indexType, false, b.triangleRuns);
  return &s.objectBuffers.emplace(&anchor, b).first->second;
}

void EnsureLightBuffers(const DrawSettings& s, const T3DObject& o, ObjectBuffers& b, bool bump) {
  const TVector3& light = s.bump.BumpLightPosition;
  if ((bump ? b.bumpLight : b.reflection) != 0 && SameLight(b.light, light)) return;
  if (!SameLight(b.light, light)) {
    for (GLuint* name : {&b.bumpLight, &b.reflection}) {
      if (*name != 0) s.buffers.DeleteBuffers(1, name);
      *name = 0;
    }
    b.light = light;
  }
  if (bump) {
    std::vector<TVector3> values;
    LightArrays(o, light, &values, nullptr);
    b.bumpLight = Upload(s, GL_ARRAY_BUFFER, values);
  } else {
    std::vector<float> values;
    LightArrays(o, light, nullptr, &values);
    b.reflection = Upload(s, GL_ARRAY_BUFFER, values);
  }
}

void DrawBufferIndices(DrawSettings& s, const ObjectBuffers& b, GLenum mode, GLuint indices,
                       const std::vector<IndexRun>& runs) {
  if (runs.empty()) return;
  s.buffers.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices);
  const std::size_t indexBytes = b.indexType == GL_UNSIGNED_SHORT ? 2 : 4;
  for (const IndexRun& r : runs) {
    const void* at = BufferOffset(static_cast<std::size_t>(r.first) * indexBytes);
    if (s.DrawRangeElements) {
      s.DrawRangeElements(mode, r.lowest, r.highest, r.count, b.indexType, at);
    } else {
      glDrawElements(mode, r.count, b.indexType, at);
    }
    // A software rasterizer holds every binned triangle until a flush;
    // flushing along the way bounds that memory and lets its threads
    // rasterize while the next run is set up. Every few flushes it is
    // waited for, so that no long queue of binned runs builds up when its
    // threads fall behind.
    if (s.flushTriangles > 0) {
      s.trianglesSinceFlush += r.count / 3;
      if (s.trianglesSinceFlush >= s.flushTriangles) {
        if (++s.flushesSinceFinish >= kFlushesPerFinish) {
          glFinish();
          s.flushesSinceFinish = 0;
        } else {
          glFlush();
        }
        s.trianglesSinceFlush = 0;
      }
    }
  }
}

// Deletes the buffers of objects that no longer exist.
void SweepBuffers(DrawSettings& s) {
  for (auto it = s.objectBuffers.begin(); it != s.objectBuffers.end();) {
    if (it->second.object.expired()) {
      DeleteBuffers(s, it->second);
      it = s.objectBuffers.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace kelvane
