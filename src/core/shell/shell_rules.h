#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "assets/progress_log.h"
#include "mesh/model.h"
#include "view/view_state.h"

namespace kelvane {

// ----- view input ------------------------------------------------------------

// Mouse drag over the view: the left button turns, the middle one pans,
// both at once when both are held.
// Only while dragging is armed; the last position follows either drag.
void ApplyDrag(ViewState& view, float x, float y, bool leftHeld, bool middleHeld);

// One wheel turn of `delta` eighths of a degree (120 per notch): a notch
// multiplies the zoom by 1.12; the zoom never reaches zero or below.
void ApplyWheel(ViewState& view, int delta);

enum class ViewKey { Left, Right, Up, Down, B, R, T, W, Other };

// Which held modifiers decide a key's meaning: Shift alone, Ctrl alone, or
// any other combination (none, both, Alt, ...).
enum class KeyModifiers { ShiftOnly, CtrlOnly, Other };

// What the window must do after a key changed the view.
enum class KeyCommand { None, BumpsOnly, Reopen, LocateTexture, Attachments };

// Applies the key table to the view; every key asks for a frame.
KeyCommand ApplyViewKey(ViewState& view, ViewKey key, KeyModifiers modifiers);

// ----- popup menu --------------------------------------------------------------

struct PopupState {
  bool showAttachments = false;
  bool bumpsOnly = false;
  bool locateTexture = false;
  bool trainCar = false;
  bool texture = false;  // a texture opened on its own
  bool anyBumpLoaded = false;
  bool showAxes = false;
  std::int32_t attachmentCount = 0;
};

// Which of the view's popup items are offered.
struct PopupVisibility {
  bool makeThumbnail = false;
  bool backgroundColour = true;
  bool meshData = false;
  bool showAxes = false;
  bool units = false;
  bool bumpEffect = false;
  bool showBumpsOnly = false;
  bool showAttachments = false;
  bool attachmentSize = false;
  bool locateTexture = false;
  bool adjustTrack = false;
  const char* showAttachmentsCaption = "Show Attachments";
};

PopupVisibility ComputePopup(const PopupState& state);

// The units item names the unit the command switches to.
const char* UnitsCaption(bool metric);

// ----- small rules of the commands ------------------------------------------

// Bump slider position 0..20 and strength.
float BumpStrengthFromSlider(int position);
int SliderFromBumpStrength(float strength);

// A number as the Mesh Data dialog and the attachment boxes show it: fixed
// point with 3 decimals after rounding to 7 significant digits.
std::string FixedText(float value);

// The thumbnail file name made of what the user typed: kept to 255
// characters, cut before the first dot, lower-cased, ".jpg" appended.
std::string ThumbnailFileName(std::string_view typed);

// The question asked before a thumbnail is written, naming the folder it
// goes into on a line of its own.
std::string ThumbnailQuestion(std::string_view thumbnailName, std::string_view folder);

// The main window's caption while a mesh or a traincar is shown.
std::string MeshCaption(std::string_view fileName);
std::string TrainCarCaption(std::string_view userName);
// A texture opened on its own.
std::string TextureCaption(std::string_view fileName);

// The window's size at a first start, with no size saved: two thirds of the
// screen's free area each way, at most 1280 x 900, so that the title, the
// menus, the status line and the attachment boxes show.
struct WindowSize {
  int width, height;
  bool operator==(const WindowSize&) const = default;
};
WindowSize FirstWindowSize(int screenWidth, int screenHeight);

// True for ".im" and ".pm" (any case).
bool IsMeshFileName(std::string_view fileName);

// The progress box shows while a lookup or the host set-up has something
// for the user to read.
inline bool LogBoxShown(ProgressLog::Stage stage) {
  return stage != ProgressLog::Stage::kQuiet;
}

}  // namespace kelvane
