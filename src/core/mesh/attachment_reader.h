#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/byte_cursor.h"

namespace kelvane {

// Raised by the attachment reader; the message is for the user.
class MeshError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TMesh;

// One raw top-level chunk, kept whole.
struct TChunk {
  const TMesh* owner = nullptr;
  std::int64_t position = 0;  // of its header
  std::array<char, 4> tag{};
  std::uint32_t size = 0;  // payload size as the header gives it
  std::vector<std::byte> data;

  std::string TagText() const { return std::string(tag.data(), 4); }
};

// A mesh file read as a flat list of chunks, for its attachment points.
class TMesh {
 public:
  void SetFileName(const std::string& name);
  const std::string& FileName() const { return fileName_; }
  // Activating reads the file; throws MeshError when it cannot be opened or
  // is not a mesh.
  void SetActive(bool active);
  // Activates from bytes already in memory.
  void ActivateFromMemory(std::span<const std::byte> bytes);
  bool Active() const { return active_; }

  std::int32_t ChunkCount() const { return chunkCount_; }
  const TChunk& Chunk(std::size_t i) const { return *chunks_[i]; }
  std::int64_t FileSize() const { return fileSize_; }

 private:
  void ReadChunks(std::span<const std::byte> bytes);

  std::string fileName_;
  bool active_ = false;
  std::vector<std::unique_ptr<TChunk>> chunks_;
  std::int64_t fileSize_ = 0;
  std::int32_t chunkCount_ = 0;
};

struct TATCHE {
  std::string name;
  std::array<float, 9> matrix{};
  std::array<float, 3> position{};

  // "name",x,y,z,r0,r1,r2 with a point as the decimal separator.
  std::string TextLine() const;
};

// The attachment entries of one ATCH payload.
class TATCH {
 public:
  explicit TATCH(std::span<const std::byte> payload);
  std::int32_t Count() const { return count_; }
  const TATCHE& Entry(std::size_t i) const { return entries_[i]; }
  // Set when the payload ended before its count was read: where (counted
  // from the start of the payload) and what; Count() is the number of
  // whole entries before it.
  const std::optional<ReadFault>& Fault() const { return fault_; }

 private:
  std::int32_t count_ = -1;
  std::vector<TATCHE> entries_;
  std::optional<ReadFault> fault_;
};

// The attachment points of a mesh file: every text line, in file order,
// and for each damaged ATCH chunk a message for the user that names the
// file, the fault and its byte offset in the file.
struct AttachmentList {
  std::vector<std::string> lines;
  std::vector<std::string> problems;
};
AttachmentList ListAttachments(const TMesh& mesh);

}  // namespace kelvane
