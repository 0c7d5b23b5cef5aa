#pragma once

#include <QAction>
#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "assets/progress_log.h"
#include "assets/traincar.h"
#include "core_frame_renderer.h"
#include "mesh/model.h"
#include "platform/dos_command.h"
#include "platform/notices.h"
#include "settings/viewer_settings.h"
#include "textures/texture_loader.h"
#include "textures/texture_upload.h"
#include "view/frame.h"
#include "windows/about_box.h"
#include "windows/adjust_track_dialog.h"
#include "windows/file_watcher.h"
#include "windows/mesh_data_dialog.h"
#include "windows/recent_files.h"
#include "windows/thumbnail_name_dialog.h"
#include "windows/up_down.h"
#include "windows/view_widget.h"

class QDialog;

namespace kelvane {

// How the window reaches the user beyond message boxes. The defaults show
// the real dialogs; tests answer them instead.
struct WindowInteraction {
  // File > Open: the chosen file, given the start folder and the filter
  // index (1 meshes, 2 traincars); nothing when cancelled.
  std::function<std::optional<std::filesystem::path>(const QString& folder, int filterIndex)>
      chooseFile;
  std::function<std::optional<QColor>(const QColor& preset)> chooseColour;
  // Shows a dialog modally and returns its result.
  std::function<int(QDialog& dialog)> execDialog;
  std::function<std::optional<std::filesystem::path>(const std::string& caption)> browseFolder;
  std::function<void(std::chrono::milliseconds)> pause;
  std::function<bool(const QUrl& url)> openUrl;

  static WindowInteraction Real(QWidget* owner);
};

struct WindowOptions {
  std::filesystem::path settingsFile;
  std::vector<std::string> arguments;  // command-line files, as given
  std::filesystem::path exeFolder;
  std::filesystem::path executable;
  std::filesystem::path installedDataFolder;
};

// Uploads into the view's context; without one (no pixel format could be
// set) the images are still decoded and named, and no GL call is made.
class ViewTextureUploader final : public TextureUploader {
 public:
  ViewTextureUploader(TextureLoaderState& state, std::function<bool()> contextReady)
      : gl_(state), decoded_(state), contextReady_(std::move(contextReady)) {}
  std::uint32_t Upload(const PixelBuffer& pixels) override {
    return contextReady_() ? gl_.Upload(pixels) : decoded_.Upload(pixels);
  }
  void Delete(std::span<const std::uint32_t> names) override {
    if (contextReady_()) {
      gl_.Delete(names);
    } else {
      decoded_.Delete(names);
    }
  }

 private:
  GlTextureUploader gl_;
  DecodeOnlyUploader decoded_;
  std::function<bool()> contextReady_;
};

// The main window: menus, the view with its popup, the attachment and
// texture boxes, the four one-shot timers, and the viewer's state.
class TForm1 final : public QMainWindow {
  Q_OBJECT

 public:
  TForm1(WindowOptions options, Notifier& notifier);
  ~TForm1() override;

  // Commands, by the names of their menu items.
  void Open1Click();
  void Open2Click();
  void MakeThumbnail1Click();
  void BGroundColour1Click();
  void MeshData1Click();
  void ShowAxes1Click();
  void Units1Click();
  void BumpEffect1Click();
  void ShowBumpsOnly1Click();
  void ShowAttachments1Click();
  void AttachmentSize1Click();
  void LocateTexture1Click();
  void Textures1Click();
  void ReloadOnChange1Click();
  void AdjustTrack1Click();
  void ThumbnailName1Click();
  void OpenWith1Click();
  void Help1Click();
  void About1Click();
  void UpDown1Click(bool up);
  // Refreshes the popup items' visibility and captions.
  void PopupMenu1Popup();
  // Opens a dropped or named file or folder as File > Open would.
  void OpenPath(const std::filesystem::path& path);
  // A File menu entry of the recent-files list.
  void OpenRecent(const std::string& file);

  // State, readable by tests. What the view shows is the frame state; the
  // window's names for its parts refer into it.
  FrameState frame;
  ViewState& view = frame.view;
  ViewerSettings settings;
  MeshUnitState unit;
  TraincarState train;
  std::string CurrentFile;
  RecentFiles RecentList;
  std::filesystem::path ExeFolder;
  bool& ShowAttachments = frame.modes.ShowAttachments;
  bool SizeMode = false;
  bool& BumpsOnly = frame.draw.BumpsOnly;
  bool& BumpEnabled = frame.draw.BumpEnabled;
  bool& BumpSupported = frame.draw.bump.BumpSupported;
  bool& LocateTextureMode = frame.modes.LocateTextureMode;
  float& BumpStrength = frame.draw.BumpStrength;
  std::int32_t& AttIndex = frame.modes.AttIndex;
  std::vector<std::string> TextureNames;
  int TextureIndex = 0;
  std::string& HighlightTextureName = frame.draw.HighlightTextureName;
  int OpenDialogFilterIndex = 1;
  T3DModel* CurrentModel() const { return currentModel_; }

