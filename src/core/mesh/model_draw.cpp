#include "mesh/model_draw.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <array>
#include <cstddef>

#include "mesh/object_buffers.h"

namespace kelvane {

namespace {

void PushTransforms(const TTransformList& list) {
  if (!list.enabled || list.items.empty()) return;
  glPushMatrix();
  for (const TTransform& t : list.items) {
    if (!t.active) continue;
    switch (t.kind) {
      case TransformKind::Rotate:
        glRotatef(t.angle, t.x, t.y, t.z);
        break;
      case TransformKind::Translate:
        glTranslatef(t.x, t.y, t.z);
        break;
      case TransformKind::Scale:
        glScalef(t.x, t.y, t.z);
        break;
    }
  }
}

void PopTransforms(const TTransformList& list) {
  if (list.enabled && !list.items.empty()) glPopMatrix();
}

void SetCulling(const TMaterial& m) {
  if (m.twoSided == 1) {
    glDisable(GL_CULL_FACE);
  } else {
    glEnable(GL_CULL_FACE);
  }
}

void ActiveTexture(const DrawSettings& s, GLenum unit) {
  if (s.bump.entries.ActiveTexture) s.bump.entries.ActiveTexture(unit);
}

void ClientActiveTexture(const DrawSettings& s, GLenum unit) {
  if (s.bump.entries.ClientActiveTexture) s.bump.entries.ClientActiveTexture(unit);
}

// Leaves every client array disabled and unit 0 the client-active one,
// whatever a vertex-array draw enabled.
class ClientArrayGuard {
 public:
  explicit ClientArrayGuard(const DrawSettings& s) : s_(s) {}
  ClientArrayGuard(const ClientArrayGuard&) = delete;
  ClientArrayGuard& operator=(const ClientArrayGuard&) = delete;
  ~ClientArrayGuard() {
    if (s_.buffers.Usable()) {
      s_.buffers.BindBuffer(GL_ARRAY_BUFFER, 0);
      s_.buffers.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }
    ClientActiveTexture(s_, GL_TEXTURE1_ARB);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    ClientActiveTexture(s_, GL_TEXTURE0_ARB);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
  }

 private:
  const DrawSettings& s_;
};

// With a buffer bound to GL_ARRAY_BUFFER the pointers are offsets into it.
void VertexArray(GLsizei stride, const void* data) {
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, stride, data);
}

void VertexArray(const T3DObject& o) {
  VertexArray(sizeof(TVector3), o.vertices.data());
}

void TexCoordArray(const DrawSettings& s, GLenum unit, GLint size, const void* data,
                   GLsizei stride = 0) {
  ClientActiveTexture(s, unit);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(size, GL_FLOAT, stride, data);
}

void DrawIndexed(const DrawSettings& s, const T3DObject& o, GLenum mode,
                 const std::vector<std::uint32_t>& indices) {
  if (indices.empty()) return;
  const auto count = static_cast<GLsizei>(indices.size());
  if (s.DrawRangeElements) {
    // Every listed index names an existing vertex.
    s.DrawRangeElements(mode, 0, static_cast<GLuint>(o.vertices.size() - 1), count, GL_UNSIGNED_INT,
                        indices.data());
  } else {
    glDrawElements(mode, count, GL_UNSIGNED_INT, indices.data());
  }
}

// Array draws leave the current normal undefined; the immediate path
// leaves the last corner's, which a later lit pass of this object uses.
void RestoreLastNormal(const T3DObject& o) {
  const ObjectDrawArrays& a = DrawArraysAnchor(o);
  if (!a.lastCorner) return;
  const TVector3& n = NormalAt(o, *a.lastCorner);
  glNormal3f(n.x, n.y, n.z);
}

// Texture coordinate arrays need the vertex count; short ones are padded.
std::vector<TTexCoord> PaddedTexCoords(const T3DObject& o) {
  std::vector<TTexCoord> out(o.vertices.size());
  for (std::size_t i = 0; i < out.size() && i < o.texCoords.size(); ++i)
    out[i] = o.texCoords[i];
  return out;
}

std::vector<TVector3> PaddedNormals(const T3DObject& o) {
  std::vector<TVector3> out(o.vertices.size());
  for (std::size_t i = 0; i < out.size() && i < o.normals.size(); ++i)
    out[i] = o.normals[i];
  return out;
}

struct GeometryArrays {
  const TTexCoord* texCoords;
  const TVector3* normals;
  std::vector<TTexCoord> paddedTexCoords;
  std::vector<TVector3> paddedNormals;

