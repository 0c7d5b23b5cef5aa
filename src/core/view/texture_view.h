#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "textures/pixel_buffer.h"
#include "view/view_state.h"

namespace kelvane {

class Notifier;

// What the status line says about an opened texture.
struct TextureFacts {
  std::filesystem::path file;
  std::string format;  // "texture container", "TGA", "BMP" or "JPEG"
  int width = 0;
  int height = 0;
  // "alpha from <file name>" (an alpha image merged in), "alpha channel"
  // (the file's own, transparent somewhere) or "none" (opaque everywhere).
  std::string alphaSource;
};

// A texture file opened on its own: the decoded picture and its facts.
struct TextureView {
  PixelBuffer picture;  // rows bottom-up, RGB or RGBA
  TextureFacts facts;
};

// Decodes a texture file as the viewer's loader does, the reader chosen as
// ContentTypeOf says (so a renamed image is read by its first bytes). A
// description file beside it (its name with ".txt" appended) whose
// "alpha=" names a BMP or TGA in the same folder gives the alpha. The
// readers' messages go to `notifier`. Nothing when the file is refused or
// holds no picture.
std::optional<TextureView> OpenTextureView(const std::filesystem::path& file, Notifier& notifier);

// "roof.texture: texture container, 64 x 64, alpha channel".
std::string TextureStatusText(const TextureFacts& facts);

// The zoom a texture opens at, its pan 0: the picture then fills nine
// tenths of the view's height or width. Zoom and pan act on the picture as
// they act on a mesh (the same mouse and keys).
float TextureFramingZoom();

// The GL objects of one texture view in one context. DrawTextureView makes
// them on its first draw; ReleaseTextureViewGl, with the context current,
// before the context goes or another texture is shown.
struct TextureViewGl {
  std::uint32_t picture = 0;
  std::uint32_t checker = 0;
};

// Clears to the background colour (0x00BBGGRR) and draws the picture on a
// flat quad at its aspect, facing the view, blended by its alpha over a
// grey checkerboard, scaled by view.Zoom and moved by view.PanX, PanY.
// Leaves the matrices and the GL state it changes as it found them (the
// viewport excepted).
void DrawTextureView(const TextureView& view, TextureViewGl& gl, const ViewState& state, int width,
                     int height, std::int32_t bgroundColour);
void ReleaseTextureViewGl(TextureViewGl& gl);

}  // namespace kelvane
