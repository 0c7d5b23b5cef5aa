#include "platform/content_kind.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <system_error>

#include "base/text.h"

namespace kelvane {

namespace {

std::uint8_t At(std::span<const std::byte> b, std::size_t i) {
  return static_cast<std::uint8_t>(b[i]);
}

bool Starts(std::span<const std::byte> b, std::size_t at, const char* text) {
  const std::size_t n = std::strlen(text);
  return b.size() >= at + n && std::memcmp(b.data() + at, text, n) == 0;
}

std::uint16_t U16(std::span<const std::byte> b, std::size_t at) {
  return static_cast<std::uint16_t>(At(b, at) | (At(b, at + 1) << 8));
}

// TGA has no signature: every header field must hold a value a TGA file
// can have, and the image must fit what the file holds.
bool LooksLikeTga(std::span<const std::byte> b, std::uintmax_t fileSize) {
  if (b.size() < 18) return false;
  const unsigned idLength = At(b, 0), mapType = At(b, 1), type = At(b, 2);
  const unsigned mapLength = U16(b, 5), mapEntry = At(b, 7);
  const unsigned width = U16(b, 12), height = U16(b, 14), depth = At(b, 16);
  const unsigned descriptor = At(b, 17);
  const bool mapped = type == 1 || type == 9;
  const bool direct = type == 2 || type == 3 || type == 10 || type == 11;
  if (!mapped && !direct) return false;
  if (mapType > 1 || (mapped && (mapType != 1 || mapLength == 0))) return false;
  if (mapType == 1 && mapEntry != 15 && mapEntry != 16 && mapEntry != 24 && mapEntry != 32)
    return false;
  if (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32) return false;
  if (width == 0 || height == 0 || (descriptor & 0xC0) != 0 || (descriptor & 0x0F) > 8)
    return false;
  const std::uintmax_t map = mapType == 1 ? mapLength * ((mapEntry + 7) / 8) : 0;
  const std::uintmax_t smallest =
      18 + idLength + map + (type >= 9 ? 1 : width * height * ((depth + 7) / 8));
  return fileSize >= smallest;
}

}  // namespace

ContentType ContentTypeOfBytes(std::span<const std::byte> b, std::uintmax_t fileSize) {
  if (Starts(b, 0, "JIRF") && Starts(b, 8, "IDXM")) return {ContentKind::kMesh};
  if (Starts(b, 0, "CFIL")) return {ContentKind::kMesh};
  if (Starts(b, 0, "JIRF") && Starts(b, 8, "MMTF"))
    return {ContentKind::kTexture, ImageFormat::kContainer};
  if (b.size() >= 3 && At(b, 0) == 0xFF && At(b, 1) == 0xD8 && At(b, 2) == 0xFF)
    return {ContentKind::kTexture, ImageFormat::kJpeg};
  if (Starts(b, 0, "BM") && b.size() >= 14) return {ContentKind::kTexture, ImageFormat::kBmp};
  if (LooksLikeTga(b, fileSize)) return {ContentKind::kTexture, ImageFormat::kTga};
  return {};
}

ContentType ContentTypeOf(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return {ContentKind::kTraincar};
  if (AsciiLower(path.filename().string()) == "config.txt") return {ContentKind::kTraincar};
  const std::string ext = LowerExtension(path.filename().string());
  if (ext == ".im" || ext == ".pm") return {ContentKind::kMesh};
  if (ext == ".texture") return {ContentKind::kTexture, ImageFormat::kContainer};
  if (ext == ".tga") return {ContentKind::kTexture, ImageFormat::kTga};
  if (ext == ".bmp") return {ContentKind::kTexture, ImageFormat::kBmp};
  if (ext == ".jpg" || ext == ".jpeg") return {ContentKind::kTexture, ImageFormat::kJpeg};

  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return {};
  std::array<std::byte, 18> head{};
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(head.data()), head.size());
  const auto got = static_cast<std::size_t>(in.gcount());
  return ContentTypeOfBytes(std::span<const std::byte>(head.data(), got), size);
}

}  // namespace kelvane
