#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kelvane {

// One point of a stroke glyph in its 8 x 10 cell.
struct GlyphPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  // 1 next point of the stroke, 2 last of a stroke, 3 last of the glyph,
  // 0 empty slot.
  std::int32_t code = 0;
};

using Glyph = std::array<GlyphPoint, 16>;

inline constexpr std::string_view kGlyphCharacters = "0123456789XYZMFT-";

// The 17 glyphs of the ruler labels, in the order of kGlyphCharacters.
struct GlyphTable {
  std::array<Glyph, 17> glyphs{};
};

GlyphTable BuildGlyphs();

// Index of `c` in kGlyphCharacters; -1 for a character without a glyph.
int GlyphIndex(char c);

// One glyph as line strips in the z = 0 plane, offset by `xOffset` cell
// units and centred vertically.
void DrawGlyph(const Glyph& glyph, int xOffset, float scale);

// Removes rotation and scale from the model-view matrix, keeping its
// translation, then scales by `zoom`: what follows faces the viewer at a
// size tied to the view scale.
void FaceViewer(float zoom);

// Text centred on the current origin, facing the viewer, 10 x scale high.
// Characters without a glyph leave a blank.
void DrawText3D(const GlyphTable& table, std::string_view text, float scale, float zoom);

}  // namespace kelvane
