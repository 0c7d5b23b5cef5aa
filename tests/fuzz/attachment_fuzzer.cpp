// The attachment reader on arbitrary bytes: container check, chunk list,
// ATCH decoding and the text lines.

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/tokens.h"
#include "fuzz/fuzz_checks.h"
#include "mesh/attachment_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span bytes(reinterpret_cast<const std::byte*>(data), size);
  kelvane::TMesh mesh;
  mesh.SetFileName("fuzz.im");
  try {
    mesh.ActivateFromMemory(bytes);
  } catch (const kelvane::MeshError&) {
    return 0;
  }
  kelvane::TokenArray tokens;
  const kelvane::AttachmentList list = kelvane::ListAttachments(mesh);
  for (const std::string& problem : list.problems) {
    // Each names the file and where in it the damage lies.
    kelvane::fuzz::Require(problem.find("\"fuzz.im\" is damaged at byte ") != std::string::npos);
  }
  for (const std::string& line : list.lines) {
    try {
      kelvane::GetTokens(line, tokens, ",");
    } catch (const kelvane::TokenError&) {
    }
  }
  // Every ATCH chunk also decoded on its own, without the container.
  const kelvane::TATCH direct(bytes);
  for (std::int32_t i = 0; i < direct.Count(); ++i) {
    (void)direct.Entry(static_cast<std::size_t>(i)).TextLine();
  }
  return 0;
}
