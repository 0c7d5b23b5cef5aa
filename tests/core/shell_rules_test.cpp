#include "shell/shell_rules.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "settings/viewer_settings.h"
#include "shell/track_gauges.h"

namespace kelvane {
namespace {

TEST(ViewInput, KeyTableMatchesModifiersExactly) {
  ViewState v;
  v.Zoom = 2.0f;
  EXPECT_EQ(ApplyViewKey(v, ViewKey::Up, KeyModifiers::ShiftOnly), KeyCommand::None);
  EXPECT_FLOAT_EQ(v.Zoom, 2.2f);
  ApplyViewKey(v, ViewKey::Down, KeyModifiers::ShiftOnly);
  EXPECT_FLOAT_EQ(v.Zoom, 2.2f * 0.9f);
  // Shift with Left does not turn: the Shift-only row has no Left.
  ApplyViewKey(v, ViewKey::Left, KeyModifiers::ShiftOnly);
  EXPECT_EQ(v.RotY, 0.0f);
  // A zoom at zero is lifted by any Shift key.
  v.Zoom = 0.0f;
  ApplyViewKey(v, ViewKey::Other, KeyModifiers::ShiftOnly);
  EXPECT_FLOAT_EQ(v.Zoom, 0.001f);

  ApplyViewKey(v, ViewKey::Left, KeyModifiers::CtrlOnly);
  ApplyViewKey(v, ViewKey::Up, KeyModifiers::CtrlOnly);
  EXPECT_FLOAT_EQ(v.PanX, -0.1f);
  EXPECT_FLOAT_EQ(v.PanY, 0.1f);
  // Ctrl with a letter is no command.
  EXPECT_EQ(ApplyViewKey(v, ViewKey::R, KeyModifiers::CtrlOnly), KeyCommand::None);

  ApplyViewKey(v, ViewKey::Left, KeyModifiers::Other);
  ApplyViewKey(v, ViewKey::Up, KeyModifiers::Other);
  EXPECT_FLOAT_EQ(v.RotY, 2.0f);
  EXPECT_FLOAT_EQ(v.RotX, -2.0f);
  ApplyViewKey(v, ViewKey::Right, KeyModifiers::Other);
  ApplyViewKey(v, ViewKey::Down, KeyModifiers::Other);
  EXPECT_FLOAT_EQ(v.RotY, 0.0f);
  EXPECT_FLOAT_EQ(v.RotX, 0.0f);
  EXPECT_EQ(ApplyViewKey(v, ViewKey::B, KeyModifiers::Other), KeyCommand::BumpsOnly);
  EXPECT_EQ(ApplyViewKey(v, ViewKey::R, KeyModifiers::Other), KeyCommand::Reopen);
  EXPECT_EQ(ApplyViewKey(v, ViewKey::T, KeyModifiers::Other), KeyCommand::LocateTexture);
  EXPECT_EQ(ApplyViewKey(v, ViewKey::W, KeyModifiers::Other), KeyCommand::Attachments);
  EXPECT_TRUE(v.RedrawPending);
}

TEST(ViewInput, DragTurnsAndPansOnlyWhenArmed) {
  ViewState v;
  ApplyDrag(v, 10, 20, true, false);
  EXPECT_TRUE(v.RedrawPending);
  EXPECT_EQ(v.RotX, 0.0f);
  EXPECT_EQ(v.LastMouseX, 0.0f);
  v.MouseReady = true;
  ApplyDrag(v, 10, 20, true, false);
  EXPECT_FLOAT_EQ(v.RotX, 10.0f);
  EXPECT_FLOAT_EQ(v.RotY, 5.0f);
  ApplyDrag(v, 60, 120, false, true);
  EXPECT_FLOAT_EQ(v.PanX, 1.0f);
  EXPECT_FLOAT_EQ(v.PanY, -2.0f);
  // Both buttons: turned and panned by the same move.
  ApplyDrag(v, 70, 140, true, true);
  EXPECT_FLOAT_EQ(v.RotX, 20.0f);
  EXPECT_FLOAT_EQ(v.RotY, 10.0f);
  EXPECT_FLOAT_EQ(v.PanX, 1.2f);
  EXPECT_FLOAT_EQ(v.PanY, -2.4f);
  // A move without a button keeps the last position.
  ApplyDrag(v, 500, 500, false, false);
  EXPECT_EQ(v.LastMouseX, 70.0f);
}

TEST(ViewInput, WheelNotchAndFloor) {
  ViewState v;
  v.Zoom = 1.0f;
  ApplyWheel(v, 120);
  EXPECT_FLOAT_EQ(v.Zoom, 1.12f);
  ApplyWheel(v, -1000);
  EXPECT_FLOAT_EQ(v.Zoom, 0.001f);
}

TEST(Popup, VisibilityTable) {
  PopupState mesh;
  mesh.showAxes = true;
  mesh.attachmentCount = 0;
  PopupVisibility v = ComputePopup(mesh);
  EXPECT_TRUE(v.makeThumbnail && v.meshData && v.showAxes && v.units && v.showAttachments &&
              v.locateTexture);
  EXPECT_FALSE(v.bumpEffect || v.showBumpsOnly || v.attachmentSize || v.adjustTrack);

  PopupState car = mesh;
  car.trainCar = true;
  car.anyBumpLoaded = true;
  v = ComputePopup(car);
  EXPECT_TRUE(v.makeThumbnail && v.backgroundColour && v.bumpEffect && v.adjustTrack);
  EXPECT_FALSE(v.meshData || v.showAxes || v.units || v.showBumpsOnly || v.showAttachments ||
               v.locateTexture);

  PopupState points = mesh;
  points.showAttachments = true;
  points.attachmentCount = 3;
  v = ComputePopup(points);
  EXPECT_TRUE(v.attachmentSize && v.showAttachments);
  EXPECT_STRNE(v.showAttachmentsCaption, ComputePopup(mesh).showAttachmentsCaption);
  EXPECT_FALSE(v.makeThumbnail || v.locateTexture || v.units);

  PopupState noAxes = mesh;
  noAxes.showAxes = false;
  EXPECT_FALSE(ComputePopup(noAxes).units);
}

TEST(Commands, NumbersNamesAndGaugeTexts) {
  EXPECT_FLOAT_EQ(BumpStrengthFromSlider(0), 0.065f);
  EXPECT_FLOAT_EQ(BumpStrengthFromSlider(12), 0.265f);
  EXPECT_EQ(SliderFromBumpStrength(0.2f), 8);
  EXPECT_EQ(SliderFromBumpStrength(BumpStrengthFromSlider(17)), 17);
  EXPECT_EQ(FixedText(-125.0f), "-125.000");
  EXPECT_EQ(FixedText(1.5f), "1.500");
  EXPECT_EQ(FixedText(-0.0001f), "0.000");
  // Seven significant digits before the three decimals.
  EXPECT_EQ(FixedText(123456.789f), "123456.800");
  EXPECT_EQ(FixedText(1234.5678f), "1234.568");
  EXPECT_EQ(ThumbnailFileName("Loco.Front.JPG"), "loco.jpg");
  EXPECT_EQ(ThumbnailFileName("front"), "front.jpg");
  EXPECT_EQ(ThumbnailFileName("Views/Side.x"), "views/side.jpg");
  EXPECT_EQ(ThumbnailFileName(std::string(300, 'A')).size(), 255u + 4u);
  EXPECT_TRUE(IsMeshFileName("/a/B.PM"));
  EXPECT_FALSE(IsMeshFileName("/a.im/config.txt"));
  EXPECT_EQ(LowerExtension("x/Config.TXT"), ".txt");
  EXPECT_EQ(LowerExtension("a.b/noext"), "");
  EXPECT_EQ(LowerExtension("c:\\a\\.lm"), "");
  EXPECT_EQ(FeetInchesText(1435), "4ft - 8.5in");
  EXPECT_EQ(FeetInchesText(800), "2ft - 7.5in");
  EXPECT_EQ(MetricGauge(1067, 2).value, "106.7");
  EXPECT_EQ(MetricGauge(1067, 2).unit, "cm");
  EXPECT_EQ(MetricGauge(1067, 1).value, "1.067");
  EXPECT_EQ(MetricGauge(1067, 3).value, "1067");
  EXPECT_FLOAT_EQ(RailCentreGauge(kGaugeChoices[4].gauge), 1.485f);
}

// The texts a user reads, compared whole: captions, items and questions.
TEST(Texts, CaptionsItemsAndQuestionsExactly) {
  const struct {
    std::string shown, expected;
  } rows[] = {
      {MeshCaption("wagon.im"), "Mesh wagon.im     Rotate and zoom with the mouse please."},
      {TrainCarCaption("\"Class 7\""),
       "TrainCar \"Class 7\"     Rotate and zoom with the mouse please."},
      {TrainCarCaption(""), "TrainCar      Rotate and zoom with the mouse please."},
      // The units item names the unit it switches to, after four blanks.
      {UnitsCaption(true), "    Units feet"},
      {UnitsCaption(false), "    Units metres"},
      {ThumbnailQuestion("$screenshot$.jpg", "/trains/wagon"),
       "Do you wish to save this \"$screenshot$.jpg\" thumbnail?\n\n"
       "It will be written into the folder:\n/trains/wagon"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(row.shown, row.expected);
}

TEST(Window, FirstSizeIsTwoThirdsOfTheScreenUpTo1280By900) {
  const struct {
    int screenWidth, screenHeight;
    WindowSize expected;
  } rows[] = {
      {1280, 1024, {853, 682}},
      {1920, 1080, {1280, 720}},
      {3840, 2160, {1280, 900}},
      {1024, 768, {682, 512}},
      {0, 0, {0, 0}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FirstWindowSize(row.screenWidth, row.screenHeight), row.expected)
        << row.screenWidth << "x" << row.screenHeight;
  }
}

}  // namespace
}  // namespace kelvane
