#include "shell/shell_rules.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/text.h"

namespace kelvane {

namespace {

constexpr float kSmallestZoom = 0.001f;

}  // namespace

void ApplyDrag(ViewState& view, float x, float y, bool leftHeld, bool middleHeld) {
  view.RedrawPending = true;
  if (!view.MouseReady) return;
  if (leftHeld) {
    view.RotX += (y - view.LastMouseY) / 2.0f;
    view.RotY += (x - view.LastMouseX) / 2.0f;
  }
  if (middleHeld) {
    view.PanY -= (y - view.LastMouseY) / 50.0f;
    view.PanX += (x - view.LastMouseX) / 50.0f;
  }
  if (leftHeld || middleHeld) {
    view.LastMouseX = x;
    view.LastMouseY = y;
  }
}

void ApplyWheel(ViewState& view, int delta) {
  view.RedrawPending = true;
  view.Zoom = view.Zoom + 0.001f * view.Zoom * static_cast<float>(delta);
  if (view.Zoom <= 0.0f) view.Zoom = kSmallestZoom;
}

KeyCommand ApplyViewKey(ViewState& view, ViewKey key, KeyModifiers modifiers) {
  view.RedrawPending = true;
  switch (modifiers) {
    case KeyModifiers::ShiftOnly:
      if (key == ViewKey::Up) view.Zoom *= 1.1f;
      if (key == ViewKey::Down) view.Zoom *= 0.9f;
      if (view.Zoom <= 0.0f) view.Zoom = kSmallestZoom;
      return KeyCommand::None;
    case KeyModifiers::CtrlOnly:
      if (key == ViewKey::Left) view.PanX -= 0.1f;
      if (key == ViewKey::Right) view.PanX += 0.1f;
      if (key == ViewKey::Up) view.PanY += 0.1f;
      if (key == ViewKey::Down) view.PanY -= 0.1f;
      return KeyCommand::None;
    case KeyModifiers::Other:
      break;
  }
  switch (key) {
    case ViewKey::Left:
      view.RotY += 2.0f;
      break;
    case ViewKey::Right:
      view.RotY -= 2.0f;
      break;
    case ViewKey::Up:
      view.RotX -= 2.0f;
      break;
    case ViewKey::Down:
      view.RotX += 2.0f;
      break;
    case ViewKey::B:
      return KeyCommand::BumpsOnly;
    case ViewKey::R:
      return KeyCommand::Reopen;
    case ViewKey::T:
      return KeyCommand::LocateTexture;
    case ViewKey::W:
      return KeyCommand::Attachments;
    case ViewKey::Other:
      break;
  }
  return KeyCommand::None;
}

PopupVisibility ComputePopup(const PopupState& s) {
  const bool a = s.showAttachments, b = s.bumpsOnly, l = s.locateTexture, t = s.trainCar;
  const bool k = s.anyBumpLoaded, x = s.showAxes;
  PopupVisibility v;
  v.makeThumbnail = !(a || b || l);
  v.backgroundColour = true;
  v.meshData = !(a || b || l || t);
  v.showAxes = !(a || l || t);
  v.units = !(a || t || l) && x;
  v.bumpEffect = !(a || b || l) && k;
  v.showBumpsOnly = !(a || l || t) && k;
  v.showAttachments = !(l || b || t);
  v.showAttachmentsCaption = s.attachmentCount == 0 ? "Wire Frame" : "Show Attachments";
  v.attachmentSize = a && s.attachmentCount > 0;
  v.locateTexture = !(a || b || t);
  v.adjustTrack = t;
  if (s.texture) {
    // A picture has no mesh data, axes, bumps or points.
    const PopupVisibility picture{.makeThumbnail = true, .backgroundColour = true};
    return picture;
  }
  return v;
}

const char* UnitsCaption(bool metric) {
  return metric ? "    Units feet" : "    Units metres";
}

float BumpStrengthFromSlider(int position) {
  return static_cast<float>(position) / 60.0f + 0.065f;
}

int SliderFromBumpStrength(float strength) {
  return static_cast<int>(std::lround((strength - 0.065f) * 60.0f));
}

std::string FixedText(float value) {
  const double v = value;
  if (!std::isfinite(v)) return v != v ? "NAN" : (v > 0 ? "INF" : "-INF");
  // The C library's number formatting follows the user's locale (a comma in
  // many); the shown numbers always use a point.
  char buffer[64];
  const auto scientific = [&] {
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific, 6);
    return std::string(buffer, result.ptr);
  };
  if (std::fabs(v) >= 1e7) {
    std::string text = scientific();
    std::replace(text.begin(), text.end(), 'e', 'E');
    return text;
  }
  // Seven significant digits first, then three decimals of what is left.
  const std::string digits = scientific();
  double rounded = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), rounded);
  return FormatFixed(rounded, 3);
}

std::string ThumbnailFileName(std::string_view typed) {
  std::string name(typed.substr(0, kMaxNameLength));
  if (const auto dot = name.find('.'); dot != std::string::npos) name.erase(dot);
  return AsciiLower(name) + ".jpg";
}

std::string ThumbnailQuestion(std::string_view thumbnailName, std::string_view folder) {
  return "Do you wish to save this \"" + std::string(thumbnailName) +
         "\" thumbnail?\n\nIt will be written into the folder:\n" + std::string(folder);
}

std::string MeshCaption(std::string_view fileName) {
  return "Mesh " + std::string(fileName) + "     Rotate and zoom with the mouse please.";
}

std::string TrainCarCaption(std::string_view userName) {
  return "TrainCar " + std::string(userName) + "     Rotate and zoom with the mouse please.";
}

std::string TextureCaption(std::string_view fileName) {
  return "Texture " + std::string(fileName) + "     Zoom and pan with the mouse please.";
}

WindowSize FirstWindowSize(int screenWidth, int screenHeight) {
  return {std::clamp(screenWidth * 2 / 3, 0, 1280), std::clamp(screenHeight * 2 / 3, 0, 900)};
}

bool IsMeshFileName(std::string_view fileName) {
  const std::string ext = LowerExtension(fileName);
  return ext == ".im" || ext == ".pm";
}

}  // namespace kelvane
