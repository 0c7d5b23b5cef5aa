#include "egl_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <string_view>
#include <utility>

namespace kelvane {

namespace {

// Mesa unloads its driver when the display is terminated; what the driver
// still holds for the process then looks leaked to LeakSanitizer, with no
// module left to name. Loaded drivers are pinned for the process instead.
void PinLoadedDrivers() {
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void*) -> int {
        const std::string_view name = info->dlpi_name ? info->dlpi_name : "";
        if (name.find("_dri.so") != std::string_view::npos ||
            name.find("libgallium") != std::string_view::npos) {
          // The handle is kept on purpose: the library stays for good.
          dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        }
        return 0;
      },
      nullptr);
}

bool HasExtension(const char* list, const char* name) {
  if (list == nullptr) return false;
  const std::size_t n = std::strlen(name);
  for (const char* p = std::strstr(list, name); p != nullptr; p = std::strstr(p + n, name)) {
    const bool startOk = p == list || p[-1] == ' ';
    const bool endOk = p[n] == '\0' || p[n] == ' ';
    if (startOk && endOk) return true;
  }
  return false;
}

// The surfaceless platform needs no window system at all; the default
// display is the fallback where it is missing.
EGLDisplay OpenDisplay() {
  const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (HasExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay) {
      EGLDisplay d =
          getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
      if (d != EGL_NO_DISPLAY) {
        if (eglInitialize(d, nullptr, nullptr)) return d;
      }
    }
  }
  EGLDisplay d = eglGetDisplay(EGL_DEFAULT_DISPLAY);
  if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr)) return d;
  return EGL_NO_DISPLAY;
}

std::string EglError(const char* what) {
  return std::string(what) + " failed (EGL error 0x" + [] {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04X", static_cast<unsigned>(eglGetError()));
    return std::string(buffer);
  }() + ")";
}

}  // namespace

GlProcLookup HeadlessGlContext::Lookup() {
  return eglGetProcAddress;
}

std::optional<HeadlessGlContext> HeadlessGlContext::Create(int width, int height,
                                                           std::string* error) {
  std::string ignored;
  std::string& why = error ? *error : ignored;
  if (width <= 0 || height <= 0) {
    why = "the picture has no pixels";
    return std::nullopt;
  }
  HeadlessGlContext c;
  c.width_ = width;
  c.height_ = height;
  EGLDisplay display = OpenDisplay();
  if (display == EGL_NO_DISPLAY) {
    why = "no EGL display can be had";
    return std::nullopt;
  }
  c.display_ = display;  // from here on the destructor cleans up
  if (!HasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context")) {
    why = "the EGL display cannot make a context current without a surface";
    return std::nullopt;
  }
  if (!eglBindAPI(EGL_OPENGL_API)) {
    why = EglError("eglBindAPI(EGL_OPENGL_API)");
    return std::nullopt;
  }
  // No surface is ever made, so any surface type will do (the default asks
  // for windows).
  const EGLint configAttributes[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, 0,
                                     EGL_NONE};
  EGLConfig config = nullptr;
  EGLint count = 0;
  if (!eglChooseConfig(display, configAttributes, &config, 1, &count) || count < 1) {
    why = "no EGL configuration renders with desktop OpenGL";
    return std::nullopt;
  }
  const EGLint compatibility[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                  EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
  EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, compatibility);
  if (context == EGL_NO_CONTEXT) {
    why = EglError("eglCreateContext (compatibility profile)");
    return std::nullopt;
  }
  c.context_ = context;
  PinLoadedDrivers();
  if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
    why = EglError("eglMakeCurrent");
    return std::nullopt;
  }
  std::string missing;
  if (!c.gl_.Load(Lookup(), &missing)) {
    why = "the GL context lacks " + missing;
    return std::nullopt;
  }
  if (!c.MakeFramebuffer(&why)) return std::nullopt;
  return std::optional<HeadlessGlContext>(std::move(c));
}

