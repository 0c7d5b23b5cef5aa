#pragma once

#include <ostream>

#include "render_command.h"

namespace kelvane {

// --render of a texture image: the picture the viewer's texture view shows
// (its framing, or the options' zoom and pan, on the settings' or the
// options' background), written as RunRender writes a mesh's. Returns as
// RunRender does.
int RunTextureRender(const RenderOptions& options, std::ostream& messages);

}  // namespace kelvane
