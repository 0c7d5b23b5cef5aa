#pragma once

#include <cstddef>
#include <filesystem>
#include <span>

namespace kelvane {

// What a path holds, for opening it: a mesh, a texture image or a traincar.
enum class ContentKind { kNothing, kMesh, kTexture, kTraincar };

// The reader a texture image needs.
enum class ImageFormat { kNone, kContainer, kTga, kBmp, kJpeg };

struct ContentType {
  ContentKind kind = ContentKind::kNothing;
  ImageFormat image = ImageFormat::kNone;  // for a texture
};

// A folder or a file named "config.txt" (any case) is a traincar. A file
// is known by its extension (".im", ".pm"; ".texture", ".tga", ".bmp",
// ".jpg", ".jpeg", in any case), and any other file by its first bytes: the
// mesh container ("JIRF" ... "IDXM", or the compressed "CFIL"), the texture
// container ("JIRF" ... "MMTF"), "BM", FF D8 FF, or a TGA header whose
// fields all hold values a TGA file can have. A missing file is unknown.
ContentType ContentTypeOf(const std::filesystem::path& path);
inline ContentKind ContentKindOf(const std::filesystem::path& path) {
  return ContentTypeOf(path).kind;
}

// The same judgement on a file's first bytes (at least the first 18 for a
// TGA header) and its size.
ContentType ContentTypeOfBytes(std::span<const std::byte> head, std::uintmax_t fileSize);

}  // namespace kelvane