  explicit GeometryArrays(const T3DObject& o)
      : texCoords(o.texCoords.data()), normals(o.normals.data()) {
    if (o.texCoords.size() < o.vertices.size()) {
      paddedTexCoords = PaddedTexCoords(o);
      texCoords = paddedTexCoords.data();
    }
    if (o.normals.size() < o.vertices.size()) {
      paddedNormals = PaddedNormals(o);
      normals = paddedNormals.data();
    }
  }
};

void BumpGeometry(const T3DObject& o, DrawSettings& s) {
  if (ObjectBuffers* b = BuffersInContext(s, o)) {
    ClientArrayGuard guard(s);
    EnsureLightBuffers(s, o, *b, true);
    s.buffers.BindBuffer(GL_ARRAY_BUFFER, b->vertices);
    VertexArray(kPackedStride, BufferOffset(offsetof(PackedVertex, position)));
    TexCoordArray(s, GL_TEXTURE1_ARB, 2, BufferOffset(offsetof(PackedVertex, texCoord)),
                  kPackedStride);
    s.buffers.BindBuffer(GL_ARRAY_BUFFER, b->bumpLight);
    TexCoordArray(s, GL_TEXTURE0_ARB, 3, BufferOffset(0));
    DrawBufferIndices(s, *b, o.primitive, b->triangles, b->triangleRuns);
    return;
  }
  if (s.path == GeometryPath::Immediate) {
    glBegin(o.primitive);
    for (std::size_t f = 0; f < o.faces.size(); ++f) {
      if (!o.FaceInRange(f)) continue;
      for (std::uint32_t v : {o.faces[f].a, o.faces[f].b, o.faces[f].c}) {
        TVector3 l;
        VectorSubtract(s.bump.BumpLightPosition, o.vertices[v], l);
        VectorNormalize(l);
        s.bump.entries.MultiTexCoord3f(GL_TEXTURE0_ARB, l.x, l.y, l.z);
        const TTexCoord& t = TexCoordAt(o, v);
        s.bump.entries.MultiTexCoord2f(GL_TEXTURE1_ARB, t.u, t.v);
        glVertex3f(o.vertices[v].x, o.vertices[v].y, o.vertices[v].z);
      }
    }
    glEnd();
    return;
  }
  const ObjectDrawArrays& a = ObjectArrays(o, s.bump.BumpLightPosition);
  ClientArrayGuard guard(s);
  const GeometryArrays g(o);
  VertexArray(o);
  TexCoordArray(s, GL_TEXTURE0_ARB, 3, a.bumpLight.data());
  TexCoordArray(s, GL_TEXTURE1_ARB, 2, g.texCoords);
  DrawIndexed(s, o, o.primitive, a.triangles);
}

void BaseGeometry(const T3DObject& o, DrawSettings& s) {
  const TMaterial& m = o.material;
  if (ObjectBuffers* b = BuffersInContext(s, o)) {
    {
      ClientArrayGuard guard(s);
      s.buffers.BindBuffer(GL_ARRAY_BUFFER, b->vertices);
      VertexArray(kPackedStride, BufferOffset(offsetof(PackedVertex, position)));
      glEnableClientState(GL_NORMAL_ARRAY);
      glNormalPointer(GL_FLOAT, kPackedStride, BufferOffset(offsetof(PackedVertex, normal)));
      if (m.hasTexture) {
        TexCoordArray(s, GL_TEXTURE0_ARB, 2, BufferOffset(offsetof(PackedVertex, texCoord)),
                      kPackedStride);
      } else if (!b->triangleRuns.empty()) {
        glColor3f(m.diffuse.colour[0], m.diffuse.colour[1], m.diffuse.colour[2]);
      }
      DrawBufferIndices(s, *b, o.primitive, b->triangles, b->triangleRuns);
    }
    RestoreLastNormal(o);
    return;
  }
  if (s.path == GeometryPath::Immediate) {
    glBegin(o.primitive);
    for (std::size_t f = 0; f < o.faces.size(); ++f) {
      if (!o.FaceInRange(f)) continue;
      for (std::uint32_t v : {o.faces[f].a, o.faces[f].b, o.faces[f].c}) {
        const TVector3& n = NormalAt(o, v);
        glNormal3f(n.x, n.y, n.z);
        if (m.hasTexture) {
          const TTexCoord& t = TexCoordAt(o, v);
          glTexCoord2f(t.u, t.v);
        } else {
          glColor3f(m.diffuse.colour[0], m.diffuse.colour[1], m.diffuse.colour[2]);
        }
        glVertex3f(o.vertices[v].x, o.vertices[v].y, o.vertices[v].z);
      }
    }
    glEnd();
    return;
  }
  const ObjectDrawArrays& a = ObjectArrays(o, s.bump.BumpLightPosition);
  {
    ClientArrayGuard guard(s);
    const GeometryArrays g(o);
    VertexArray(o);
    glEnableClientState(GL_NORMAL_ARRAY);
    glNormalPointer(GL_FLOAT, sizeof(TVector3), g.normals);
    if (m.hasTexture) {
      TexCoordArray(s, GL_TEXTURE0_ARB, 2, g.texCoords);
    } else if (!a.triangles.empty()) {
      glColor3f(m.diffuse.colour[0], m.diffuse.colour[1], m.diffuse.colour[2]);
    }
    DrawIndexed(s, o, o.primitive, a.triangles);
  }
  RestoreLastNormal(o);
}

void ReflectionGeometry(const T3DObject& o, DrawSettings& s) {
  if (ObjectBuffers* b = BuffersInContext(s, o)) {
    ClientArrayGuard guard(s);
    EnsureLightBuffers(s, o, *b, false);
    s.buffers.BindBuffer(GL_ARRAY_BUFFER, b->vertices);
    VertexArray(kPackedStride, BufferOffset(offsetof(PackedVertex, position)));
    s.buffers.BindBuffer(GL_ARRAY_BUFFER, b->reflection);
    TexCoordArray(s, GL_TEXTURE0_ARB, 2, BufferOffset(0));
    DrawBufferIndices(s, *b, o.primitive, b->triangles, b->triangleRuns);
    return;
  }
  if (s.path == GeometryPath::Immediate) {
    glBegin(o.primitive);
    for (std::size_t f = 0; f < o.faces.size(); ++f) {
      if (!o.FaceInRange(f)) continue;
      for (std::uint32_t v : {o.faces[f].a, o.faces[f].b, o.faces[f].c}) {
        TVector3 d;
        VectorSubtract(s.bump.BumpLightPosition, NormalAt(o, v), d);
        glTexCoord2f(d.x, d.y);
        glVertex3f(o.vertices[v].x, o.vertices[v].y, o.vertices[v].z);
      }
    }
    glEnd();
    return;
  }
  const ObjectDrawArrays& a = ObjectArrays(o, s.bump.BumpLightPosition);
  ClientArrayGuard guard(s);
  VertexArray(o);
  TexCoordArray(s, GL_TEXTURE0_ARB, 2, a.reflectionCoords.data());
  DrawIndexed(s, o, o.primitive, a.triangles);
}

void WireGeometry(const T3DObject& o, DrawSettings& s) {
  if (ObjectBuffers* b = BuffersInContext(s, o)) {
    ClientArrayGuard guard(s);
    if (b->lines == 0) b->lines = UploadCorners(s, o, b->indexType, true, b->lineRuns);
    s.buffers.BindBuffer(GL_ARRAY_BUFFER, b->vertices);
    VertexArray(kPackedStride, BufferOffset(offsetof(PackedVertex, position)));
    DrawBufferIndices(s, *b, GL_LINES, b->lines, b->lineRuns);
    return;
  }
  if (s.path == GeometryPath::Immediate) {
    glBegin(GL_LINES);
    for (std::size_t f = 0; f < o.faces.size(); ++f) {
      if (!o.FaceInRange(f)) continue;
      const TFace& face = o.faces[f];
      for (std::uint32_t v : {face.a, face.b, face.b, face.c, face.c, face.a})
        glVertex3f(o.vertices[v].x, o.vertices[v].y, o.vertices[v].z);
    }
    glEnd();
    return;
  }
  const ObjectDrawArrays& a = ObjectArrays(o, s.bump.BumpLightPosition);
  ClientArrayGuard guard(s);
  VertexArray(o);
  DrawIndexed(s, o, GL_LINES, a.lines);
}

void PrepareCubeMap(DrawSettings& s, MeshUnitState& unit) {
  // A load asks for a new cube map; its contents never change, so the one
  // this context holds is kept.
  unit.CubeMapRegenerate = false;
  if (s.CubeMapTexture != 0) {
    glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, s.CubeMapTexture);
    return;
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  s.CubeMapTexture = name;
  glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, name);
  BuildNormalisationCubeMap();
  glTexParameteri(GL_TEXTURE_CUBE_MAP_ARB, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_CUBE_MAP_ARB, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_CUBE_MAP_ARB, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_CUBE_MAP_ARB, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_CUBE_MAP_ARB, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
}

void BumpPass(const T3DObject& o, DrawSettings& s, MeshUnitState& unit) {
  const TMaterial& m = o.material;
  PrepareCubeMap(s, unit);

  ActiveTexture(s, GL_TEXTURE0_ARB);
  glEnable(GL_TEXTURE_CUBE_MAP_ARB);
  glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, s.CubeMapTexture);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
  glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_REPLACE);
  glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, GL_TEXTURE);

  ActiveTexture(s, GL_TEXTURE1_ARB);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, m.bumpTexture);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
  glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_DOT3_RGB_ARB);
  glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, GL_PREVIOUS_ARB);
  glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB_ARB, GL_TEXTURE);

  glEnable(GL_BLEND);
  glColor4f(1.0f, 1.0f, 1.0f, s.BumpsOnly ? 1.0f : s.BumpStrength);
  glBlendFunc(GL_SRC_ALPHA, GL_ZERO);
  SetCulling(m);
  BumpGeometry(o, s);

  glDisable(GL_CULL_FACE);
  ActiveTexture(s, GL_TEXTURE0_ARB);
  glDisable(GL_TEXTURE_CUBE_MAP_ARB);
  ActiveTexture(s, GL_TEXTURE1_ARB);
  glDisable(GL_TEXTURE_2D);
  ActiveTexture(s, GL_TEXTURE0_ARB);
}

