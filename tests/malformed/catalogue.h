#pragma once

// Malformed files, each with what the reader must make of it: the result
// in words and the exact message the user sees, if any. Written from the
// byte layout by the fixture writer; the unit test runs every entry through
// its reader, and the fuzz seed program puts them into the corpora.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::malformed {

enum class Format { kMesh, kTexture, kTga, kBmp, kJpeg, kConfig, kSettings };

// Also the name of the fuzz target that reads the format.
std::string_view FormatName(Format format);
// The extension a file of the format carries; messages quote the name.
std::string_view Extension(Format format);

struct Message {
  std::string caption;
  std::string text;
  bool operator==(const Message&) const = default;
};

struct Case {
  Format format;
  std::string name;
  std::vector<std::byte> bytes;
  // "not loaded", "loaded: 1 objects, ...", "refused", "image 4x4 rgb", ...
  std::string result;
  std::optional<Message> message;  // none: the reader stays silent

  std::string FileName() const { return name + std::string(Extension(format)); }
};

std::vector<Case> Catalogue();
// The cases of the text formats, added to `out`.
void AddTextCases(std::vector<Case>& out);

// What the real reader made of a case, in the catalogue's words.
struct Outcome {
  std::string result;
  std::vector<Message> messages;
};
Outcome Run(const Case& c);

}  // namespace kelvane::malformed
