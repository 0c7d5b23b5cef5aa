#include "render_command.h"

#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <system_error>

#include "base/text.h"
#include "egl_context.h"
#include "install_layout.h"
#include "jpeg_writer.h"
#include "mesh/model.h"
#include "platform/content_kind.h"
#include "platform/notices.h"
#include "png_writer.h"
#include "session/content_session.h"
#include "settings/viewer_settings.h"
#include "texture_render.h"
#include "textures/texture_upload.h"
#include "view/frame.h"

namespace kelvane {

namespace {

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe.parent_path();
}

void PrintNotices(const std::vector<Notice>& notices, std::ostream& messages) {
  for (const Notice& n : notices)
    messages << n.caption << ": " << n.text << "\n";
}

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

  SessionOptions sessionOptions;
  sessionOptions.uploader = [](TextureLoaderState& state) {
    return std::make_unique<GlTextureUploader>(state);
  };
  sessionOptions.trackFolder = DataFolder(ExecutableFolder());
  // Lives in the context; closed before it.
  auto session = std::make_unique<ContentSession>(std::move(sessionOptions));
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

  const auto started = std::chrono::steady_clock::now();
  const OpenOutcome opened = session->Open(options.path);
  PrintNotices(opened.messages, messages);
  if (!opened.loaded) {
    messages << "kelvane: cannot load " << options.path.string() << " (" << opened.reason << ")\n";
    session.reset();
    ReleaseDrawResources(draw);
    return 1;
  }
  view = ViewState{};
  if (opened.firstView) {
    view.Zoom = opened.firstView->zoom;
    view.RotY = opened.firstView->rotY;
  }
  MeshUnitState& unit = *session->Unit();

  if (options.attachments || options.wireframe) {
    modes.ShowAttachments = true;
    if (options.attachments && unit.AttachmentCount > 0) view.Zoom = FramingZoom(unit, true);
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

  frame->unit = &unit;
  frame->currentModel = session->CurrentModel();
  frame->scene = session->Scene();
  frame->trainCarMode = session->Kind() == ContentKind::kTraincar;
  frame->track = *session->Track();
  SetPerspective(options.width, options.height);
  RenderFrame(*frame);
  glFinish();
  if (options.timing) {
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - started;
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
  session.reset();
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
