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
#include "textures/texture_upload.h"
#include "view/frame.h"

namespace kelvane {

namespace {

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

namespace {

// The settings file's picture settings, or nothing when it cannot be read.
std::optional<ViewerSettings> RenderSettings(const RenderOptions& options, std::ostream& messages) {
  if (options.settingsFile.empty()) return ViewerSettings{};
  const TMemIni ini(options.settingsFile);
  if (ini.status() != TMemIni::ReadStatus::Read) {
    messages << "kelvane: cannot read the settings file " << options.settingsFile.string()
             << (ini.readError().empty() ? "" : ": " + ini.readError()) << "\n";
    return std::nullopt;
  }
  return ReadSettings(ini);
}

// What the options say of the picture before anything is opened.
void ApplyDrawOptions(FrameState& frame, const RenderOptions& options) {
  if (options.background) frame.BGroundColour = *options.background;
  if (options.noAxes) frame.modes.ShowAxes = false;
  if (options.feet) frame.modes.Metric = false;
  if (options.gauge) frame.modes.Gauge = *options.gauge;
  if (options.tieSpacing) frame.modes.TieSpacing = *options.tieSpacing;
  DrawSettings& draw = frame.draw;
  if (options.bumpStrength) draw.BumpStrength = *options.bumpStrength;
  draw.BumpEnabled = draw.BumpStrength > 0.0f;
  draw.BumpsOnly = options.bumpsOnly;
  draw.NeutralMissingTextures = options.neutralMissingTextures;
}

// The opened content's first view, then the view the options ask for.
void ApplyViewOptions(FrameState& frame, const RenderOptions& options, const OpenOutcome& opened,
                      const MeshUnitState* unit) {
  ViewState& view = frame.view;
  view = ViewState{};
  if (opened.firstView) {
    view.Zoom = opened.firstView->zoom;
    view.RotY = opened.firstView->rotY;
  }
  if (options.attachments || options.wireframe) {
    frame.modes.ShowAttachments = true;
    if (options.attachments && unit && unit->AttachmentCount > 0)
      view.Zoom = FramingZoom(*unit, true);
  }
  if (options.locateTexture) {
    frame.modes.LocateTextureMode = true;
    frame.draw.HighlightTextureName = *options.locateTexture;
  }
  if (options.rotX) view.RotX = *options.rotX;
  if (options.rotY) view.RotY = *options.rotY;
  if (options.zoom) view.Zoom = *options.zoom;
  if (options.panX) view.PanX = *options.panX;
  if (options.panY) view.PanY = *options.panY;
}

void ShowContent(FrameState& frame, ContentSession& session) {
  frame.unit = session.Unit();
  frame.currentModel = session.CurrentModel();
  frame.scene = session.Scene();
  frame.trainCarMode = session.Kind() == ContentKind::kTraincar;
  if (const TrackState* track = session.Track()) frame.track = *track;
  frame.texture = session.Texture();
}

// The drawn frame, rows bottom-up as pictures are held.
PixelBuffer ReadPicture(HeadlessGlContext& gl, int width, int height) {
  const std::vector<std::uint8_t> rgb = gl.ReadPixels(3);
  PixelBuffer picture =
      PixelBuffer::Zeroed(static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 3);
  const std::size_t stride = picture.RowBytes();
  for (int y = 0; y < height; ++y) {
    std::copy_n(rgb.begin() + static_cast<std::ptrdiff_t>(y * stride), stride,
                picture.pixels.begin() + static_cast<std::ptrdiff_t>((height - 1 - y) * stride));
  }
  return picture;
}

int WritePicture(const RenderOptions& options, PixelBuffer picture, std::ostream& messages) {
  if (options.picture) {
    *options.picture = std::move(picture);
    return 0;
  }
  std::string error;
  const bool written = LowerExtension(options.output.string()) == ".png"
                           ? WritePng(options.output, picture, &error)
                           : WriteJpeg(options.output, picture, 90, &error);
  if (!written) {
    messages << "kelvane: " << error << "\n";
    return 1;
  }
  if (options.timing) messages << "kelvane: peak resident memory " << PeakResidentKiB() << " kB\n";
  return 0;
}

}  // namespace

int RunRender(const RenderOptions& options, std::ostream& messages) {
  if (const auto usage = RenderUsageError(options)) {
    messages << "kelvane: " << *usage << " (see kelvane --help)\n";
    return 2;
  }
  const std::optional<ViewerSettings> settings = RenderSettings(options, messages);
  if (!settings) return 1;
  std::string why;
  std::optional<HeadlessGlContext> gl =
      HeadlessGlContext::Create(options.width, options.height, &why);
  if (!gl) {
    messages << "kelvane: no GL context: " << why << "\n";
    return 1;
  }

  auto frame = std::make_unique<FrameState>();
  frame->draw.path = options.geometry;
  SetupGL(frame->draw, HeadlessGlContext::Lookup());
  ApplyViewerSettings(*frame, *settings);
  ApplyDrawOptions(*frame, options);

  SessionOptions sessionOptions;
  sessionOptions.uploader = [](TextureLoaderState& state) {
    return std::make_unique<GlTextureUploader>(state);
  };
  sessionOptions.trackFolder = DataFolder(ExecutableFolder());
  // Lives in the context; closed before it.
  auto session = std::make_unique<ContentSession>(std::move(sessionOptions));
  const auto started = std::chrono::steady_clock::now();
  const OpenOutcome opened = session->Open(options.path);
  PrintNotices(opened.messages, messages);
  if (!opened.loaded) {
    messages << "kelvane: cannot load " << options.path.string() << " (" << opened.reason << ")\n";
    session.reset();
    ReleaseDrawResources(frame->draw);
    return 1;
  }
  ApplyViewOptions(*frame, options, opened, session->Unit());
  ShowContent(*frame, *session);
  SetPerspective(options.width, options.height);
  RenderFrame(*frame);
  glFinish();
  if (options.timing) {
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - started;
    messages << "kelvane: opened and drawn in " << took.count() << " ms\n";
  }
  PixelBuffer picture = ReadPicture(*gl, options.width, options.height);
  ReleaseTextureViewGl(frame->textureGl);
  session.reset();
  ReleaseDrawResources(frame->draw);
  return WritePicture(options, std::move(picture), messages);
}

}  // namespace kelvane
