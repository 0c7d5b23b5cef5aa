#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/gl_entry_points.h"

namespace kelvane {

// A GL context without a window: an EGL surfaceless display (Mesa), a
// compatibility-profile context and a framebuffer object with RGBA8 colour
// and a 32-bit depth buffer (24 bits where 32 is refused), bound and
// current while the object lives. Several may exist; the one made last is
// current.
class HeadlessGlContext {
 public:
  // Nothing, with `error` saying why, when no display, context or
  // framebuffer can be had.
  static std::optional<HeadlessGlContext> Create(int width, int height, std::string* error);

  HeadlessGlContext(HeadlessGlContext&& other) noexcept;
  HeadlessGlContext& operator=(HeadlessGlContext&& other) noexcept;
  HeadlessGlContext(const HeadlessGlContext&) = delete;
  HeadlessGlContext& operator=(const HeadlessGlContext&) = delete;
  ~HeadlessGlContext();

  int width() const { return width_; }
  int height() const { return height_; }
  int depthBits() const { return depthBits_; }
  const GlFramebufferEntryPoints& gl() const { return gl_; }
  static GlProcLookup Lookup();

  // The framebuffer's pixels, rows from the top, 3 (RGB) or 4 (RGBA)
  // bytes per texel.
  std::vector<std::uint8_t> ReadPixels(int components) const;

 private:
  HeadlessGlContext() = default;
  bool MakeFramebuffer(std::string* error);
  void Release() noexcept;

  void* display_ = nullptr;  // EGLDisplay
  void* context_ = nullptr;  // EGLContext
  int width_ = 0;
  int height_ = 0;
  int depthBits_ = 0;
  std::uint32_t framebuffer_ = 0;
  std::uint32_t colour_ = 0;
  std::uint32_t depth_ = 0;
  GlFramebufferEntryPoints gl_;
};

}  // namespace kelvane
