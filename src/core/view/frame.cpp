#include "view/frame.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <string_view>

#include "overlays/attachment_markers.h"
#include "overlays/axes.h"
#include "overlays/measure_marker.h"

namespace kelvane {

namespace {

void Lighting(bool on) {
  if (on) {
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
  } else {
    glDisable(GL_LIGHT0);
    glDisable(GL_LIGHTING);
  }
}

void ApplySteps(const std::vector<PlacementStep>& steps) {
  for (const PlacementStep& s : steps) {
    if (s.kind == PlacementStep::Kind::Translate) {
      glTranslatef(s.x, s.y, s.z);
    } else {
      glRotatef(s.angle, s.x, s.y, s.z);
    }
  }
}

void DrawTraincar(FrameState& f, MeshUnitState& unit) {
  Lighting(false);
  DrawTrack(f.track, f.draw.bump.entries, f.modes.Gauge,
            static_cast<float>(f.modes.TieSpacing) / 1000.0f);
  if (!f.scene) return;
  for (std::size_t i = f.scene->ModelCount(); i-- > 0;) {
    glPushMatrix();
    ApplySteps(f.scene->Model(i).placement);
    DrawModel(f.scene->Model(i), f.draw, unit);
    glPopMatrix();
  }
}

void DrawMesh(FrameState& f, MeshUnitState& unit) {
  const FrameModes& m = f.modes;
  if (m.ShowAttachments || m.LocateTextureMode) {
    Lighting(false);
    if (m.ShowAttachments && f.currentModel) {
      DrawModelWireframe(*f.currentModel, f.draw);
      if (unit.AttachmentCount > 0) DrawAttachments(unit, m.AttIndex, m.AttSize, f.view.Zoom);
    }
    if (m.LocateTextureMode && f.currentModel) DrawModelHighlight(*f.currentModel, f.draw, unit);
    if (unit.LightingOn) Lighting(true);
    return;
  }
  // Loading decides the lighting of a mesh: off once any material has a
  // texture.
  Lighting(unit.LightingOn);
  if (m.ShowAxes) {
    // Axes are flat colours whatever the model's lighting.
    glDisable(GL_LIGHTING);
    DrawAxes(f.glyphs, m.Metric, f.view.Zoom);
    Lighting(unit.LightingOn);
  }
  if (f.currentModel) DrawModel(*f.currentModel, f.draw, unit);
}

}  // namespace

void ApplyViewerSettings(FrameState& frame, const ViewerSettings& settings) {
  frame.BGroundColour = settings.bgroundColour;
  frame.modes.ShowAxes = settings.showAxes;
  frame.modes.Metric = settings.metric;
  frame.modes.AttSize = settings.attSize;
  frame.modes.Gauge = settings.gauge;
  frame.modes.TieSpacing = settings.tieSpacing;
  frame.draw.BumpStrength = settings.bumpAlpha;
}

ClearColour BackgroundColour(std::int32_t bgroundColour) {
  if (bgroundColour == 0) return {0.5f, 0.5f, 0.55f};
  const auto c = static_cast<std::uint32_t>(bgroundColour);
  return {static_cast<float>(c & 0xFF) / 255.0f, static_cast<float>((c >> 8) & 0xFF) / 255.0f,
          static_cast<float>((c >> 16) & 0xFF) / 255.0f};
}

namespace {

// Triangles a software rasterizer bins between flushes of the buffer path.
constexpr std::int32_t kSoftwareFlushTriangles = 2048;

// GL 1.5's buffer objects, or the ARB extension's on an older context;
// none when the context has neither.
BufferEntryPoints FindBufferEntryPoints(const GlProcFinder& find) {
  const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  const auto* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  int major = 0, minor = 0;
  if (version) std::sscanf(version, "%d.%d", &major, &minor);
  std::string suffix;
  if (major == 1 && minor < 5) {
    const std::string_view all = extensions ? extensions : "";
    if (all.find("GL_ARB_vertex_buffer_object") == std::string_view::npos) return {};
    suffix = "ARB";
  } else if (major < 1) {
    return {};
  }
  const auto entry = [&](const char* name) { return find((name + suffix).c_str()); };
  BufferEntryPoints b;
  b.GenBuffers = reinterpret_cast<PFNGLGENBUFFERSPROC>(entry("glGenBuffers"));
  b.BindBuffer = reinterpret_cast<PFNGLBINDBUFFERPROC>(entry("glBindBuffer"));
  b.BufferData = reinterpret_cast<PFNGLBUFFERDATAPROC>(entry("glBufferData"));
  b.BufferSubData = reinterpret_cast<PFNGLBUFFERSUBDATAPROC>(entry("glBufferSubData"));
  b.DeleteBuffers = reinterpret_cast<PFNGLDELETEBUFFERSPROC>(entry("glDeleteBuffers"));
  return b;
}

}  // namespace

void SetupGL(DrawSettings& draw, const GlProcFinder& find) {
  glShadeModel(GL_SMOOTH);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glClearDepth(1.0);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_DEPTH_TEST);
  glAlphaFunc(GL_GREATER, 0.06f);
  glEnable(GL_ALPHA_TEST);
  InitBumpExtensions(draw.bump, find);
  draw.DrawRangeElements =
      reinterpret_cast<PFNGLDRAWRANGEELEMENTSPROC>(find("glDrawRangeElements"));
  draw.buffers = FindBufferEntryPoints(find);
  const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  const std::string_view name = renderer ? renderer : "";
  const bool software = name.find("llvmpipe") != std::string_view::npos ||
                        name.find("softpipe") != std::string_view::npos ||
                        name.find("Software Rasterizer") != std::string_view::npos;
  draw.flushTriangles = software ? kSoftwareFlushTriangles : 0;
  draw.bump.BumpLightPosition = kBumpLightPosition;
}

