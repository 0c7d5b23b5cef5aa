#include "mesh/texture_inventory.h"

#include <algorithm>
#include <system_error>

#include "mesh/model.h"
#include "platform/file_bytes.h"
#include "textures/texture_container.h"
#include "textures/texture_loader.h"

namespace kelvane {

namespace {

// The size the mipmap builder scales a side to: halving until 1 or 3 is
// left, where 3 counts as 4.
std::uint64_t NearestPower(std::uint64_t value) {
  if (value == 0) return 0;
  std::uint64_t power = 1;
  for (;;) {
    if (value == 1) return power;
    if (value == 3) return power * 4;
    value >>= 1;
    power *= 2;
  }
}

}  // namespace

std::uint64_t UploadBytes(int width, int height, bool alpha) {
  if (width <= 0 || height <= 0) return 0;
  if (!alpha) return std::uint64_t(width) * std::uint64_t(height) * 3;
  std::uint64_t w = NearestPower(std::uint64_t(width)), h = NearestPower(std::uint64_t(height));
  std::uint64_t total = 0;
  for (;;) {
    total += w * h * 4;
    if (w == 1 && h == 1) return total;
    w = std::max<std::uint64_t>(1, w / 2);
    h = std::max<std::uint64_t>(1, h / 2);
  }
}

std::string TextureFormatOf(const std::filesystem::path& file) {
  switch (TextureKindOf(file.string())) {
    case TextureFileKind::kBmp:
      return "bmp";
    case TextureFileKind::kJpeg:
      return "jpeg";
    case TextureFileKind::kTga:
      return "tga";
    case TextureFileKind::kNone:
      return {};
    case TextureFileKind::kContainer:
      break;
  }
  auto bytes = FileBytes::Open(file, nullptr);
  if (!bytes) return {};
  const auto container = ParseTextureContainer(bytes->bytes());
  if (!container) return {};
  switch (container->info.format) {
    case kTextureFormatDxt1:
      return "dxt1";
    case kTextureFormatDxt3:
      return "dxt3";
    case kTextureFormatDxt5:
      return "dxt5";
    case kTextureFormatBgrx:
      return "rgb";
    default:
      return "rgba";
  }
}

void RecordingTextureLoader::Note(const std::filesystem::path& file, bool loaded, bool alphaImage,
                                  std::size_t before, std::uint64_t uploadsBefore,
                                  std::uint32_t texture, bool constant) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  if (!ec) bytesRead_ += size;
  if (!loaded) {
    failures_.push_back({file, alphaImage,
                         std::vector<Notice>(notices_.notices.begin() + std::ptrdiff_t(before),
                                             notices_.notices.end())});
    return;
  }
  if (uploads_.uploads() == uploadsBefore) return;  // held as an alpha image
  auto it = std::find_if(records_.begin(), records_.end(),
                         [&](const TextureRecord& r) { return r.file == file; });
  if (it == records_.end()) {
    TextureRecord record;
    record.file = file;
    record.format = TextureFormatOf(file);
    record.width = uploads_.width();
    record.height = uploads_.height();
    record.alphaSource = !uploads_.alpha() ? "none"
                         : constant        ? "constant"
                         : alphaImageHeld_ ? "alpha image"
                                           : "kind";
    record.uploadBytes = UploadBytes(record.width, record.height, uploads_.alpha());
    records_.push_back(std::move(record));
    it = records_.end() - 1;
  }
  it->names.push_back(texture);
}

bool RecordingTextureLoader::LoadTexture(const std::filesystem::path& file, std::uint32_t& texture,
                                         bool useConstantAlpha, std::int32_t alphaOrKind) {
  const std::size_t before = notices_.notices.size();
  const std::uint64_t uploadsBefore = uploads_.uploads();
  const bool loaded = inner_.LoadTexture(file, texture, useConstantAlpha, alphaOrKind);
  Note(file, loaded, false, before, uploadsBefore, texture, useConstantAlpha);
  alphaImageHeld_ = false;
  return loaded;
}

bool RecordingTextureLoader::LoadAlphaTexture(const std::filesystem::path& file,
                                              std::uint32_t& texture, bool useConstantAlpha,
                                              std::int32_t alphaOrKind) {
  const std::size_t before = notices_.notices.size();
  const std::uint64_t uploadsBefore = uploads_.uploads();
  const bool loaded = inner_.LoadAlphaTexture(file, texture, useConstantAlpha, alphaOrKind);
  Note(file, loaded, true, before, uploadsBefore, texture, useConstantAlpha);
  alphaImageHeld_ = loaded && uploads_.uploads() == uploadsBefore;
  return loaded;
}

std::vector<TextureRecord> InventoryOfMeshes(const std::vector<std::filesystem::path>& meshes,
                                             bool trainCarComposing) {
  MeshUnitState unit;
  RecordingNotifier notices;
  TextureLoaderState state;
  DecodeOnlyUploader decoder(state);
  SizeRecordingUploader uploads(decoder);
  TextureLoader loader(state, notices, uploads);
  RecordingTextureLoader inventory(loader, uploads, notices);
  LoadContext context{unit, notices};
  context.textures = &inventory;
  context.trainCarComposing = trainCarComposing;
  // Textures are reused within a model only, as the viewer does.
  for (const auto& mesh : meshes) {
    T3DModel model;
    model.Load(mesh, context);
    inventory.NoteUsers(model);
  }
  return inventory.records();
}

void RecordingTextureLoader::NoteUsers(const T3DModel& model) {
  for (TextureRecord& record : records_) {
    for (const auto& object : model.objects) {
      const TMaterial& m = object->material;
      const auto uses = [&](bool has, std::uint32_t name) {
        return has &&
               std::find(record.names.begin(), record.names.end(), name) != record.names.end();
      };
      if (uses(m.hasTexture, m.texture) || uses(m.hasBump, m.bumpTexture) ||
          uses(m.hasReflection, m.reflectionTexture)) {
        if (std::find(record.objects.begin(), record.objects.end(), object->name) ==
            record.objects.end())
          record.objects.push_back(object->name);
      }
    }
  }
}

}  // namespace kelvane
