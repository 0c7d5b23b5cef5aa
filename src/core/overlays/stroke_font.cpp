#include "overlays/stroke_font.h"

#include <GL/gl.h>

#include <initializer_list>
#include <vector>

namespace kelvane {

namespace {

using Stroke = std::initializer_list<std::pair<int, int>>;

Glyph MakeGlyph(std::initializer_list<Stroke> strokes) {
  Glyph g{};
  std::size_t slot = 0;
  std::size_t strokeIndex = 0;
  for (const Stroke& stroke : strokes) {
    ++strokeIndex;
    std::size_t pointIndex = 0;
    for (const auto& [x, y] : stroke) {
      ++pointIndex;
      std::int32_t code = 1;
      if (pointIndex == stroke.size()) code = strokeIndex == strokes.size() ? 3 : 2;
      g[slot++] = GlyphPoint{x, y, code};
    }
  }
  return g;
}

}  // namespace

GlyphTable BuildGlyphs() {
  GlyphTable t;
  t.glyphs = {
      MakeGlyph({{{0, 2}, {0, 8}, {2, 10}, {4, 10}, {6, 8}, {6, 2}, {4, 0}, {2, 0}, {0, 2}}}),
      MakeGlyph({{{2, 8}, {4, 10}, {4, 0}}, {{2, 0}, {6, 0}}}),
      MakeGlyph({{{0, 8}, {2, 10}, {4, 10}, {6, 8}, {6, 5}, {0, 1}, {0, 0}, {6, 0}}}),
      MakeGlyph({{{1, 9}, {2, 10}, {4, 10}, {5, 9}, {5, 7}, {4, 6}, {2, 6}},
                 {{4, 6}, {6, 4}, {6, 2}, {4, 0}, {2, 0}, {0, 2}}}),
      MakeGlyph({{{5, 0}, {5, 10}, {0, 4}, {7, 4}}}),
      MakeGlyph(
          {{{0, 2}, {2, 0}, {4, 0}, {6, 2}, {6, 4}, {4, 6}, {2, 6}, {0, 5}, {1, 10}, {6, 10}}}),
      MakeGlyph(
          {{{5, 10}, {3, 9}, {0, 5}, {0, 2}, {2, 0}, {4, 0}, {6, 2}, {6, 4}, {5, 5}, {0, 5}}}),
      MakeGlyph({{{0, 8}, {0, 10}, {6, 10}, {4, 4}, {4, 0}}}),
      MakeGlyph({{{2, 6},
                  {1, 7},
                  {1, 9},
                  {2, 10},
                  {4, 10},
                  {5, 9},
                  {5, 7},
                  {4, 6},
                  {2, 6},
                  {0, 4},
                  {0, 2},
                  {2, 0},
                  {4, 0},
                  {6, 2},
                  {6, 4},
                  {4, 6}}}),
      MakeGlyph(
          {{{6, 4}, {2, 4}, {0, 6}, {0, 8}, {2, 10}, {4, 10}, {6, 8}, {6, 4}, {4, 1}, {1, 0}}}),
      MakeGlyph({{{0, 10}, {7, 0}}, {{7, 10}, {0, 0}}}),
      MakeGlyph({{{0, 10}, {3, 5}, {6, 10}}, {{3, 5}, {3, 0}}}),
      MakeGlyph({{{0, 10}, {7, 10}, {0, 0}, {7, 0}}}),
      MakeGlyph({{{1, 0}, {1, 6}},
                 {{1, 5}, {2, 6}, {3, 6}, {4, 5}, {4, 0}},
                 {{4, 5}, {5, 6}, {6, 6}, {7, 5}, {7, 0}}}),
      MakeGlyph({{{4, 0}, {4, 9}, {5, 10}, {6, 10}, {7, 9}}, {{2, 5}, {6, 5}}}),
      MakeGlyph({{{3, 8}, {3, 1}, {4, 0}, {5, 0}, {6, 1}}, {{1, 5}, {5, 5}}}),
      MakeGlyph({{{0, 5}, {6, 5}}}),
  };
  return t;
}

int GlyphIndex(char c) {
  const std::size_t at = kGlyphCharacters.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

void DrawGlyph(const Glyph& glyph, int xOffset, float scale) {
  glBegin(GL_LINE_STRIP);
  for (const GlyphPoint& p : glyph) {
    if (p.code == 0) continue;
    glVertex3f(static_cast<float>(p.x + xOffset) * scale, static_cast<float>(p.y - 5) * scale,
               0.0f);
    if (p.code == 2) {
      glEnd();
      glBegin(GL_LINE_STRIP);
    } else if (p.code == 3) {
      break;
    }
  }
  glEnd();
}

void FaceViewer(float zoom) {
  GLfloat m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  for (int column = 0; column < 3; ++column) {
    for (int row = 0; row < 3; ++row)
      m[column * 4 + row] = column == row ? 1.0f : 0.0f;
  }
  glLoadMatrixf(m);
  glScalef(zoom, zoom, zoom);
}

void DrawText3D(const GlyphTable& table, std::string_view text, float scale, float zoom) {
  glPushMatrix();
  FaceViewer(zoom);
  int xOffset = -4 * static_cast<int>(text.size());
  for (char c : text) {
    const int index = GlyphIndex(c);
    if (index >= 0) DrawGlyph(table.glyphs[static_cast<std::size_t>(index)], xOffset, scale);
    xOffset += 8;
  }
  glPopMatrix();
}

}  // namespace kelvane
