#include "view/texture_view.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <system_error>

#include "mesh/material_textures.h"
#include "platform/content_kind.h"
#include "platform/notices.h"
#include "platform/wine_paths.h"
#include "textures/bmp_reader.h"
#include "textures/jpeg_reader.h"
#include "textures/texture_container.h"
#include "textures/texture_loader.h"
#include "textures/texture_uploader.h"
#include "textures/tga_reader.h"
#include "view/frame.h"

namespace kelvane {

namespace {

// The half height the mesh camera sees at its focus (45 degrees at 120
// units): the picture lives in the same units, so zoom and pan feel alike.
const double kHalfHeight = 120.0 * std::tan(std::numbers::pi / 8.0);
// The picture's longer side, in those units.
constexpr float kPictureSide = 20.0f;
// Squares of the checkerboard along the picture's longer side.
constexpr float kSquares = 16.0f;

const char* FormatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::kContainer:
      return "texture container";
    case ImageFormat::kTga:
      return "TGA";
    case ImageFormat::kBmp:
      return "BMP";
    case ImageFormat::kJpeg:
      return "JPEG";
    case ImageFormat::kNone:
      break;
  }
  return "";
}

// The reader for the format, whatever the file's name says.
ReadResult ReadAs(ImageFormat format, const TextureRequest& request, TextureLoaderState& state,
                  Notifier& notifier) {
  switch (format) {
    case ImageFormat::kContainer:
      return ReadContainerTextureFile(request);
    case ImageFormat::kTga:
      return ReadTgaTextureFile(request, state, notifier);
    case ImageFormat::kBmp:
      return ReadBmpTextureFile(request, state, notifier);
    case ImageFormat::kJpeg:
      return ReadJpegTextureFile(request, state, notifier);
    case ImageFormat::kNone:
      break;
  }
  return ReadResult::Failed();
}

// The alpha image a description file beside the texture names, when it is there.
std::optional<std::filesystem::path> DescribedAlpha(const std::filesystem::path& file) {
  std::filesystem::path description = file;
  description += ".txt";
  std::error_code ec;
  if (!std::filesystem::is_regular_file(description, ec)) return std::nullopt;
  const TextureDescription d = ReadTextureDescription(description);
  if (d.alpha.empty()) return std::nullopt;
  return FindIgnoringCase(file.parent_path(), d.alpha);
}

std::uint32_t MakeTexture(GLsizei w, GLsizei h, GLenum format, const void* pixels, GLint filter,
                          GLint wrap) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), w, h, 0, format, GL_UNSIGNED_BYTE,
               pixels);
  return name;
}

void Quad(float halfW, float halfH, float repeatU, float repeatV) {
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex2f(-halfW, -halfH);
  glTexCoord2f(repeatU, 0.0f);
  glVertex2f(halfW, -halfH);
  glTexCoord2f(repeatU, repeatV);
  glVertex2f(halfW, halfH);
  glTexCoord2f(0.0f, repeatV);
  glVertex2f(-halfW, halfH);
  glEnd();
}

}  // namespace

