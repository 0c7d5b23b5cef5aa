#include "export_command.h"

#include <string>

#include "base/text.h"
#include "session/content_session.h"

namespace kelvane {

int RunExport(const ExportOptions& options, std::ostream& messages) {
  const std::string ext = LowerExtension(options.output.string());
  if (ext != ".glb" && ext != ".gltf") {
    messages << "kelvane: --export writes .glb or .gltf, not " << options.output.string() << "\n";
    return 2;
  }
  SessionOptions sessionOptions;
  // Decoded pictures only: the file needs no GL context.
  sessionOptions.keepPictures = true;
  // Which file became which texture names the pictures.
  sessionOptions.recordTextures = true;
  ContentSession session(std::move(sessionOptions));
  const OpenOutcome opened = session.Open(options.path);
  for (const Notice& n : opened.messages)
    messages << n.caption << ": " << n.text << "\n";
  if (!opened.loaded) {
    messages << "kelvane: cannot load " << options.path.string() << " (" << opened.reason
             << "); nothing written\n";
    return 1;
  }
  const GltfAsset asset = BuildGltf(session, options.gltf);
  std::string error;
  if (!WriteGltf(asset, options.output, &error)) {
    messages << "kelvane: " << error << "; nothing written\n";
    return 1;
  }
  return 0;
}

}  // namespace kelvane
