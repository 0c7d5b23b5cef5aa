#include "export_command.h"

#include <string>

#include "base/text.h"
#include "install_layout.h"
#include "session/content_session.h"
#include "settings/viewer_settings.h"
#include "traincar_info.h"

namespace kelvane {

int RunExport(const ExportOptions& options, std::ostream& messages) {
  const std::string ext = LowerExtension(options.output.string());
  if (ext != ".glb" && ext != ".gltf") {
    messages << "kelvane: --export writes .glb or .gltf, not " << options.output.string() << "\n";
    return 2;
  }
  // The viewer draws the track in traincar mode only.
  if (options.track && !IsTraincarPath(options.path)) {
    messages << "kelvane: --track is for a traincar (a folder or its config.txt), not "
             << options.path.string() << "\n";
    return 2;
  }
  GltfExportOptions gltf = options.gltf;
  if (options.track) {
    // The viewer's defaults until the options say otherwise.
    const ViewerSettings defaults;
    gltf.track =
        GltfTrack{options.gauge.value_or(defaults.gauge),
                  static_cast<float>(options.tieSpacing.value_or(defaults.tieSpacing)) / 1000.0f};
  }
  SessionOptions sessionOptions;
  // Decoded pictures only: the file needs no GL context.
  sessionOptions.keepPictures = true;
  // Which file became which texture names the pictures.
  sessionOptions.recordTextures = true;
  if (options.track) sessionOptions.trackFolder = DataFolder(ExecutableFolder());
  ContentSession session(std::move(sessionOptions));
  const OpenOutcome opened = session.Open(options.path);
  for (const Notice& n : opened.messages)
    messages << n.caption << ": " << n.text << "\n";
  if (!opened.loaded) {
    messages << "kelvane: cannot load " << options.path.string() << " (" << opened.reason
             << "); nothing written\n";
    return 1;
  }
  const GltfAsset asset = BuildGltf(session, gltf);
  std::string error;
  if (!WriteGltf(asset, options.output, &error)) {
    messages << "kelvane: " << error << "; nothing written\n";
    return 1;
  }
  return 0;
}

}  // namespace kelvane