void BasePass(const T3DObject& o, DrawSettings& s, bool bumpRan) {
  const TMaterial& m = o.material;
  if (bumpRan) {
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f - s.BumpStrength);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_BLEND);
  } else {
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  }
  if (m.hasTexture) {
    ActiveTexture(s, GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, m.texture);
    glEnable(GL_TEXTURE_2D);
  }
  SetCulling(m);
  BaseGeometry(o, s);
  ActiveTexture(s, GL_TEXTURE0_ARB);
  glDisable(GL_TEXTURE_2D);

  if (!m.hasReflection) return;
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, m.reflectionTexture);
  glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  glEnable(GL_TEXTURE_GEN_S);
  const float a = m.reflectionAmount;
  glColor4f(1.0f, 1.0f, 1.0f, a / (a + 1.0f));
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glEnable(GL_BLEND);
  SetCulling(m);
  ReflectionGeometry(o, s);
  glDisable(GL_CULL_FACE);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_TEXTURE_GEN_S);
}

// An opaque grey lit by the view's light, without highlights. Its own
// glow keeps faces turned from the light a mid grey, never black.
void ApplyNeutralMaterial() {
  const std::array<float, 4> ambient{0.3f, 0.3f, 0.3f, 1.0f};
  const std::array<float, 4> diffuse{0.55f, 0.55f, 0.55f, 1.0f};
  const std::array<float, 4> glow{0.3f, 0.3f, 0.3f, 1.0f};
  const std::array<float, 4> none{0.0f, 0.0f, 0.0f, 1.0f};
  glMaterialfv(GL_FRONT, GL_AMBIENT, ambient.data());
  glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse.data());
  glMaterialfv(GL_FRONT, GL_SPECULAR, none.data());
  glMaterialfv(GL_FRONT, GL_EMISSION, glow.data());
  glMaterialf(GL_FRONT, GL_SHININESS, 0.0f);
  glDisable(GL_TEXTURE_GEN_T);
  glDisable(GL_TEXTURE_GEN_S);
  glEnable(GL_LIGHT0);
  glEnable(GL_LIGHTING);
  // The view's zoom scales the normals with the model.
  glEnable(GL_NORMALIZE);
}

}  // namespace

