#include "texture_render.h"

#include <GL/gl.h>

#include <algorithm>
#include <string>

#include "base/text.h"
#include "egl_context.h"
#include "jpeg_writer.h"
#include "png_writer.h"
#include "settings/viewer_settings.h"
#include "stderr_notifier.h"
#include "view/texture_view.h"

namespace kelvane {

int RunTextureRender(const RenderOptions& options, std::ostream& messages) {
  std::int32_t background = ViewerSettings{}.bgroundColour;
  if (!options.settingsFile.empty()) {
    const TMemIni ini(options.settingsFile);
    if (ini.status() != TMemIni::ReadStatus::Read) {
      messages << "kelvane: cannot read the settings file " << options.settingsFile.string()
               << "\n";
      return 1;
    }
    background = ReadSettings(ini).bgroundColour;
  }
  if (options.background) background = *options.background;

  StreamNotifier notifier(messages);
  const std::optional<TextureView> texture = OpenTextureView(options.path, notifier);
  if (!texture) {
    messages << "kelvane: cannot load " << options.path.string() << "\n";
    return 1;
  }
  std::string why;
  std::optional<HeadlessGlContext> gl =
      HeadlessGlContext::Create(options.width, options.height, &why);
  if (!gl) {
    messages << "kelvane: no GL context: " << why << "\n";
    return 1;
  }
  ViewState view;
  view.Zoom = options.zoom.value_or(TextureFramingZoom());
  view.PanX = options.panX.value_or(0.0f);
  view.PanY = options.panY.value_or(0.0f);
  TextureViewGl objects;
  DrawTextureView(*texture, objects, view, options.width, options.height, background);
  glFinish();
  const std::vector<std::uint8_t> rgb = gl->ReadPixels(3);
  ReleaseTextureViewGl(objects);

  PixelBuffer picture = PixelBuffer::Zeroed(static_cast<std::uint16_t>(options.width),
                                            static_cast<std::uint16_t>(options.height), 3);
  // The read-back runs from the top; the buffer's rows from the bottom.
  const std::size_t stride = picture.RowBytes();
  for (int y = 0; y < options.height; ++y) {
    std::copy_n(
        rgb.begin() + static_cast<std::ptrdiff_t>(y * stride), stride,
        picture.pixels.begin() + static_cast<std::ptrdiff_t>((options.height - 1 - y) * stride));
  }
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
  return 0;
}

}  // namespace kelvane