bool HeadlessGlContext::MakeFramebuffer(std::string* error) {
  gl_.GenFramebuffers(1, &framebuffer_);
  gl_.BindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  gl_.GenRenderbuffers(1, &colour_);
  gl_.BindRenderbuffer(GL_RENDERBUFFER, colour_);
  gl_.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width_, height_);
  gl_.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
  gl_.GenRenderbuffers(1, &depth_);
  gl_.BindRenderbuffer(GL_RENDERBUFFER, depth_);
  for (const auto& [format, bits] :
       {std::pair{GL_DEPTH_COMPONENT32, 32}, std::pair{GL_DEPTH_COMPONENT24, 24}}) {
    while (glGetError() != GL_NO_ERROR) {
    }
    gl_.RenderbufferStorage(GL_RENDERBUFFER, format, width_, height_);
    if (glGetError() != GL_NO_ERROR) continue;
    gl_.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
    if (gl_.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
      depthBits_ = bits;
      glViewport(0, 0, width_, height_);
      return true;
    }
  }
  *error = "no complete framebuffer with a 32-bit or 24-bit depth buffer";
  return false;
}

HeadlessGlContext::HeadlessGlContext(HeadlessGlContext&& other) noexcept
    : display_(std::exchange(other.display_, nullptr)),
      context_(std::exchange(other.context_, nullptr)),
      width_(other.width_),
      height_(other.height_),
      depthBits_(other.depthBits_),
      framebuffer_(std::exchange(other.framebuffer_, 0)),
      colour_(std::exchange(other.colour_, 0)),
      depth_(std::exchange(other.depth_, 0)),
      gl_(other.gl_) {}

HeadlessGlContext& HeadlessGlContext::operator=(HeadlessGlContext&& other) noexcept {
  if (this != &other) {
    Release();
    display_ = std::exchange(other.display_, nullptr);
    context_ = std::exchange(other.context_, nullptr);
    width_ = other.width_;
    height_ = other.height_;
    depthBits_ = other.depthBits_;
    framebuffer_ = std::exchange(other.framebuffer_, 0);
    colour_ = std::exchange(other.colour_, 0);
    depth_ = std::exchange(other.depth_, 0);
    gl_ = other.gl_;
  }
  return *this;
}

HeadlessGlContext::~HeadlessGlContext() {
  Release();
}

void HeadlessGlContext::Release() noexcept {
  if (display_ == nullptr) return;
  if (context_ != nullptr) {
    if (framebuffer_ != 0) {
      gl_.BindFramebuffer(GL_FRAMEBUFFER, 0);
      gl_.DeleteFramebuffers(1, &framebuffer_);
    }
    const GLuint buffers[] = {colour_, depth_};
    if (gl_.DeleteRenderbuffers) gl_.DeleteRenderbuffers(2, buffers);
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
  }
  // The display stays initialised: EGL hands every owner in the process the
  // same display, so terminating it here would pull it from under another
  // context. The process's end releases it.
  eglReleaseThread();
  display_ = nullptr;
  context_ = nullptr;
}

std::vector<std::uint8_t> HeadlessGlContext::ReadPixels(int components) const {
  const GLenum format = components == 4 ? GL_RGBA : GL_RGB;
  const std::size_t rowBytes = static_cast<std::size_t>(width_) * (components == 4 ? 4 : 3);
  std::vector<std::uint8_t> bottomUp(rowBytes * static_cast<std::size_t>(height_));
  GLint alignment = 4;
  glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width_, height_, format, GL_UNSIGNED_BYTE, bottomUp.data());
  glPixelStorei(GL_PACK_ALIGNMENT, alignment);
  std::vector<std::uint8_t> topDown(bottomUp.size());
  for (int y = 0; y < height_; ++y) {
    std::memcpy(topDown.data() + static_cast<std::size_t>(y) * rowBytes,
                bottomUp.data() + static_cast<std::size_t>(height_ - 1 - y) * rowBytes, rowBytes);
  }
  return topDown;
}

}  // namespace kelvane
