#include "platform/file_bytes.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#define KELVANE_HAVE_MMAP 1
#endif

namespace kelvane {

FileBytes::FileBytes(FileBytes&& other) noexcept {
  *this = std::move(other);
}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
  if (this != &other) {
    Release();
    buffer_ = std::move(other.buffer_);
    mapping_ = std::exchange(other.mapping_, nullptr);
    size_ = std::exchange(other.size_, 0);
    data_ = mapping_ ? static_cast<const std::byte*>(mapping_) : buffer_.data();
    other.data_ = nullptr;
  }
  return *this;
}

FileBytes::~FileBytes() {
  Release();
}

void FileBytes::Release() noexcept {
#ifdef KELVANE_HAVE_MMAP
  if (mapping_) munmap(mapping_, size_);
#endif
  mapping_ = nullptr;
  buffer_.clear();
  data_ = nullptr;
  size_ = 0;
}

std::optional<FileBytes> FileBytes::Open(const std::filesystem::path& path, std::string* error) {
  FileBytes result;
#ifdef KELVANE_HAVE_MMAP
  constexpr off_t kSmallFileBytes = 1 << 20;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return std::nullopt;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (error) *error = S_ISDIR(st.st_mode) ? "is a folder" : std::strerror(errno);
    ::close(fd);
    return std::nullopt;
  }
  if (st.st_size > 0 && st.st_size < kSmallFileBytes) {
    // Small files are read: unmapping costs every other core of the process
    // a TLB flush, which is what makes parallel checks stall.
    result.buffer_.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < result.buffer_.size()) {
      const ssize_t n = ::read(fd, result.buffer_.data() + got, result.buffer_.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got != result.buffer_.size()) {
      if (error) *error = "cannot be read";
      return std::nullopt;
    }
    result.size_ = result.buffer_.size();
    result.data_ = result.buffer_.data();
    return result;
  }
  if (st.st_size > 0) {
#ifdef MAP_POPULATE
    // Every byte is read once: faulting the pages in one go is cheaper.
    constexpr int kFlags = MAP_PRIVATE | MAP_POPULATE;
#else
    constexpr int kFlags = MAP_PRIVATE;
#endif
    void* m = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, kFlags, fd, 0);
    if (m != MAP_FAILED) {
      ::close(fd);
      result.mapping_ = m;
      result.size_ = static_cast<std::size_t>(st.st_size);
      result.data_ = static_cast<const std::byte*>(m);
      return result;
    }
  }
  ::close(fd);
#endif
  // Fallback: read the stream whole.
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot be opened";
    return std::nullopt;
  }
  in.seekg(0, std::ios::end);
  const auto end = in.tellg();
  in.seekg(0, std::ios::beg);
  if (end < 0) {
    if (error) *error = "cannot be read";
    return std::nullopt;
  }
  result.buffer_.resize(static_cast<std::size_t>(end));
  if (!result.buffer_.empty() && !in.read(reinterpret_cast<char*>(result.buffer_.data()),
                                          static_cast<std::streamsize>(result.buffer_.size()))) {
    if (error) *error = "cannot be read";
    return std::nullopt;
  }
  result.size_ = result.buffer_.size();
  result.data_ = result.buffer_.data();
  return result;
}

}  // namespace kelvane
