#pragma once

// Reads a .glb file back: its JSON document and its binary chunk, and the
// values of an accessor, as a program that loads glTF would.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::testing {

struct Glb {
  nlohmann::json document;
  std::vector<std::uint8_t> bin;

  // The floats of a float accessor, its components in order.
  std::vector<float> Floats(std::size_t accessor) const {
    const auto& a = document["accessors"][accessor];
    const auto& view = document["bufferViews"][a["bufferView"].get<std::size_t>()];
    const std::size_t components = a["type"] == "SCALAR" ? 1
                                   : a["type"] == "VEC2" ? 2
                                   : a["type"] == "VEC3" ? 3
                                                         : 4;
    std::vector<float> out(a["count"].get<std::size_t>() * components);
    std::memcpy(out.data(), bin.data() + view.value("byteOffset", std::size_t{0}),
                out.size() * sizeof(float));
    return out;
  }
  // The bytes of an image held in a buffer view.
  std::vector<std::uint8_t> ImageBytes(std::size_t image) const {
    const auto& view =
        document["bufferViews"][document["images"][image]["bufferView"].get<std::size_t>()];
    const std::size_t at = view.value("byteOffset", std::size_t{0});
    return {bin.begin() + static_cast<std::ptrdiff_t>(at),
            bin.begin() + static_cast<std::ptrdiff_t>(at + view["byteLength"].get<std::size_t>())};
  }
  // The first node of that name, or nothing.
  std::optional<std::size_t> Node(const std::string& name) const {
    for (std::size_t i = 0; i < document["nodes"].size(); ++i) {
      if (document["nodes"][i].value("name", std::string()) == name) return i;
    }
    return std::nullopt;
  }
};

inline std::uint32_t GlbU32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

// Nothing when the file is not a well-formed .glb: magic, version, total
// length, a JSON chunk and at most one BIN chunk, each padded to 4 bytes.
inline std::optional<Glb> ReadGlb(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
  if (b.size() < 20 || GlbU32(b, 0) != 0x46546C67 || GlbU32(b, 4) != 2 || GlbU32(b, 8) != b.size())
    return std::nullopt;
  const std::uint32_t jsonLength = GlbU32(b, 12);
  if (GlbU32(b, 16) != 0x4E4F534A || jsonLength % 4 != 0 || 20 + jsonLength > b.size())
    return std::nullopt;
  Glb glb;
  glb.document = nlohmann::json::parse(b.begin() + 20, b.begin() + 20 + jsonLength, nullptr, false);
  if (glb.document.is_discarded()) return std::nullopt;
  std::size_t at = 20 + jsonLength;
  if (at < b.size()) {
    if (at + 8 > b.size() || GlbU32(b, at + 4) != 0x004E4942) return std::nullopt;
    const std::uint32_t binLength = GlbU32(b, at);
    if (binLength % 4 != 0 || at + 8 + binLength != b.size()) return std::nullopt;
    glb.bin.assign(b.begin() + static_cast<std::ptrdiff_t>(at + 8), b.end());
  }
  return glb;
}

}  // namespace kelvane::testing
