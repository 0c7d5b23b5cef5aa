#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fixtures/texture_writer.h"
#include "platform/notices.h"
#include "textures/pixel_buffer.h"
#include "textures/texture_loader_state.h"

namespace kelvane::testing {

// The bytes of one texel, rows counted from the bottom as the buffer holds
// them.
inline std::vector<int> TexelOf(const PixelBuffer& b, std::size_t x, std::size_t yFromBottom) {
  const std::uint8_t* t = b.Texel(x, yFromBottom);
  return std::vector<int>(t, t + b.bytesPerTexel);
}

// Every alpha byte of an RGBA buffer.
inline std::vector<int> Alphas(const PixelBuffer& b) {
  std::vector<int> a;
  for (std::size_t i = 0; i < b.TexelCount(); ++i)
    a.push_back(b.pixels[i * 4 + 3]);
  return a;
}

// Width, height, then the colour bytes of every texel, top row first: a
// decoded buffer and the picture it came from give the same list.
inline std::vector<int> TopDownRgb(const PixelBuffer& b) {
  std::vector<int> out{b.width, b.height};
  for (int y = b.height - 1; y >= 0; --y) {
    for (int x = 0; x < b.width; ++x) {
      const auto t = TexelOf(b, static_cast<std::size_t>(x), static_cast<std::size_t>(y));
      out.insert(out.end(), t.begin(), t.begin() + 3);
    }
  }
  return out;
}

inline std::vector<int> TopDownRgb(const fixtures::Picture<fixtures::Rgb8>& p) {
  std::vector<int> out{p.width, p.height};
  for (const fixtures::Rgb8& c : p.texels)
    out.insert(out.end(), {c.r, c.g, c.b});
  return out;
}

// A reader's state and what it told the user.
class ReaderTest : public ::testing::Test {
 protected:
  // The one message shown, or "" when there was none or more.
  std::string Message() const {
    return notifier.notices.size() == 1 ? notifier.notices[0].text : std::string();
  }

  TextureLoaderState state;
  RecordingNotifier notifier;
};

}  // namespace kelvane::testing
