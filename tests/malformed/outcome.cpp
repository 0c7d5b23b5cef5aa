#include <string>

#include "assets/config_parser.h"
#include "fixtures/byte_writer.h"
#include "malformed/catalogue.h"
#include "mesh/model.h"
#include "platform/notices.h"
#include "settings/viewer_settings.h"
#include "support/temp_dir.h"
#include "textures/bmp_reader.h"
#include "textures/jpeg_reader.h"
#include "textures/texture_container.h"
#include "textures/tga_reader.h"

namespace kelvane::malformed {

namespace {

std::string Describe(const ReadResult& result) {
  switch (result.kind) {
    case ReadResult::Kind::kFailed:
      return "refused";
    case ReadResult::Kind::kAlphaHeld:
      return "alpha image held";
    case ReadResult::Kind::kNoImage:
      return "no image";
    case ReadResult::Kind::kImage:
      break;
  }
  const PixelBuffer& image = result.image;
  return "image " + std::to_string(image.width) + "x" + std::to_string(image.height) +
         (image.HasAlpha() ? " rgba" : " rgb");
}

std::string RunMesh(std::span<const std::byte> bytes, const std::string& fileName,
                    Notifier& notifier) {
  MeshUnitState unit;
  LoadContext context{unit, notifier};
  T3DModel model;
  if (!model.LoadFromMemory(bytes, fileName, context)) return "not loaded";
  std::size_t vertices = 0, faces = 0;
  for (const auto& object : model.objects) {
    vertices += object->vertices.size();
    faces += object->faces.size();
  }
  return "loaded: " + std::to_string(model.ObjectCount()) + " objects, " +
         std::to_string(vertices) + " vertices, " + std::to_string(faces) + " faces, " +
         std::to_string(unit.AttachmentCount) + " attachments";
}

std::string RunConfig(std::span<const std::byte> bytes) {
  ConfigLines config = ConfigLines::FromText(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  const std::string kuid = ConfigKuid(config);
  return std::to_string(config.LineCount()) + " lines; kind at " +
         std::to_string(config.FindTag("", "", "kind", kConfigTop, 0)) + "; deep at " +
         std::to_string(config.FindTag("", "", "deep", kConfigTop, 10000)) + "; kuid " +
         (kuid.empty() ? "none" : kuid);
}

// The settings file is read from disk, where the viewer meets it.
std::string RunSettings(const std::vector<std::byte>& bytes) {
  const testing::TempDir dir;
  fixtures::WriteFile(dir / "kelvane.ini", bytes);
  const TMemIni ini{dir / "kelvane.ini"};
  if (ini.status() == TMemIni::ReadStatus::Unreadable) return "unreadable: " + ini.readError();
  const ViewerSettings s = ReadSettings(ini);
  return "thumbnail " + std::to_string(s.thumbnail.size()) + " chars; lastfile " +
         std::to_string(s.lastFile.size()) + " chars; colour " + std::to_string(s.bgroundColour) +
         "; att size " + std::to_string(s.attSize) + "; tie spacing " +
         std::to_string(s.tieSpacing);
}

}  // namespace

Outcome Run(const Case& c) {
  RecordingNotifier notifier;
  TextureLoaderState state;
  const TextureRequest request{c.FileName(), false, 2};
  Outcome outcome;
  switch (c.format) {
    case Format::kMesh:
      outcome.result = RunMesh(c.bytes, c.FileName(), notifier);
      break;
    case Format::kTexture:
      outcome.result = Describe(ReadContainerTexture(c.bytes, request));
      break;
    case Format::kTga:
      outcome.result = Describe(ReadTgaTexture(c.bytes, request, state, notifier));
      break;
    case Format::kBmp:
      outcome.result = Describe(ReadBmpTexture(c.bytes, request, state, notifier));
      break;
    case Format::kJpeg:
      outcome.result = Describe(ReadJpegTexture(c.bytes, request, state, notifier));
      break;
    case Format::kConfig:
      outcome.result = RunConfig(c.bytes);
      break;
    case Format::kSettings:
      outcome.result = RunSettings(c.bytes);
      break;
  }
  if (notifier.beeps > 0) outcome.result += " after a beep";
  for (const Notice& notice : notifier.notices)
    outcome.messages.push_back({notice.caption, notice.text});
  return outcome;
}

}  // namespace kelvane::malformed
