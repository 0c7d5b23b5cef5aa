// The settings file: whatever text it holds, the values read from it must
// survive being written and read back.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "settings/viewer_settings.h"

namespace {

bool Same(float a, float b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const kelvane::TMemIni read = kelvane::TMemIni::FromText(text);
  const kelvane::ViewerSettings first = kelvane::ReadSettings(read);
  kelvane::TMemIni written = read;  // the same text read once is enough
  kelvane::WriteSettings(written, first);
  const kelvane::ViewerSettings again =
      kelvane::ReadSettings(kelvane::TMemIni::FromText(written.Text()));
  // Strings lose outer quotes on reading; those read back the same when the
  // value itself has no quote pair around it.
  auto stable = [](const std::string& s) {
    return s.size() < 2 ||
           !((s.front() == '"' && s.back() == '"') || (s.front() == '\'' && s.back() == '\''));
  };
  const bool ok = (first.lastFile == again.lastFile || !stable(first.lastFile)) &&
                  first.bgroundColour == again.bgroundColour && first.attSize == again.attSize &&
                  first.showAxes == again.showAxes && first.metric == again.metric &&
                  Same(first.bumpAlpha, again.bumpAlpha) && first.top == again.top &&
                  first.left == again.left && first.width == again.width &&
                  first.height == again.height && first.gaugeIndex == again.gaugeIndex &&
                  Same(first.gauge, again.gauge) && first.unitsIndex == again.unitsIndex &&
                  first.tieSpacing == again.tieSpacing;
  if (!ok) __builtin_trap();
  return 0;
}
