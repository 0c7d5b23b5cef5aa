#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <string>

namespace kelvane {

// Finds a GL entry point by name in the current context; whoever made the
// context supplies it (eglGetProcAddress, the toolkit's lookup).
using GlProcLookup = void (*(*)(const char*))();

// The framebuffer-object entry points beyond GL 1.1 that off-screen
// drawing needs.
struct GlFramebufferEntryPoints {
  PFNGLGENFRAMEBUFFERSPROC GenFramebuffers = nullptr;
  PFNGLDELETEFRAMEBUFFERSPROC DeleteFramebuffers = nullptr;
  PFNGLBINDFRAMEBUFFERPROC BindFramebuffer = nullptr;
  PFNGLGENRENDERBUFFERSPROC GenRenderbuffers = nullptr;
  PFNGLDELETERENDERBUFFERSPROC DeleteRenderbuffers = nullptr;
  PFNGLBINDRENDERBUFFERPROC BindRenderbuffer = nullptr;
  PFNGLRENDERBUFFERSTORAGEPROC RenderbufferStorage = nullptr;
  PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer = nullptr;
  PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus = nullptr;

  // False, naming the first missing entry point in `missing`, when the
  // context lacks one.
  bool Load(GlProcLookup lookup, std::string* missing);
};

}  // namespace kelvane
