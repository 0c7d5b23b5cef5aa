#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kelvane {

// The whole content of a file, read-only. Mapped where the platform allows,
// read into memory otherwise; either way the bytes stay valid while the
// object lives.
class FileBytes {
 public:
  FileBytes() = default;
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  FileBytes(FileBytes&& other) noexcept;
  FileBytes& operator=(FileBytes&& other) noexcept;
  ~FileBytes();

  // Empty optional when the file cannot be opened or read; `error` says why.
  static std::optional<FileBytes> Open(const std::filesystem::path& path, std::string* error);

  std::span<const std::byte> bytes() const { return {data_, size_}; }
  std::size_t size() const { return size_; }

 private:
  void Release() noexcept;

  const std::byte* data_ = nullptr;
  std::size_t size_ = 0;
  void* mapping_ = nullptr;  // non-null when mapped
  std::vector<std::byte> buffer_;
};

}  // namespace kelvane
