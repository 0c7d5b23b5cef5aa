#pragma once

namespace kelvane {

// How the scene is looked at, and whether frames are wanted. One instance
// per viewer; opening a mesh resets it and sets the zoom from the model.
struct ViewState {
  float RotX = 0.0f;  // degrees about x
  float RotY = 0.0f;  // degrees about the vertical axis
  float Zoom = 0.0f;  // uniform scale; 0 until the first load
  float PanX = 0.0f;
  float PanY = 0.0f;
  float LastMouseX = 0.0f;
  float LastMouseY = 0.0f;
  bool RedrawPending = false;  // frames are drawn while set
  bool MouseReady = false;     // dragging is accepted
};

}  // namespace kelvane
