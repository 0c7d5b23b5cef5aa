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
#include "platform/content_kind.h"
#include "platform/dos_command.h"
#include "platform/notices.h"
#include "png_writer.h"
#include "settings/viewer_settings.h"
#include "texture_render.h"
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
  view.Zoom = FramingZoom(unit, false);
}

// Everything that lives in the context; destroyed before it.
struct Scene {
  MeshUnitState unit;
  TextureLoaderState textureState;
  GlTextureUploader uploader{textureState};
  T3DScene scene;
  TraincarState traincar;
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

std::optional<std::string> RenderUsageError(const RenderOptions& options) {
  const std::string ext = LowerExtension(options.output.string());
  if (options.picture == nullptr && ext != ".png" && ext != ".jpg" && ext != ".jpeg")
    return "the output must end in .png or .jpg: " + options.output.string();
  if (options.width < 1 || options.height < 1 || options.width > 8192 || options.height > 8192)
    return "the size must lie in 1..8192 on each side";
  return std::nullopt;
}

int RunRender(const RenderOptions& options, std::ostream& messages) {
  if (const auto usage = RenderUsageError(options)) {
    messages << "kelvane: " << *usage << " (see kelvane --help)\n";
    return 2;
  }
  if (ContentKindOf(options.path) == ContentKind::kTexture)
    return RunTextureRender(options, messages);
  ViewerSettings settings;
  if (!options.settingsFile.empty()) {
    const TMemIni ini(options.settingsFile);
    if (ini.status() != TMemIni::ReadStatus::Read) {
      messages << "kelvane: cannot read the settings file " << options.settingsFile.string()
               << (ini.readError().empty() ? "" : ": " + ini.readError()) << "\n";
      return 1;
    }
    settings = ReadSettings(ini);
  }
  const std::string ext = LowerExtension(options.output.string());
  std::string why;
  std::optional<HeadlessGlContext> gl =
      HeadlessGlContext::Create(options.width, options.height, &why);
  if (!gl) {
    messages << "kelvane: no GL context: " << why << "\n";
    return 1;
  }

  auto frame = std::make_unique<FrameState>();
  DrawSettings& draw = frame->draw;
  draw.path = options.geometry;
  SetupGL(draw, HeadlessGlContext::Lookup());

  RecordingNotifier notifier;
  auto s = std::make_unique<Scene>();
  TextureLoader loader(s->textureState, notifier, s->uploader);
  LoadContext load{s->unit, notifier};
  load.textures = &loader;
  ViewState& view = frame->view;
  FrameModes& modes = frame->modes;
  ApplyViewerSettings(*frame, settings);
  if (options.background) frame->BGroundColour = *options.background;
  if (options.noAxes) modes.ShowAxes = false;
  if (options.feet) modes.Metric = false;
  if (options.gauge) modes.Gauge = *options.gauge;
  if (options.tieSpacing) modes.TieSpacing = *options.tieSpacing;
  if (options.bumpStrength) draw.BumpStrength = *options.bumpStrength;
  draw.BumpEnabled = draw.BumpStrength > 0.0f;
  draw.BumpsOnly = options.bumpsOnly;
  draw.NeutralMissingTextures = options.neutralMissingTextures;

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
    if (loaded) LoadTrackTextures(frame->track, loader, DataFolder(ExecutableFolder()));
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
    DeleteTrackTextures(frame->track, loader);
    s.reset();
    ReleaseDrawResources(draw);
    return 1;
  }

  if (options.attachments || options.wireframe) {
    modes.ShowAttachments = true;
    if (options.attachments && s->unit.AttachmentCount > 0) view.Zoom = FramingZoom(s->unit, true);
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

  frame->unit = &s->unit;
  frame->currentModel = current;
  frame->scene = &s->scene;
  frame->traincar = &s->traincar;
  SetPerspective(options.width, options.height);
  RenderFrame(*frame);
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
  DeleteTrackTextures(frame->track, loader);
  s.reset();
  ReleaseDrawResources(draw);

  if (options.picture) {
    *options.picture = std::move(picture);
    return 0;
  }
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