  WindowInteraction interaction;

  // Widgets, by their names.
  QFrame* Panel1 = nullptr;
  ViewWidget* GLView = nullptr;
  QLabel* Image1 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QFrame* Panel2 = nullptr;
  QSlider* BumpEffect = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  UpDown* UpDown1 = nullptr;
  QLineEdit* AttName = nullptr;
  QLineEdit* AttPosn = nullptr;
  QLineEdit* AttRotn = nullptr;
  QLabel* StatusLine = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction *Textures1 = nullptr, *ReloadOnChange1 = nullptr;
  QAction *Open1 = nullptr, *Open2 = nullptr, *Exit1 = nullptr, *ThumbnailName1 = nullptr,
          *OpenWith1 = nullptr, *Help1 = nullptr, *About1 = nullptr;
  QAction *MakeThumbnail1 = nullptr, *BGroundColour1 = nullptr, *MeshData1 = nullptr,
          *ShowAxes1 = nullptr, *Units1 = nullptr, *BumpEffect1 = nullptr,
          *ShowBumpsOnly1 = nullptr, *ShowAttachments1 = nullptr, *AttachmentSize1 = nullptr,
          *LocateTexture1 = nullptr, *AdjustTrack1 = nullptr;
  RecentFilesMenu* RecentMenu = nullptr;
  QTimer Timer1, Timer2, Timer3, Timer4;

  std::unique_ptr<TForm2> Form2;
  std::unique_ptr<TAboutBox> AboutBox;
  std::unique_ptr<TForm4> Form4;
  std::unique_ptr<TForm5> Form5;

  // The settings could not be read; they will not be written back.
  bool SettingsUnreadable() const { return ini_.status() == TMemIni::ReadStatus::Unreadable; }
  // The last thumbnail picture taken.
  const QImage& LastThumbnail() const { return thumbnail_; }
  // A traincar is being composed; commands that would replace or free what
  // it works on wait.
  bool Busy() const { return composing_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildMenus();
  void BuildControls();
  void FormShow();
  bool OpenFromCommandLine();
  void FormClose();
  void FormResize();
  void ViewMesh();
  void AfterLoad(bool firstOfView);
  void RunConfigOpen();
  void DispatchByExtension(const std::string& file);
  void NewScene();
  void SetOpen2(const std::string& file);
  void RequestFrame();
  void FrameDrawn();
  void Timer1Timer();
  void Timer4Timer();
  void BumpEffectChange(int position);
  void ShowAttachment(int index);
  void SyncMemo();
  void LoadTrackTextures();
  void DeleteTrackTextures();
  void UpdateStatus();
  bool RefuseWhileBusy();
  void SetBusy(bool busy);
  void SetCaption(const std::string& caption);
  void PlaceAttachmentBoxes();
  // The settings and the content the next frame shows.
  void FillFrame();
  // Reading the open model again when its files change (model_reload.cpp).
  std::vector<std::filesystem::path> LoadedMeshFiles() const;
  void WatchLoadedFiles();
  void ReloadFromDisk();
  OpenWithEnvironment OpenWithEnv();

  WindowOptions options_;
  Notifier& notifier_;
  TMemIni ini_;
  bool shown_ = false;
  bool closed_ = false;
  bool composing_ = false;
  bool closeRequested_ = false;
  QImage thumbnail_;

  TextureLoaderState textureState_;
  ViewTextureUploader uploader_{textureState_, [this] { return GLView->ContextReady(); }};
  TextureLoader loader_{textureState_, notifier_, uploader_};
  // A reload shows no message boxes; what it would say goes to the status.
  RecordingNotifier reloadNotices_;
  TextureLoader reloadLoader_{textureState_, reloadNotices_, uploader_};
  FileWatcher* watcher_ = nullptr;
  LoadContext load_{unit, notifier_};
  MainTaskQueue mainThread_;
  TDosCommand runner_{notifier_, mainThread_.Dispatcher()};
  CoreFrameRenderer renderer_{frame, [this] { FillFrame(); }};
  std::unique_ptr<ViewWidget> detachedView_;  // the view, kept out of the window
  QWidget* viewArea_ = nullptr;               // GLView, or a bare area without OpenGL
  std::unique_ptr<T3DScene> scene_;
  T3DModel* currentModel_ = nullptr;
  std::uint32_t& ballastTexture_ = frame.track.BallastTexture;
  std::uint32_t& groundTexture_ = frame.track.GroundTexture;
  bool& ballastLoaded_ = frame.track.BallastLoaded;
  bool& groundLoaded_ = frame.track.GroundLoaded;
};

}  // namespace kelvane
