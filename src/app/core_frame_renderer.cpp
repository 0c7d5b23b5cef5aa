#include "core_frame_renderer.h"

#include "view/frame.h"
#include "windows/main_window.h"

namespace kelvane {

void CoreFrameRenderer::SetupGL() {
  const GlProcLookup lookup = QtProcLookup();
  kelvane::SetupGL(window_.settings.bgroundColour, draw_,
                   [lookup](const char* name) -> GlProc { return lookup(name); });
  window_.bumpSupported = draw_.bump.BumpSupported;
}

void CoreFrameRenderer::SetPerspective(int width, int height) {
  kelvane::SetPerspective(width, height);
}

void CoreFrameRenderer::RenderFrame() {
  MainWindow& w = window_;
  draw_.BumpEnabled = w.bumpEnabled;
  draw_.BumpsOnly = w.bumpsOnly;
  draw_.BumpStrength = w.bumpStrength;
  draw_.HighlightTextureName = w.highlightTextureName;

  FrameModes modes;
  modes.TrainCarMode = w.train.TrainCarMode;
  modes.ShowAxes = w.settings.showAxes;
  modes.Metric = w.settings.metric;
  modes.ShowAttachments = w.showAttachments;
  modes.LocateTextureMode = w.locateTextureMode;
  modes.SizeMode = w.sizeMode;
  modes.AttIndex = w.attIndex;
  modes.AttSize = w.settings.attSize;
  modes.Gauge = w.settings.gauge;
  modes.TieSpacing = w.settings.tieSpacing;

  TrackState track;
  track.BallastTexture = w.ballastTexture_;
  track.BallastLoaded = w.ballastLoaded_;
  track.GroundTexture = w.groundTexture_;
  track.GroundLoaded = w.groundLoaded_;

  FrameInputs in{w.view, draw_, w.unit, modes, track, glyphs_};
  in.currentModel = w.CurrentModel();
  in.scene = w.scene_.get();
  in.traincar = &w.train;
  kelvane::RenderFrame(in);
}

void CoreFrameRenderer::Release() {
  ReleaseDrawResources(draw_);
}

}  // namespace kelvane
