#include "mesh/attachment_reader.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "base/byte_cursor.h"
#include "base/text.h"
#include "mesh/mesh_tags.h"
#include "mesh/model.h"
#include "platform/file_bytes.h"

namespace kelvane {

void TMesh::SetFileName(const std::string& name) {
  if (name == fileName_) return;
  SetActive(false);
  fileName_ = name;
  fileSize_ = 0;
}

void TMesh::SetActive(bool active) {
  if (active == active_) return;
  if (!active) {
    chunks_.clear();
    chunkCount_ = 0;
    active_ = false;
    return;
  }
  std::string error;
  auto file = FileBytes::Open(fileName_, &error);
  if (!file) throw MeshError("Cannot open file \"" + fileName_ + "\": " + error);
  ActivateFromMemory(file->bytes());
}

void TMesh::ActivateFromMemory(std::span<const std::byte> bytes) {
  SetActive(false);
  fileSize_ = static_cast<std::int64_t>(bytes.size());
  bool valid = bytes.size() >= 12;
  if (valid) {
    valid = LoadU32(bytes.data()) == kTagJIRF &&
            std::uint64_t{LoadU32(bytes.data() + 4)} + 8 == bytes.size() &&
            LoadU32(bytes.data() + 8) == kTagIDXM;
  }
  if (!valid) throw MeshError("MESH001F file " + fileName_ + " is not a valid mesh");
  ReadChunks(bytes);
  active_ = true;
}

void TMesh::ReadChunks(std::span<const std::byte> bytes) {
  std::size_t pos = 12;
  // Trailing bytes too few for a chunk header are not a chunk.
  while (pos < bytes.size() && bytes.size() - pos >= 8) {
    auto chunk = std::make_unique<TChunk>();
    chunk->owner = this;
    chunk->position = static_cast<std::int64_t>(pos);
    std::memcpy(chunk->tag.data(), bytes.data() + pos, 4);
    chunk->size = LoadU32(bytes.data() + pos + 4);
    pos += 8;
    // A payload running past the end gets the bytes that are there.
    const std::size_t take = std::min<std::size_t>(chunk->size, bytes.size() - pos);
    chunk->data.assign(bytes.data() + pos, bytes.data() + pos + take);
    pos += take;
    chunks_.push_back(std::move(chunk));
  }
  chunkCount_ = static_cast<std::int32_t>(chunks_.size());
}

namespace {

bool IsTrimmed(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string Trim(std::string text) {
  const auto first = std::find_if_not(text.begin(), text.end(), IsTrimmed);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), IsTrimmed).base();
  return first < last ? std::string(first, last) : std::string();
}

}  // namespace

TATCH::TATCH(std::span<const std::byte> payload) {
  ByteCursor in(payload);
  try {
    in.Skip(4, "the attachment header");
    const std::int32_t count = in.I32("the attachment count");
    for (std::int32_t i = 0; i < count; ++i) {
      const std::size_t at = in.position();
      const std::int32_t length = in.I32("an attachment name length");
      // This reader keeps the length as it stands: no flag bit is removed.
      if (length < 0 || static_cast<std::size_t>(length) > in.remaining()) {
        throw ReadFault{at, "an attachment name of " + std::to_string(length) +
                                " bytes runs past the end of the chunk"};
      }
      TATCHE entry;
      const std::byte* name = in.Take(static_cast<std::size_t>(length), "an attachment name");
      entry.name =
          Trim(std::string(reinterpret_cast<const char*>(name), static_cast<std::size_t>(length)));
      const std::byte* p = in.Take(48, "an attachment record");
      for (std::size_t k = 0; k < 9; ++k)
        entry.matrix[k] = LoadF32(p + 4 * k);
      for (std::size_t k = 0; k < 3; ++k)
        entry.position[k] = LoadF32(p + 36 + 4 * k);
      entries_.push_back(std::move(entry));
    }
  } catch (const ReadFault& fault) {
    fault_ = fault;
    // The cursor spans the chunk's data, not the file.
    constexpr std::string_view kFileEnds = "the file ends";
    if (fault_->what.starts_with(kFileEnds)) {
      fault_->what.replace(0, kFileEnds.size(), "the ATCH chunk ends");
    }
  }
  count_ = static_cast<std::int32_t>(entries_.size());
}

std::string TATCHE::TextLine() const {
  const TVector3 angles = MatrixToAngles(matrix);
  std::string line = "\"" + name + "\"";
  for (float v : position)
    line += "," + FormatFixed(v, 3);
  for (float a : {angles.x, angles.y, angles.z})
    line += "," + FormatFixed(a, 1);
  return line;
}

AttachmentList ListAttachments(const TMesh& mesh) {
  AttachmentList list;
  for (std::int32_t i = 0; i < mesh.ChunkCount(); ++i) {
    const TChunk& chunk = mesh.Chunk(static_cast<std::size_t>(i));
    if (chunk.TagText() != "ATCH") continue;
    const TATCH atch(chunk.data);
    for (std::int32_t k = 0; k < atch.Count(); ++k) {
      list.lines.push_back(atch.Entry(static_cast<std::size_t>(k)).TextLine());
    }
    if (const auto& fault = atch.Fault()) {
      const auto offset = static_cast<std::size_t>(chunk.position) + 8 + fault->offset;
      list.problems.push_back("The mesh file \"" + mesh.FileName() + "\" is damaged at byte " +
                              std::to_string(offset) + ": " + fault->what +
                              ". The attachment points before it are used.");
    }
  }
  return list;
}

}  // namespace kelvane
