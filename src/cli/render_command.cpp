#include "render_command.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <system_error>

#include "assets/traincar.h"
#include "base/text.h"
#include "egl_context.h"
#include "install_layout.h"
#include "jpeg_writer.h"
#include "mesh/model.h"
#include "platform/dos_command.h"
#include "platform/notices.h"
#include "png_writer.h"
#include "settings/viewer_settings.h"
#include "textures/texture_loader.h"
#include "textures/texture_upload.h"
#include "traincar_info.h"
#include "view/frame.h"

namespace kelvane {

namespace {

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe.parent_path();
}

void PrintNotices(const RecordingNotifier& notifier, std::ostream& messages) {
  for (const Notice& n : notifier.notices)
    messages << n.caption << ": " << n.text << "\n";
}

// The view reset and framing of a newly opened mesh.
void FrameView(ViewState& view, const MeshUnitState& unit) {
  view = ViewState{};
  view.Zoom = FramingZoom(LargestExtent(unit, false));
}

// Everything that lives in the context; destroyed before it.
struct Scene {
  MeshUnitState unit;
  TextureLoaderState textureState;
  GlTextureUploader uploader{textureState};
  T3DScene scene;
  TraincarState traincar;
  TrackState track;
};

// The process's resident set at its largest so far (Linux), or -1.
long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

}  // namespace

int RunRender(const RenderOptions& options, std::ostream& messages) {
  const std::string ext = LowerExtension(options.output.string());
  if (ext != ".png" && ext != ".jpg" && ext != ".jpeg") {
    messages << "kelvane: the output must end in .png or .jpg: " << options.output.string() << "\n";
    return 1;
  }
  if (options.width < 1 || options.height < 1 || options.width > 8192 || options.height > 8192) {
    messages << "kelvane: the size must lie in 1..8192 on each side\n";
    return 1;
  }
  std::string why;
  std::optional<HeadlessGlContext> gl =
      HeadlessGlContext::Create(options.width, options.height, &why);
  if (!gl) {
    messages << "kelvane: no GL context: " << why << "\n";
    return 1;
  }

  const ViewerSettings defaults;
  DrawSettings draw;
  draw.path = options.geometry;
  const GlProcLookup lookup = HeadlessGlContext::Lookup();
  SetupGL(options.background.value_or(defaults.bgroundColour), draw, lookup);

  RecordingNotifier notifier;
  auto s = std::make_unique<Scene>();
  TextureLoader loader(s->textureState, notifier, s->uploader);
  LoadContext load{s->unit, notifier};
  load.textures = &loader;
  ViewState view;
  FrameModes modes;
  modes.ShowAxes = defaults.showAxes && !options.noAxes;
  modes.Metric = defaults.metric && !options.feet;
  modes.AttSize = defaults.attSize;
  modes.Gauge = options.gauge.value_or(defaults.gauge);
  modes.TieSpacing = options.tieSpacing.value_or(defaults.tieSpacing);
  draw.BumpStrength = options.bumpStrength.value_or(defaults.bumpAlpha);
  draw.BumpEnabled = draw.BumpStrength > 0.0f;
  draw.BumpsOnly = options.bumpsOnly;

  const auto opened = std::chrono::steady_clock::now();
  const T3DModel* current = nullptr;
  bool loaded = false;
  if (IsTraincarPath(options.path)) {
    std::error_code ec;
    s->traincar.AssetFolder =
        std::filesystem::is_directory(options.path, ec) ? options.path : options.path.parent_path();
    MainTaskQueue mainThread;
    TDosCommand runner(notifier, mainThread.Dispatcher());
    TraincarContext context{s->traincar, s->scene, load, notifier, runner};
    context.hooks.pump = [&mainThread] { mainThread.RunPending(); };
    context.onModelLoaded = [&](T3DModel&, bool) {
      if (s->traincar.FirstMesh) {
        FrameView(view, s->unit);
        view.RotY = 60.0f;
      }
    };
    loaded = ConfigOpen(context) && s->scene.ModelCount() > 0;
    mainThread.RunPending();
    modes.TrainCarMode = s->traincar.TrainCarMode;
    const auto folder =
        options.dataFolder.empty() ? DataFolder(ExecutableFolder()) : options.dataFolder;
    if (loaded) LoadTrackTextures(s->track, loader, folder);
    if (s->scene.ModelCount() > 0) current = &s->scene.Model(s->scene.ModelCount() - 1);
  } else {
    T3DModel& model = s->scene.AddModel();
    loaded = model.Load(options.path, load);
    FrameView(view, s->unit);
    current = &model;
  }
  PrintNotices(notifier, messages);
  if (!loaded) {
    messages << "kelvane: cannot load " << options.path.string() << "\n";
    DeleteTrackTextures(s->track, loader);
    s.reset();
    ReleaseDrawResources(draw);
    return 1;
  }

  if (options.attachments || options.wireframe) {
    modes.ShowAttachments = true;
    if (options.attachments && s->unit.AttachmentCount > 0)
      view.Zoom = FramingZoom(LargestExtent(s->unit, true));
  }
  if (options.locateTexture) {
    modes.LocateTextureMode = true;
    draw.HighlightTextureName = *options.locateTexture;
  }
  if (options.rotX) view.RotX = *options.rotX;
  if (options.rotY) view.RotY = *options.rotY;
  if (options.zoom) view.Zoom = *options.zoom;
  if (options.panX) view.PanX = *options.panX;
  if (options.panY) view.PanY = *options.panY;

  const GlyphTable glyphs = BuildGlyphs();
  SetPerspective(options.width, options.height);
  FrameInputs frame{view, draw, s->unit, modes, s->track, glyphs, current, &s->scene, &s->traincar};
  RenderFrame(frame);
  glFinish();
  if (options.timing) {
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - opened;
    messages << "kelvane: opened and drawn in " << took.count() << " ms\n";
  }

  const std::vector<std::uint8_t> rgb = gl->ReadPixels(3);
  PixelBuffer picture = PixelBuffer::Zeroed(static_cast<std::uint16_t>(options.width),
                                            static_cast<std::uint16_t>(options.height), 3);
  // The read-back runs from the top; the buffer's rows from the bottom.
  const std::size_t stride = picture.RowBytes();
  for (int y = 0; y < options.height; ++y) {
    std::copy_n(
        rgb.begin() + static_cast<std::ptrdiff_t>(y * stride), stride,
        picture.pixels.begin() + static_cast<std::ptrdiff_t>((options.height - 1 - y) * stride));
  }
  DeleteTrackTextures(s->track, loader);
  s.reset();
  ReleaseDrawResources(draw);

  std::string error;
  const bool written = ext == ".png" ? WritePng(options.output, picture, &error)
                                     : WriteJpeg(options.output, picture, 90, &error);
  if (!written) {
    messages << "kelvane: " << error << "\n";
    return 1;
  }
  if (options.timing) messages << "kelvane: peak resident memory " << PeakResidentKiB() << " kB\n";
  return 0;
}

}  // namespace kelvane