const ObjectDrawArrays& ObjectArrays(const T3DObject& object, const TVector3& light) {
  ObjectDrawArrays& a = DrawArraysAnchor(object);
  if (!a.listsBuilt) {
    a.triangles = CornerIndices(object, false);
    a.lines = CornerIndices(object, true);
    a.listsBuilt = true;
  }
  if (!a.lightValid || !SameLight(a.light, light)) {
    LightArrays(object, light, &a.bumpLight, &a.reflectionCoords);
    a.light = light;
    a.lightValid = true;
  }
  return a;
}

void ApplyMaterial(const TMaterial& m) {
  for (const TMaterialProperties* p : {&m.ambient, &m.diffuse, &m.specular, &m.emission})
    glMaterialfv(p->face, p->parameter, p->colour.data());
  glMaterialf(GL_FRONT, GL_SHININESS, m.shininess);
  glDisable(GL_TEXTURE_GEN_T);
  glDisable(GL_TEXTURE_GEN_S);
}

void DrawObject(const T3DObject& object, DrawSettings& settings, MeshUnitState& unit) {
  const TMaterial& m = object.material;
  PushTransforms(object.transforms);
  const bool neutral =
      settings.NeutralMissingTextures && !m.primaryTextureName.empty() && !m.hasTexture;
  const GLboolean wasLit = glIsEnabled(GL_LIGHTING);
  const GLboolean wasNormalized = glIsEnabled(GL_NORMALIZE);
  if (neutral) {
    ApplyNeutralMaterial();
  } else {
    ApplyMaterial(m);
  }
  glPushName(static_cast<GLuint>(object.pickName));
  settings.faceAccumulator += object.faceCount;

  // A driver that named the extensions but gave no entry point cannot run it.
  const BumpEntryPoints& e = settings.bump.entries;
  const bool bumpPossible = m.hasBump && settings.bump.BumpSupported && e.ActiveTexture &&
                            e.ClientActiveTexture && e.MultiTexCoord2f && e.MultiTexCoord3f;
  if (bumpPossible && (settings.BumpEnabled || settings.BumpsOnly))
    BumpPass(object, settings, unit);
  if (!settings.BumpsOnly) BasePass(object, settings, bumpPossible && settings.BumpEnabled);
  if (neutral && !wasLit) {
    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHTING);
  }
  if (neutral && !wasNormalized) glDisable(GL_NORMALIZE);

  glDisable(GL_BLEND);
  glPopName();
  PopTransforms(object.transforms);
}

