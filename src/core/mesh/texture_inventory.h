#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/notices.h"
#include "textures/material_texture_loader.h"
#include "textures/texture_uploader.h"

namespace kelvane {

struct T3DObject;
class T3DModel;

// One texture file as it was loaded.
struct TextureRecord {
  std::filesystem::path file;
  // dxt1, dxt3, dxt5, rgb or rgba for a .texture container; else tga, bmp
  // or jpeg.
  std::string format;
  int width = 0;
  int height = 0;
  std::string alphaSource;           // none, constant, kind or alpha image
  std::uint64_t uploadBytes = 0;     // handed to OpenGL, mipmap levels included
  std::vector<std::uint32_t> names;  // the textures made from it
  std::vector<std::string> objects;  // the objects that use them
};

// A load that failed, with the messages it showed (possibly none).
struct TextureFailure {
  std::filesystem::path file;
  bool alphaImage = false;  // asked for as an alpha image
  std::vector<Notice> notices;
};

// Passes every upload on and remembers the last picture's size and layout.
class SizeRecordingUploader final : public TextureUploader {
 public:
  explicit SizeRecordingUploader(TextureUploader& inner) : inner_(inner) {}
  std::uint32_t Upload(const PixelBuffer& pixels) override {
    ++uploads_;
    width_ = pixels.width;
    height_ = pixels.height;
    alpha_ = pixels.HasAlpha();
    return inner_.Upload(pixels);
  }
  void Delete(std::span<const std::uint32_t> names) override { inner_.Delete(names); }

  std::uint64_t uploads() const { return uploads_; }
  int width() const { return width_; }
  int height() const { return height_; }
  bool alpha() const { return alpha_; }

 private:
  TextureUploader& inner_;
  std::uint64_t uploads_ = 0;
  int width_ = 0, height_ = 0;
  bool alpha_ = false;
};

// Wraps the texture loader a model loads through: notes which file became
// which texture, and which loads failed with what messages. `notices` is
// the notifier the wrapped loader reports to.
class RecordingTextureLoader final : public MaterialTextureLoader {
 public:
  RecordingTextureLoader(MaterialTextureLoader& inner, const SizeRecordingUploader& uploads,
                         const RecordingNotifier& notices)
      : inner_(inner), uploads_(uploads), notices_(notices) {}

  bool LoadTexture(const std::filesystem::path& file, std::uint32_t& texture, bool useConstantAlpha,
                   std::int32_t alphaOrKind) override;
  bool LoadAlphaTexture(const std::filesystem::path& file, std::uint32_t& texture,
                        bool useConstantAlpha, std::int32_t alphaOrKind) override;
  bool TextureHasAlpha() const override { return inner_.TextureHasAlpha(); }
  void ClearTextureHasAlpha() override { inner_.ClearTextureHasAlpha(); }
  void DeleteTextures(std::span<const std::uint32_t> names) override {
    inner_.DeleteTextures(names);
  }

  // One record per distinct file, in the order first loaded.
  const std::vector<TextureRecord>& records() const { return records_; }
  const std::vector<TextureFailure>& failures() const { return failures_; }
  // Bytes of the texture files read.
  std::uint64_t bytesRead() const { return bytesRead_; }

  // Fills in the objects of `model` that use each recorded texture.
  void NoteUsers(const T3DModel& model);

 private:
  void Note(const std::filesystem::path& file, bool loaded, bool alphaImage, std::size_t before,
            std::uint64_t uploadsBefore, std::uint32_t texture, bool constant);

  MaterialTextureLoader& inner_;
  const SizeRecordingUploader& uploads_;
  const RecordingNotifier& notices_;
  std::vector<TextureRecord> records_;
  std::vector<TextureFailure> failures_;
  std::uint64_t bytesRead_ = 0;
  bool alphaImageHeld_ = false;
};

// What a texture file holds, from its name and, for a container, its
// header; empty when it cannot be told.
std::string TextureFormatOf(const std::filesystem::path& file);

// Loads each mesh (a traincar's with `trainCarComposing`) decoding its
// textures without a GL context, and lists the texture files loaded.
std::vector<TextureRecord> InventoryOfMeshes(const std::vector<std::filesystem::path>& meshes,
                                             bool trainCarComposing);

// Bytes handed to OpenGL for a picture: RGB as one level, RGBA as mipmaps
// from the nearest power-of-two size down to 1 x 1.
std::uint64_t UploadBytes(int width, int height, bool alpha);

}  // namespace kelvane
