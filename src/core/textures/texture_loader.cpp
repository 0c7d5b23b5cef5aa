#include "textures/texture_loader.h"

#include <string>

#include "base/text.h"

#include "textures/bmp_reader.h"
#include "textures/jpeg_reader.h"
#include "textures/texture_container.h"
#include "textures/tga_reader.h"

namespace kelvane {

namespace {

bool EndsWithIgnoringCase(std::string_view name, std::string_view suffix) {
  return name.size() >= suffix.size() &&
         EqualsIgnoringAsciiCase(name.substr(name.size() - suffix.size()), suffix);
}

}  // namespace

TextureFileKind TextureKindOf(std::string_view fileName) {
  if (EndsWithIgnoringCase(fileName, ".BMP")) return TextureFileKind::kBmp;
  if (EndsWithIgnoringCase(fileName, ".JPG")) return TextureFileKind::kJpeg;
  if (EndsWithIgnoringCase(fileName, ".TGA")) return TextureFileKind::kTga;
  if (EndsWithIgnoringCase(fileName, ".TEXTURE")) return TextureFileKind::kContainer;
  return TextureFileKind::kNone;
}

bool TextureLoader::Finish(const ReadResult& result, std::uint32_t& texture) {
  if (result.kind == ReadResult::Kind::kImage) texture = uploader_.Upload(result.image);
  return result.Succeeded();
}

bool TextureLoader::LoadTexture(const std::filesystem::path& file, std::uint32_t& texture,
                                bool useConstantAlpha, std::int32_t alphaOrKind) {
  const TextureRequest request{file.string(), useConstantAlpha, alphaOrKind};
  ReadResult result;
  switch (TextureKindOf(request.fileName)) {
    case TextureFileKind::kBmp:
      result = ReadBmpTextureFile(request, state_, notifier_);
      break;
    case TextureFileKind::kJpeg:
      result = ReadJpegTextureFile(request, state_, notifier_);
      break;
    case TextureFileKind::kTga:
      result = ReadTgaTextureFile(request, state_, notifier_);
      break;
    case TextureFileKind::kContainer:
      result = ReadContainerTextureFile(request);
      break;
    case TextureFileKind::kNone:
      break;
  }
  state_.loadingAlphaImage = false;
  return Finish(result, texture);
}

bool TextureLoader::LoadAlphaTexture(const std::filesystem::path& file, std::uint32_t& texture,
                                     bool useConstantAlpha, std::int32_t alphaOrKind) {
  const TextureRequest request{file.string(), useConstantAlpha, alphaOrKind};
  state_.loadingAlphaImage = true;
  ReadResult result;
  switch (TextureKindOf(request.fileName)) {
    case TextureFileKind::kBmp:
      result = ReadBmpTextureFile(request, state_, notifier_);
      break;
    case TextureFileKind::kTga:
      result = ReadTgaTextureFile(request, state_, notifier_);
      break;
    default:
      break;
  }
  // On success the reader has cleared it, unless it uploaded a texture of
  // its own; then the next BMP or TGA colour image is held instead.
  if (!result.Succeeded()) state_.loadingAlphaImage = false;
  return Finish(result, texture);
}

}  // namespace kelvane