void DrawObjectWireframe(const T3DObject& object, DrawSettings& settings) {
  glDisable(GL_BLEND);
  PushTransforms(object.transforms);
  ApplyMaterial(object.material);
  glPushName(static_cast<GLuint>(object.pickName));
  settings.faceAccumulator += object.faceCount;
  glColor3f(0.25f, 0.25f, 0.25f);
  WireGeometry(object, settings);
  glDisable(GL_CULL_FACE);
  glPopName();
  PopTransforms(object.transforms);
}

void DrawModel(const T3DModel& model, DrawSettings& settings, MeshUnitState& unit) {
  SweepBuffers(settings);
  settings.faceAccumulator = 0;
  for (bool transparent : {false, true}) {
    for (const auto& object : model.objects) {
      if (object->transparent == transparent) DrawObject(*object, settings, unit);
    }
  }
  settings.PolyCount = settings.faceAccumulator;
}

void DrawModelWireframe(const T3DModel& model, DrawSettings& settings) {
  SweepBuffers(settings);
  settings.faceAccumulator = 0;
  for (const auto& object : model.objects)
    DrawObjectWireframe(*object, settings);
  settings.PolyCount = settings.faceAccumulator;
}

void DrawModelHighlight(const T3DModel& model, DrawSettings& settings, MeshUnitState& unit) {
  SweepBuffers(settings);
  for (const auto& object : model.objects) {
    if (object->material.primaryTextureName == settings.HighlightTextureName) {
      DrawObject(*object, settings, unit);
    } else {
      DrawObjectWireframe(*object, settings);
    }
  }
}

void ReleaseDrawResources(DrawSettings& settings) {
  for (const auto& entry : settings.objectBuffers)
    DeleteBuffers(settings, entry.second);
  settings.objectBuffers.clear();
  if (settings.CubeMapTexture != 0) {
    const GLuint name = settings.CubeMapTexture;
    glDeleteTextures(1, &name);
    settings.CubeMapTexture = 0;
  }
}

}  // namespace kelvane
