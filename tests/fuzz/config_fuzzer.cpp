// The config.txt reader on arbitrary text, with the queries traincar
// composition makes: walks that must end, values that must stay in bounds.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "assets/config_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kelvane::ConfigLines lines = kelvane::ConfigLines::FromText(text);
  const int count = lines.LineCount();
  static constexpr std::string_view kTags[] = {"kind", "kuid", "mesh", "bogey", "att", ""};
  for (std::string_view tag : kTags) {
    for (int depth = 0; depth < 3; ++depth) {
      int steps = 0;
      for (int at = lines.FindTag("", "", tag, kelvane::kConfigTop, depth); at >= 0;
           at = lines.FindTag("", "", tag, at + 1, depth)) {
        if (at >= count || ++steps > count) __builtin_trap();  // walks move forward and end
        (void)kelvane::StripQuotes(lines.TagValue(at));
      }
    }
  }
  (void)lines.FindTag("mesh-table", "", "mesh", kelvane::kConfigTop, 2);
  (void)lines.FindTag(lines.LastParentName(), "", "att", kelvane::kConfigTop, 2);
  (void)kelvane::NormaliseKuid(lines.TagValue(count - 1));
  return 0;
}
