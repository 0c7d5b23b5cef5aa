#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane {

// An INI file held in memory: read whole when created, written whole by
// UpdateFile. Section and key names compare without regard to ASCII case;
// sections and keys keep the order they were first seen in.
class TMemIni {
 public:
  enum class ReadStatus { Read, Missing, Unreadable };

  TMemIni() = default;
  // Reads `file`; a missing or unreadable file gives an empty INI.
  explicit TMemIni(std::filesystem::path file);
  // Parses INI text (tests and fuzzing need no file).
  static TMemIni FromText(std::string_view text);

  ReadStatus status() const { return status_; }
  const std::string& readError() const { return readError_; }
  const std::filesystem::path& fileName() const { return file_; }

  // A value of two or more characters enclosed in double or in single
  // quotes is returned without them.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  // Decimal, or hexadecimal after "0x"; anything else gives the fallback.
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t fallback) const;
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;
  float ReadFloat(std::string_view section, std::string_view key, float fallback) const;

  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  // Shortest text that reads back as the same float, with a point.
  void WriteFloat(std::string_view section, std::string_view key, float value);

  std::string Text() const;
  // Writes the whole content through a temporary file that is flushed and
  // renamed over the old one, so a crash leaves the old or the new file.
  // Returns false with `error` set when it could not be written.
  bool UpdateFile(std::string* error = nullptr) const;

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  const std::string* Find(std::string_view section, std::string_view key) const;
  void Parse(std::string_view text);

  std::filesystem::path file_;
  ReadStatus status_ = ReadStatus::Missing;
  std::string readError_;
  std::vector<Section> sections_;
};

// Parses an integer as the settings file writes it; empty when it is not one.
std::optional<std::int32_t> ParseIniInteger(std::string_view text);
std::optional<float> ParseIniFloat(std::string_view text);

// Writes `content` to `file` through a temporary file in the same folder,
// flushed to disk and renamed over the old file.
bool WriteFileAtomically(const std::filesystem::path& file, std::string_view content,
                         std::string* error);

}  // namespace kelvane
