#pragma once

#include <cstdint>

#include "mesh/model.h"
#include "mesh/model_draw.h"
#include "overlays/stroke_font.h"
#include "overlays/track.h"
#include "settings/viewer_settings.h"
#include "textures/bump_support.h"
#include "view/measurement.h"
#include "view/texture_view.h"
#include "view/view_state.h"

// The frame: fixed GL state, projection, camera and the drawing order of one
// frame. Every function here draws into whatever GL context is current (a
// QOpenGLWidget's in paintGL/resizeGL, the headless one of the command
// line); none of them creates, binds or presents a surface.

namespace kelvane {

// The viewer's switches that pick what a frame draws.
struct FrameModes {
  bool ShowAxes = true;
  bool Metric = true;
  bool ShowAttachments = false;    // wireframe and attachment markers
  bool LocateTextureMode = false;  // highlight of HighlightTextureName
  std::int32_t AttIndex = 0;       // the current attachment point
  std::int32_t AttSize = 10;       // marker size, 3..15
  float Gauge = 1.44f;             // rail centres, metres
  std::int32_t TieSpacing = 800;   // sleeper spacing, millimetres
};

// What one frame shows, owned by whoever presents the frames (the viewer
// window, the command line) and read by RenderFrame. The content is held
// elsewhere: `currentModel` is drawn in mesh mode (none: only the axes); in
// traincar mode every model of `scene` is drawn at the placement its
// composition gave it. Without `unit` only the background is drawn.
struct FrameState {
  ViewState view;
  FrameModes modes;
  DrawSettings draw;
  TrackState track;
  std::int32_t BGroundColour = 0;  // 0x00BBGGRR; 0 shows grey
  GlyphTable glyphs = BuildGlyphs();
  MeshUnitState* unit = nullptr;
  const T3DModel* currentModel = nullptr;
  const T3DScene* scene = nullptr;
  bool trainCarMode = false;
  // A texture opened on its own is drawn instead of any model; its GL
  // objects are the presenter's, released when another content is shown.
  const TextureView* texture = nullptr;
  TextureViewGl textureGl;
  // Points picked for measuring, drawn over the content.
  Measurement measure;
};

// Takes the persistent settings that decide the picture: background, axes
// and units, marker size, bump strength, gauge and sleeper spacing.
void ApplyViewerSettings(FrameState& frame, const ViewerSettings& settings);

// Light position of the bump and reflection passes.
inline constexpr TVector3 kBumpLightPosition{150.0f, 100.0f, -200.0f};

// The clear colour of a 0x00BBGGRR value; 0 gives grey (0.5, 0.5, 0.55),
// at start-up and when chosen alike, so the picture never changes on a
// restart.
struct ClearColour {
  float r, g, b;
};
ClearColour BackgroundColour(std::int32_t bgroundColour);

// Once per new context, with it current: shading, depth and alpha test, the
// bump extension probe through `find` (the context's entry-point lookup)
// and BumpLightPosition. Every frame sets its own clear colour.
void SetupGL(DrawSettings& draw, const GlProcFinder& find);
// On every resize: viewport, 45 degree projection (aspect 1 when a side is
// below 1), then SetCamera.
void SetPerspective(int width, int height);
// Model-view: look from (0, 20, 120) at (0, 30, 0), y up.
void SetCamera();
// Clears colour and depth.
void ClearGLBuffers();
// The context's clear colour becomes the background of `bgroundColour`.
void SetClearColour(std::int32_t bgroundColour);
// One frame: clear to the background, camera, view rotation, zoom and pan,
// then the traincar (track and placed models) or the mesh (wireframe with
// markers, texture highlight, or axes and model). The caller presents it.
void RenderFrame(FrameState& frame);

// The view scale that frames a model whose largest side is `extent`
// (20 / sqrt(extent)); 1 for an extent that is not positive.
float FramingZoom(float extent);
// The largest side of the bounds, or of the bounds widened to every
// attachment point (entering as (x, z, -y)) when `withAttachments`. A load
// that met no vertex has no bounds: only the points count then.
float LargestExtent(const MeshUnitState& unit, bool withAttachments);
// The zoom that frames the last load, widened to its attachment points when
// `withAttachments`: the one framing of the window and the command line.
inline float FramingZoom(const MeshUnitState& unit, bool withAttachments) {
  return FramingZoom(LargestExtent(unit, withAttachments));
}

}  // namespace kelvane
