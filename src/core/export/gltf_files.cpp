// Writing an export: one .glb, or a .gltf with its buffer and pictures
// beside it, whole or not at all.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <string_view>
#include <system_error>

#include "export/gltf_export.h"

namespace kelvane {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

// A name beside `file` that no other writer uses.
fs::path TemporaryBeside(const fs::path& file) {
  std::random_device random;
  return file.parent_path() /
         ("." + file.filename().string() + ".tmp" + std::to_string(random() % 1000000u));
}

// `shown` names the file in the message.
bool WriteBytes(const fs::path& file, const fs::path& shown,
                const std::vector<std::string_view>& parts, std::string* error) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  for (std::string_view part : parts)
    out.write(part.data(), static_cast<std::streamsize>(part.size()));
  out.close();
  if (!out) {
    if (error) *error = "cannot write " + shown.string() + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

bool WriteGltf(const GltfAsset& asset, const fs::path& file, std::string* error) {
  std::string ext = file.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  auto bytes = [](const std::vector<std::uint8_t>& v) {
    return std::string_view(reinterpret_cast<const char*>(v.data()), v.size());
  };
  // Each written file: its temporary and its final name.
  std::vector<std::pair<fs::path, fs::path>> written;
  auto removeAll = [&] {
    std::error_code ec;
    for (const auto& [temporary, final] : written)
      fs::remove(temporary, ec);
  };
  auto write = [&](const fs::path& target, const std::vector<std::string_view>& parts) {
    const fs::path temporary = TemporaryBeside(target);
    written.emplace_back(temporary, target);
    return WriteBytes(temporary, target, parts, error);
  };

  Json doc = asset.document;
  bool ok;
  if (ext == ".gltf") {
    const std::string stem = file.stem().string();
    for (std::size_t i = 0; i < asset.images.size(); ++i) {
      doc["images"][i].erase("mimeType");
      doc["images"][i]["uri"] = stem + "_" + std::to_string(i) + ".png";
    }
    if (doc.contains("buffers")) doc["buffers"][0]["uri"] = stem + ".bin";
    const std::string text = doc.dump(1, ' ', false, Json::error_handler_t::replace) + "\n";
    ok = write(file, {text});
    if (ok && doc.contains("buffers"))
      ok = write(file.parent_path() / (stem + ".bin"), {bytes(asset.buffer)});
    for (std::size_t i = 0; ok && i < asset.images.size(); ++i)
      ok = write(file.parent_path() / (stem + "_" + std::to_string(i) + ".png"),
                 {bytes(asset.images[i])});
  } else {
    // The pictures follow the geometry in the one binary chunk.
    static const char kZeros[4] = {0, 0, 0, 0};
    std::vector<std::string_view> binary{bytes(asset.buffer)};
    std::size_t length = asset.buffer.size();
    for (std::size_t i = 0; i < asset.images.size(); ++i) {
      if (!doc.contains("bufferViews")) doc["bufferViews"] = Json::array();
      doc["bufferViews"].push_back(
          Json{{"buffer", 0}, {"byteOffset", length}, {"byteLength", asset.images[i].size()}});
      doc["images"][i]["bufferView"] = doc["bufferViews"].size() - 1;
      binary.push_back(bytes(asset.images[i]));
      length += asset.images[i].size();
      const std::size_t pad = (4 - length % 4) % 4;
      binary.emplace_back(kZeros, pad);
      length += pad;
    }
    if (length > 0) doc["buffers"] = Json::array({Json{{"byteLength", length}}});
    std::string json = doc.dump(-1, ' ', false, Json::error_handler_t::replace);
    while (json.size() % 4 != 0)
      json += ' ';
    const std::uint64_t total = 12 + 8 + json.size() + (length > 0 ? 8 + length : 0);
    if (total > std::numeric_limits<std::uint32_t>::max()) {
      if (error) *error = "the scene is too large for one .glb file (over 4 GB)";
      return false;
    }
    std::string header;
    PutU32(header, 0x46546C67);  // "glTF"
    PutU32(header, 2);
    PutU32(header, static_cast<std::uint32_t>(total));
    PutU32(header, static_cast<std::uint32_t>(json.size()));
    PutU32(header, 0x4E4F534A);  // "JSON"
    std::string binHeader;
    if (length > 0) {
      PutU32(binHeader, static_cast<std::uint32_t>(length));
      PutU32(binHeader, 0x004E4942);  // "BIN"
    }
    std::vector<std::string_view> parts{header, json, binHeader};
    parts.insert(parts.end(), binary.begin(), binary.end());
    ok = write(file, parts);
  }
  if (!ok) {
    removeAll();
    return false;
  }
  // A file set is whole or gone: what was renamed already goes again.
  std::error_code ec;
  for (std::size_t i = 0; i < written.size(); ++i) {
    fs::rename(written[i].first, written[i].second, ec);
    if (ec) {
      if (error) *error = "cannot write " + written[i].second.string() + ": " + ec.message();
      for (std::size_t k = 0; k < i; ++k)
        fs::remove(written[k].second, ec);
      removeAll();
      return false;
    }
  }
  return true;
}

}  // namespace kelvane
