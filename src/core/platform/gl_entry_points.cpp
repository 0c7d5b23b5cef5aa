#include "platform/gl_entry_points.h"

namespace kelvane {

namespace {

template <typename Function>
bool Find(GlProcLookup lookup, const char* name, Function& out, std::string* missing) {
  out = reinterpret_cast<Function>(lookup(name));
  if (out == nullptr && missing) *missing = name;
  return out != nullptr;
}

}  // namespace

bool GlFramebufferEntryPoints::Load(GlProcLookup lookup, std::string* missing) {
  return Find(lookup, "glGenFramebuffers", GenFramebuffers, missing) &&
         Find(lookup, "glDeleteFramebuffers", DeleteFramebuffers, missing) &&
         Find(lookup, "glBindFramebuffer", BindFramebuffer, missing) &&
         Find(lookup, "glGenRenderbuffers", GenRenderbuffers, missing) &&
         Find(lookup, "glDeleteRenderbuffers", DeleteRenderbuffers, missing) &&
         Find(lookup, "glBindRenderbuffer", BindRenderbuffer, missing) &&
         Find(lookup, "glRenderbufferStorage", RenderbufferStorage, missing) &&
         Find(lookup, "glFramebufferRenderbuffer", FramebufferRenderbuffer, missing) &&
         Find(lookup, "glCheckFramebufferStatus", CheckFramebufferStatus, missing);
}

}  // namespace kelvane
