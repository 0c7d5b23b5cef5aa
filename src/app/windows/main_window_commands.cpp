// The popup menu and the menu commands, thumbnails and the OpenWith set-up.
#include <QFileDialog>
#include <QImageWriter>
#include <algorithm>
#include <set>

#include "assets/openwith_setup.h"
#include "mesh/texture_inventory.h"
#include "shell/shell_rules.h"
#include "view/frame.h"
#include "windows/main_window.h"
#include "windows/main_window_parts.h"
#include "windows/textures_dialog.h"

namespace kelvane {

namespace fs = std::filesystem;

namespace {

// The colour the view shows for a stored value, grey for "no colour".
QColor ColourOf(std::int32_t value) {
  const ClearColour c = BackgroundColour(value);
  return QColor::fromRgbF(c.r, c.g, c.b);
}

// Objects without a texture have an empty name; the box says so.
QString TextureNameShown(const std::string& name) {
  return name.empty() ? QString("(no texture)") : QString::fromStdString(name);
}

}  // namespace

void MainWindow::PreparePopup() {
  PopupState s;
  s.showAttachments = frame.modes.ShowAttachments;
  s.bumpsOnly = frame.draw.BumpsOnly;
  s.locateTexture = frame.modes.LocateTextureMode;
  s.trainCar = session_.Kind() == ContentKind::kTraincar;
  s.texture = session_.Kind() == ContentKind::kTexture;
  s.anyBumpLoaded = Unit().AnyBumpLoaded;
  s.showAxes = settings.showAxes;
  s.attachmentCount = Unit().AttachmentCount;
  const PopupVisibility v = ComputePopup(s);
  makeThumbnailAction->setVisible(v.makeThumbnail);
  backgroundColourAction->setVisible(v.backgroundColour);
  meshDataAction->setVisible(v.meshData);
  showAxesAction->setVisible(v.showAxes);
  unitsAction->setVisible(v.units);
  bumpEffectAction->setVisible(v.bumpEffect);
  showBumpsOnlyAction->setVisible(v.showBumpsOnly);
  showAttachmentsAction->setVisible(v.showAttachments);
  showAttachmentsAction->setText(v.showAttachmentsCaption);
  attachmentSizeAction->setVisible(v.attachmentSize);
  locateTextureAction->setVisible(v.locateTexture);
  adjustTrackAction->setVisible(v.adjustTrack);
}

void MainWindow::ChooseBackgroundColour() {
  const auto chosen = interaction.chooseColour(ColourOf(settings.bgroundColour));
  if (!chosen) return;
  settings.bgroundColour = PickedBackground(chosen->red(), chosen->green(), chosen->blue());
  RequestFrame();
}

void MainWindow::MeshData() {
  const T3DModel* model = session_.CurrentModel();
  meshDataDialog->SetData(Unit().MeshBounds, model ? model->FaceCount() : 0,
                          model ? ModelBudget(*model, session_.TextureRecords()) : AssetBudget{});
  meshDataDialog->move(x() + (width() - meshDataDialog->width()) / 2,
                       y() + (height() - meshDataDialog->height()) / 2 + kDialogDrop);
  interaction.execDialog(*meshDataDialog);
  RequestFrame();
}

void MainWindow::ShowAxes() {
  settings.showAxes = !settings.showAxes;
  showAxesAction->setChecked(settings.showAxes);
  // The picture follows the check mark at once.
  RequestFrame();
}

void MainWindow::SwitchUnits() {
  settings.metric = !settings.metric;
  unitsAction->setText(UnitsCaption(settings.metric));
  RequestFrame();
}

void MainWindow::BumpEffect() {
  bumpPanel->show();
  bumpPanel->raise();
}

void MainWindow::BumpEffectChange(int position) {
  frame.draw.BumpStrength = BumpStrengthFromSlider(position);
  settings.bumpAlpha = frame.draw.BumpStrength;
  frame.draw.BumpEnabled = position > 0;
  RequestFrame();
}

void MainWindow::ShowBumpsOnly() {
  if (frame.draw.BumpsOnly) {
    frame.draw.BumpsOnly = false;
    showBumpsOnlyAction->setChecked(false);
    RequestFrame();
  } else if (Unit().AnyBumpLoaded) {
    if (frame.draw.bump.BumpSupported) {
      frame.draw.BumpsOnly = true;
      frame.modes.ShowAttachments = false;
      showAttachmentsAction->setChecked(false);
      showBumpsOnlyAction->setChecked(true);
      RequestFrame();
    } else {
      notifier_.ShowMessage(
          {.caption = "Info", .text = "Video card does not support OpenGL bump mapping"});
    }
  }
}

void MainWindow::LocateTexture() {
  frame.modes.LocateTextureMode = !frame.modes.LocateTextureMode;
  locateTextureAction->setChecked(frame.modes.LocateTextureMode);
  if (frame.modes.LocateTextureMode) {
    frame.modes.ShowAttachments = false;
    frame.draw.BumpsOnly = false;
    showAttachmentsAction->setChecked(false);
    showBumpsOnlyAction->setChecked(false);
    std::vector<std::string> names;
    if (session_.CurrentModel()) session_.CurrentModel()->ListTextureNames(names);
    const std::set<std::string> sorted(names.begin(), names.end());
    textureNames.assign(sorted.begin(), sorted.end());
    textureIndex = 0;
    frame.draw.HighlightTextureName = textureNames.empty() ? std::string() : textureNames.front();
    nameBox->setText(TextureNameShown(frame.draw.HighlightTextureName));
  }
  FormResize();
}

void MainWindow::Textures() {
  TexturesDialog dialog(
      this, InventoryOfMeshes(session_.MeshFiles(), session_.Kind() == ContentKind::kTraincar));
  dialog.onSelected = [this](const std::string& name) {
    if (!frame.modes.LocateTextureMode) LocateTexture();
    frame.draw.HighlightTextureName = name;
    nameBox->setText(TextureNameShown(name));
    RequestFrame();
  };
  dialog.chooseExportFile = [this](const fs::path& suggested) -> fs::path {
    return interaction.chooseSaveFile("Export PNG", suggested, "PNG pictures (*.png)")
        .value_or(fs::path());
  };
  interaction.execDialog(dialog);
}

void MainWindow::ShowAttachment(int index) {
  if (index < 0 || index >= Unit().AttachmentCount ||
      static_cast<std::size_t>(index) >= Unit().AttachmentTable.size())
    return;
  const TAttachPoint& p = Unit().AttachmentTable[static_cast<std::size_t>(index)];
  auto three = [](const TVector3& v) {
    return FixedText(v.x) + ", " + FixedText(v.y) + ", " + FixedText(v.z);
  };
  nameBox->setText(QString::fromStdString(p.name));
  positionBox->setText(QString::fromStdString("Posn: " + three(p.position)));
  rotationBox->setText(QString::fromStdString("Rotn: " + three(p.rotation)));
}

void MainWindow::ShowAttachments() {
  frame.modes.AttIndex = 0;
  stepper->SetPosition(0);
  frame.modes.ShowAttachments = !frame.modes.ShowAttachments;
  showAttachmentsAction->setChecked(frame.modes.ShowAttachments);
  if (Unit().AttachmentCount > 0) {
    frame.draw.BumpsOnly = false;
    showBumpsOnlyAction->setChecked(false);
    frame.modes.LocateTextureMode = false;
    locateTextureAction->setChecked(false);
    if (frame.modes.ShowAttachments) {
      frame.view.Zoom = FramingZoom(Unit(), true);
    } else {
      sizeMode = false;
      attachmentSizeAction->setChecked(false);
    }
    FormResize();
    ShowAttachment(0);
  }
  RequestFrame();
}

void MainWindow::AttachmentSize() {
  sizeMode = !sizeMode;
  attachmentSizeAction->setChecked(sizeMode);
  if (sizeMode) {
    nameBox->setFixedWidth(kMarkerSizeWidth);
    nameBox->setText(QString::number(settings.attSize));
    positionBox->hide();
    rotationBox->hide();
  } else {
    nameBox->setFixedWidth(kPointNameWidthAfterSize);
    ShowAttachment(frame.modes.AttIndex);
    positionBox->show();
    rotationBox->show();
  }
  PlaceAttachmentBoxes();
  RequestFrame();
}

void MainWindow::StepAttachment(bool up) {
  if (sizeMode) {
    settings.attSize = std::clamp(settings.attSize + (up ? 1 : -1), kMinMarkerSize, kMaxMarkerSize);
    nameBox->setText(QString::number(settings.attSize));
  } else if (frame.modes.LocateTextureMode) {
    if (!textureNames.empty()) {
      textureIndex =
          std::clamp(textureIndex + (up ? 1 : -1), 0, static_cast<int>(textureNames.size()) - 1);
      frame.draw.HighlightTextureName = textureNames[static_cast<std::size_t>(textureIndex)];
      nameBox->setText(TextureNameShown(frame.draw.HighlightTextureName));
    }
  } else if (Unit().AttachmentCount > 0) {
    frame.modes.AttIndex =
        std::clamp(frame.modes.AttIndex + (up ? 1 : -1), 0, Unit().AttachmentCount - 1);
    ShowAttachment(frame.modes.AttIndex);
  }
  RequestFrame();
}

void MainWindow::AdjustTrack() {
  adjustTrackDialog->move(x() + (width() - adjustTrackDialog->width()) / 2,
                          y() + (height() - adjustTrackDialog->height()) / 2);
  adjustTrackDialog->Prepare(
      {settings.gaugeIndex, settings.unitsIndex, settings.tieSpacing, settings.gauge});
  interaction.execDialog(*adjustTrackDialog);
  const TrackValues out = adjustTrackDialog->Result();
  settings.gaugeIndex = out.gaugeIndex;
  settings.unitsIndex = out.unitsIndex;
  settings.tieSpacing = out.tieSpacing;
  settings.gauge = out.gauge;
  RequestFrame();
}

void MainWindow::ThumbnailName() {
  thumbnailNameDialog->move(x() + (width() - thumbnailNameDialog->width()) / 2,
                            y() + (height() - thumbnailNameDialog->height()) / 2);
  thumbnailNameDialog->SetName(settings.thumbnail);
  interaction.execDialog(*thumbnailNameDialog);
  settings.thumbnail = thumbnailNameDialog->Name();
}

void MainWindow::Help() {
  const fs::path candidates[] = {exeFolder / "help" / "kelvane.html",
                                 options_.installedDataFolder / "help" / "kelvane.html"};
  for (const fs::path& page : candidates) {
    if (FileExists(page)) {
      if (!interaction.openUrl(QUrl::fromLocalFile(QString::fromStdString(page.string())))) {
        notifier_.ShowMessage({.caption = "Info",
                               .text = "No program of this desktop opens the help page " +
                                       page.string() + ". Open it in a web browser."});
      }
      return;
    }
  }
}

void MainWindow::About() {
  aboutBox->move(x() + (width() - aboutBox->width()) / 2,
                 y() + (height() - aboutBox->height()) / 2 + kDialogDrop);
  interaction.execDialog(*aboutBox);
  RequestFrame();
}

void MainWindow::MakeThumbnail() {
  thumbnailTimer.start();
  burstEndTimer.setInterval(kThumbnailBurst);
  RequestFrame();
}

void MainWindow::TakeThumbnail() {
  thumbnailTimer.stop();
  // The view drawn at the size of the thumbnail panel, off screen.
  thumbnail_ = glView->RenderOffscreen(kThumbnailSize.width(), kThumbnailSize.height());
  // The picture stays in the view's corner while the question is open.
  thumbnailImage->setPixmap(QPixmap::fromImage(thumbnail_));
  thumbnailImage->setEnabled(true);
  thumbnailImage->show();
  thumbnailImage->raise();
  const std::string& name = settings.thumbnail;
  const fs::path folder = session_.OpenedPath().parent_path();
  if (notifier_.AskYesNo(
          {.caption = "Confirm", .text = ThumbnailQuestion(name, folder.string())})) {
    const fs::path target = folder / name;
    QImageWriter writer(QString::fromStdString(target.string()), "jpeg");
    writer.setQuality(kThumbnailQuality);
    if (thumbnail_.isNull() || !writer.write(thumbnail_)) {
      notifier_.ShowMessage(
          {.caption = "Error",
           .text = "Cannot create file \"" + target.string() + "\". " +
                   (thumbnail_.isNull() ? std::string("The view could not be drawn.")
                                        : writer.errorString().toStdString())});
    } else {
      ShowStatus("Thumbnail written: " + QString::fromStdString(target.string()));
    }
  }
  thumbnailImage->setEnabled(false);
  thumbnailImage->hide();
  burstEndTimer.setInterval(kRenderBurst);
  RequestFrame();
}

OpenWithEnvironment MainWindow::OpenWithEnv() {
  OpenWithEnvironment env;
  env.executable = options_.executable;
  env.browseFolder = [this](const std::string& caption, const fs::path& start) {
    SyncLog(&setUpLog_);
    return interaction.browseFolder(OneLine(caption), start);
  };
  env.pause = [this](std::chrono::milliseconds ms) {
    SyncLog(&setUpLog_);
    interaction.pause(ms);
  };
  return env;
}

void MainWindow::RunHostSetUp() {
  hostSetUpTimer.stop();
  if (composing_) {
    // The set-up shares the log with the lookup: it waits for its end.
    hostSetUpTimer.start();
    return;
  }
  HostFolderSettings folders = HostFolders(settings);
  try {
    SetOpenWith(folders, setUpLog_, OpenWithEnv());
  } catch (const std::exception& error) {
    notifier_.ShowMessage({.caption = "Error", .text = error.what()});
  }
  StoreHostFolders(settings, folders);
  SyncLog(&setUpLog_);
}

void MainWindow::SetUpOpenWith() {
  if (RefuseWhileBusy()) return;
  HostFolderSettings folders = HostFolders(settings);
  try {
    kelvane::OpenWith1Click(folders, setUpLog_, OpenWithEnv());
  } catch (const std::exception& error) {
    notifier_.ShowMessage({.caption = "Error", .text = error.what()});
  }
  StoreHostFolders(settings, folders);
  SyncLog(&setUpLog_);
}

}  // namespace kelvane
