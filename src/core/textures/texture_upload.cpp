#include "textures/texture_upload.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <vector>

namespace kelvane {

std::uint32_t CreateTexture(const PixelBuffer& pixels, TextureLoaderState& state) {
  state.textureHasAlpha = false;
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  if (pixels.HasAlpha()) {
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, pixels.width, pixels.height, GL_RGBA,
                      GL_UNSIGNED_BYTE, pixels.pixels.data());
    state.textureHasAlpha = true;
  } else {
    // Rows lie with no gap between them; with the default 4-byte unpack
    // alignment a row of 3-byte texels whose size is not a multiple of 4
    // would be read past its end, so only then alignment 1 is used.
    GLint alignment = 4;
    const bool packed = pixels.RowBytes() % 4 != 0;
    if (packed) {
      glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
      glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    }
    glTexImage2D(GL_TEXTURE_2D, 0, 3, pixels.width, pixels.height, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 pixels.pixels.data());
    if (packed) glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  }
  return name;
}

void GlTextureUploader::Delete(std::span<const std::uint32_t> names) {
  const std::vector<GLuint> list(names.begin(), names.end());
  glDeleteTextures(static_cast<GLsizei>(list.size()), list.data());
}

}  // namespace kelvane
