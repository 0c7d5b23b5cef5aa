#include "thumbnail_command.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <string>

#include "base/text.h"
#include "mesh/model.h"
#include "platform/notices.h"
#include "png_writer.h"
#include "render_command.h"
#include "session/content_session.h"
#include "stderr_notifier.h"
#include "textures/texture_container.h"
#include "textures/texture_loader.h"

namespace kelvane {

namespace {

enum class InputKind { kMesh, kContainer, kImage };

// Both containers start with the same tag; the form type after the length
// tells a mesh from a texture.
InputKind KindOf(const std::filesystem::path& file) {
  std::array<char, 16> head{};
  std::ifstream in(file, std::ios::binary);
  in.read(head.data(), head.size());
  const auto got = static_cast<std::size_t>(in.gcount());
  if (got >= 12 && std::memcmp(head.data(), "JIRF", 4) == 0) {
    if (std::memcmp(head.data() + 8, "IDXM", 4) == 0) return InputKind::kMesh;
    if (got == 16 && std::memcmp(head.data() + 8, "MMTFINFO", 8) == 0) return InputKind::kContainer;
  }
  const std::string ext = LowerExtension(file.string());
  if (ext == ".im" || ext == ".pm") return InputKind::kMesh;
  return ext == ".texture" ? InputKind::kContainer : InputKind::kImage;
}

// The decoded picture of a texture file, or nothing.
std::optional<PixelBuffer> DecodeTexture(const std::filesystem::path& file, InputKind kind,
                                         std::ostream& messages) {
  if (kind == InputKind::kContainer) {
    // Read directly so that a renamed container is still known.
    ReadResult result = ReadContainerTextureFile({file.string(), false, 0});
    if (result.kind != ReadResult::Kind::kImage) return std::nullopt;
    return std::move(result.image);
  }
  TextureLoaderState state;
  StreamNotifier notifier(messages);
  DecodeOnlyUploader uploader(state);
  TextureLoader loader(state, notifier, uploader);
  std::uint32_t texture = 0;
  if (!loader.LoadTexture(file, texture, false, 0) || uploader.LiveCount() == 0)
    return std::nullopt;
  return *uploader.LastUpload();
}

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
  const InputKind kind = KindOf(options.input);
  // The picture is made first; the output is only opened once there is one.
  std::optional<PixelBuffer> picture;
  if (kind == InputKind::kMesh && !WholeMesh(options.input, messages)) {
    messages << "kelvane: no thumbnail of the damaged mesh " << options.input.string() << "\n";
    return 1;
  }
  if (kind == InputKind::kMesh) {
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
  } else if (auto decoded = DecodeTexture(options.input, kind, messages)) {
    picture = FitWithin(*decoded, options.size);
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
