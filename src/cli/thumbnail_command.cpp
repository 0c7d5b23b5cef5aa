#include "thumbnail_command.h"

#include <algorithm>
#include <array>
#include <string>

#include "mesh/model.h"
#include "platform/content_kind.h"
#include "platform/notices.h"
#include "png_writer.h"
#include "render_command.h"
#include "session/content_session.h"
#include "stderr_notifier.h"
#include "view/texture_view.h"

namespace kelvane {

namespace {

// A preview is only made of a whole mesh: one that loads with something to
// draw and without a word about damage. Textures are not looked at here.
bool WholeMesh(const std::filesystem::path& file, std::ostream& messages) {
  SessionOptions options;
  options.loadTextures = false;
  ContentSession session(std::move(options));
  const OpenOutcome opened = session.Open(file);
  for (const Notice& n : opened.messages)
    messages << n.caption << ": " << n.text << "\n";
  return opened.loaded && opened.messages.empty();
}

}  // namespace

PixelBuffer FitWithin(const PixelBuffer& picture, int size) {
  const int w = picture.width, h = picture.height;
  const int longer = std::max(w, h);
  if (longer <= size || w == 0 || h == 0) return picture;
  const int w2 = std::max(1, static_cast<int>((static_cast<long>(w) * size + longer / 2) / longer));
  const int h2 = std::max(1, static_cast<int>((static_cast<long>(h) * size + longer / 2) / longer));
  const int n = picture.bytesPerTexel;
  PixelBuffer out = PixelBuffer::Unwritten(static_cast<std::uint16_t>(w2),
                                           static_cast<std::uint16_t>(h2), picture.bytesPerTexel);
  for (int y = 0; y < h2; ++y) {
    const int y0 = y * h / h2, y1 = std::max(y0 + 1, (y + 1) * h / h2);
    for (int x = 0; x < w2; ++x) {
      const int x0 = x * w / w2, x1 = std::max(x0 + 1, (x + 1) * w / w2);
      std::array<unsigned long, 4> sum{};
      for (int sy = y0; sy < y1; ++sy) {
        for (int sx = x0; sx < x1; ++sx) {
          const std::uint8_t* t =
              picture.Texel(static_cast<std::size_t>(sx), static_cast<std::size_t>(sy));
          for (int c = 0; c < n; ++c)
            sum[static_cast<std::size_t>(c)] += t[c];
        }
      }
      const unsigned long count =
          static_cast<unsigned long>(y1 - y0) * static_cast<unsigned long>(x1 - x0);
      std::uint8_t* o = out.pixels.data() + static_cast<std::size_t>(y) * out.RowBytes() +
                        static_cast<std::size_t>(x) * static_cast<std::size_t>(n);
      for (int c = 0; c < n; ++c)
        o[c] = static_cast<std::uint8_t>((sum[static_cast<std::size_t>(c)] + count / 2) / count);
    }
  }
  return out;
}

int RunThumbnail(const ThumbnailOptions& options, std::ostream& messages) {
  if (options.size < 1 || options.size > 4096) {
    messages << "kelvane: the thumbnail size must lie in 1..4096\n";
    return 2;
  }
  const ContentKind kind = ContentKindOf(options.input);
  // The picture is made first; the output is only opened once there is one.
  std::optional<PixelBuffer> picture;
  if (kind == ContentKind::kMesh && !WholeMesh(options.input, messages)) {
    messages << "kelvane: no thumbnail of the damaged mesh " << options.input.string() << "\n";
    return 1;
  }
  if (kind == ContentKind::kMesh) {
    PixelBuffer drawn;
    RenderOptions render;
    render.path = options.input;
    render.output = options.output;
    render.width = options.size;
    render.height = std::max(1, options.size * 3 / 4);
    // A sandboxed thumbnailer sees the mesh file alone: its shape still reads.
    render.neutralMissingTextures = true;
    render.picture = &drawn;
    if (RunRender(render, messages) != 0) return 1;
    picture = std::move(drawn);
  } else if (kind == ContentKind::kTexture) {
    StreamNotifier notifier(messages);
    ContentSession session({.notifier = &notifier});
    const TextureView* texture = session.Open(options.input).loaded ? session.Texture() : nullptr;
    if (!texture) {
      messages << "kelvane: cannot read " << options.input.string() << "\n";
      return 1;
    }
    picture = FitWithin(texture->picture, options.size);
  } else {
    messages << "kelvane: cannot read " << options.input.string() << "\n";
    return 1;
  }
  // The caller owns the output path and may read it through a handle it
  // keeps open: the file is truncated and written in place.
  std::string error;
  if (!WritePng(options.output, *picture, &error)) {
    messages << "kelvane: " << error << "\n";
    return 1;
  }
  return 0;
}

}  // namespace kelvane
