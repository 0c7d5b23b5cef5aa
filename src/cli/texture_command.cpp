#include "texture_command.h"

#include <string>

#include "png_writer.h"
#include "stderr_notifier.h"
#include "textures/texture_loader.h"

namespace kelvane {

int RunTexture(const TextureOptions& options, std::ostream& messages) {
  TextureLoaderState state;
  StreamNotifier notifier(messages);
  DecodeOnlyUploader uploader(state);
  TextureLoader loader(state, notifier, uploader);

  const bool constant = options.constantAlpha.has_value();
  const std::int32_t alphaOrKind = constant ? *options.constantAlpha : options.kind;
  std::uint32_t texture = 0;
  if (options.alphaImage) {
    loader.LoadAlphaTexture(*options.alphaImage, texture, false, options.kind);
  }
  const std::size_t alphaUploads = uploader.LiveCount();
  if (!loader.LoadTexture(options.image, texture, constant, alphaOrKind)) return 1;
  if (uploader.LiveCount() == alphaUploads) {
    messages << "kelvane: " << options.image.string() << " created no texture; nothing written\n";
    return 0;
  }
  std::string error;
  if (!WritePng(options.output, *uploader.LastUpload(), &error)) {
    messages << "kelvane: " << error << '\n';
    return 1;
  }
  return 0;
}

}  // namespace kelvane