void SetPerspective(int width, int height) {
  glViewport(0, 0, width, height);
  const double aspect =
      width < 1 || height < 1 ? 1.0 : static_cast<double>(width) / static_cast<double>(height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, aspect, 1.0, 300.0);
  SetCamera();
}

void SetCamera() {
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(0.0, 20.0, 120.0, 0.0, 30.0, 0.0, 0.0, 1.0, 0.0);
}

void ClearGLBuffers() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void SetClearColour(std::int32_t bgroundColour) {
  const ClearColour c = BackgroundColour(bgroundColour);
  glClearColor(c.r, c.g, c.b, 0.0f);
}

void RenderFrame(FrameState& frame) {
  if (frame.texture) {
    GLint viewport[4] = {0, 0, 1, 1};
    glGetIntegerv(GL_VIEWPORT, viewport);
    DrawTextureView(*frame.texture, frame.textureGl, frame.view, viewport[2], viewport[3],
                    frame.BGroundColour);
    return;
  }
  SetClearColour(frame.BGroundColour);
  ClearGLBuffers();
  SetCamera();
  if (!frame.unit) return;
  const ViewState& v = frame.view;
  glRotatef(v.RotX, 1.0f, 0.0f, 0.0f);
  glRotatef(v.RotY, 0.0f, 1.0f, 0.0f);
  glScalef(v.Zoom, v.Zoom, v.Zoom);
  const float radians = v.RotY * std::numbers::pi_v<float> / 180.0f;
  glTranslatef(std::cos(radians) * v.PanX, v.PanY, std::sin(radians) * v.PanX);
  if (frame.trainCarMode) {
    DrawTraincar(frame, *frame.unit);
  } else {
    DrawMesh(frame, *frame.unit);
  }
  if (!frame.measure.Empty()) {
    DrawMeasurement(frame.measure, frame.modes.AttSize, v.Zoom);
    if (!frame.trainCarMode && frame.unit->LightingOn) Lighting(true);
  }
}

float FramingZoom(float extent) {
  return extent > 0.0f ? 20.0f / std::sqrt(extent) : 1.0f;
}

float LargestExtent(const MeshUnitState& unit, bool withAttachments) {
  const TMeshBounds& b = unit.MeshBounds;
  float lo[3] = {b.minX, b.minY, b.minZ};
  float hi[3] = {b.maxX, b.maxY, b.maxZ};
  bool any = !b.firstVertex;
  if (withAttachments) {
    const auto count = std::min(static_cast<std::size_t>(std::max(unit.AttachmentCount, 0)),
                                unit.AttachmentTable.size());
    for (std::size_t i = 0; i < count; ++i) {
      const TVector3& p = unit.AttachmentTable[i].position;
      const float q[3] = {p.x, p.z, -p.y};
      for (int k = 0; k < 3; ++k) {
        lo[k] = any ? std::min(lo[k], q[k]) : q[k];
        hi[k] = any ? std::max(hi[k], q[k]) : q[k];
      }
      any = true;
    }
  }
  if (!any) return 0.0f;
  return std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
}

}  // namespace kelvane