std::optional<TextureView> OpenTextureView(const std::filesystem::path& file, Notifier& notifier) {
  const ContentType type = ContentTypeOf(file);
  if (type.kind != ContentKind::kTexture) return std::nullopt;

  TextureLoaderState state;
  DecodeOnlyUploader uploader(state);
  TextureLoader loader(state, notifier, uploader);
  std::string alphaSource;
  if (const auto alpha = DescribedAlpha(file)) {
    std::uint32_t ignored = 0;
    if (loader.LoadAlphaTexture(*alpha, ignored, false, 0)) {
      alphaSource = "alpha from " + alpha->filename().string();
    }
  }
  const std::size_t before = uploader.LiveCount();
  std::optional<PixelBuffer> picture;
  if (TextureKindOf(file.filename().string()) != TextureFileKind::kNone) {
    std::uint32_t texture = 0;
    if (loader.LoadTexture(file, texture, false, 0) && uploader.LiveCount() > before)
      picture = uploader.LastUpload();
  } else {
    ReadResult result = ReadAs(type.image, {file.string(), false, 0}, state, notifier);
    state.loadingAlphaImage = false;
    if (result.kind == ReadResult::Kind::kImage) picture = std::move(result.image);
  }
  if (!picture || picture->width == 0 || picture->height == 0) return std::nullopt;

  TextureView view;
  view.facts.file = file;
  view.facts.format = FormatName(type.image);
  view.facts.width = picture->width;
  view.facts.height = picture->height;
  // An alpha that is opaque everywhere (a JPEG's, say) is no alpha to show.
  bool seeThrough = false;
  if (picture->HasAlpha()) {
    for (std::size_t i = 3; i < picture->pixels.size() && !seeThrough; i += 4)
      seeThrough = picture->pixels[i] != 255;
  }
  if (!alphaSource.empty() && picture->HasAlpha()) {
    view.facts.alphaSource = alphaSource;
  } else {
    view.facts.alphaSource = seeThrough ? "alpha channel" : "none";
  }
  view.picture = std::move(*picture);
  return view;
}

std::string TextureStatusText(const TextureFacts& facts) {
  return facts.file.filename().string() + ": " + facts.format + ", " + std::to_string(facts.width) +
         " x " + std::to_string(facts.height) + ", " + facts.alphaSource;
}

float TextureFramingZoom() {
  return static_cast<float>(0.9 * 2.0 * kHalfHeight / kPictureSide);
}

void DrawTextureView(const TextureView& view, TextureViewGl& gl, const ViewState& state, int width,
                     int height, std::int32_t bgroundColour) {
  const PixelBuffer& p = view.picture;
  // The mesh view relies on state set once per context: all of it is kept.
  glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  if (gl.picture == 0) {
    gl.picture = MakeTexture(p.width, p.height, p.HasAlpha() ? GL_RGBA : GL_RGB, p.pixels.data(),
                             GL_NEAREST, GL_CLAMP);
  }
  if (gl.checker == 0) {
    const std::array<std::uint8_t, 12> squares{204, 204, 204, 153, 153, 153,
                                               153, 153, 153, 204, 204, 204};
    gl.checker = MakeTexture(2, 2, GL_RGB, squares.data(), GL_NEAREST, GL_REPEAT);
  }

  glViewport(0, 0, width, height);
  const ClearColour c = BackgroundColour(bgroundColour);
  glClearColor(c.r, c.g, c.b, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  const double aspect = width < 1 || height < 1 ? 1.0 : static_cast<double>(width) / height;
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(-kHalfHeight * aspect, kHalfHeight * aspect, -kHalfHeight, kHalfHeight, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glScalef(state.Zoom, state.Zoom, 1.0f);
  glTranslatef(state.PanX, state.PanY, 0.0f);

  // The longer side spans kPictureSide; on a wide view a tall picture is
  // limited by the height and a wide one by the width.
  const float longer = static_cast<float>(std::max(p.width, p.height));
  const float fit = static_cast<float>(std::min(1.0, aspect));
  const float halfW = 0.5f * kPictureSide * fit * p.width / longer;
  const float halfH = 0.5f * kPictureSide * fit * p.height / longer;

  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glDisable(GL_CULL_FACE);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_BLEND);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glBindTexture(GL_TEXTURE_2D, gl.checker);
  Quad(halfW, halfH, kSquares * p.width / longer, kSquares * p.height / longer);

  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glBindTexture(GL_TEXTURE_2D, gl.picture);
  Quad(halfW, halfH, 1.0f, 1.0f);

  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopClientAttrib();
  glPopAttrib();
}

void ReleaseTextureViewGl(TextureViewGl& gl) {
  for (std::uint32_t* name : {&gl.picture, &gl.checker}) {
    if (*name != 0) {
      const GLuint n = *name;
      glDeleteTextures(1, &n);
      *name = 0;
    }
  }
}

}  // namespace kelvane
