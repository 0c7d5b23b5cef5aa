#pragma once

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "assets/openwith_setup.h"
#include "assets/progress_log.h"
#include "core_frame_renderer.h"
#include "mesh/model.h"
#include "platform/dos_command.h"
#include "platform/notices.h"
#include "session/content_session.h"
#include "settings/viewer_settings.h"
#include "textures/texture_loader.h"
#include "view/frame.h"
#include "windows/about_box.h"
#include "windows/adjust_track_dialog.h"
#include "windows/file_watcher.h"
#include "windows/mesh_data_dialog.h"
#include "windows/recent_files.h"
#include "windows/thumbnail_name_dialog.h"
#include "windows/up_down.h"
#include "windows/view_texture_uploader.h"
#include "windows/view_widget.h"
#include "windows/window_interaction.h"

namespace kelvane {

// The main window: menus, the view with its popup, the attachment and
// texture boxes, the four one-shot timers, and the viewer's state.
class MainWindow final : public QMainWindow {
  Q_OBJECT

 public:
  MainWindow(WindowOptions options, Notifier& notifier);
  ~MainWindow() override;

  // Commands, by the names of their menu items.
  void OpenFile();
  void ReopenLast();
  void MakeThumbnail();
  void ChooseBackgroundColour();
  void MeshData();
  void ShowAxes();
  void SwitchUnits();
  void BumpEffect();
  void ShowBumpsOnly();
  void ShowAttachments();
  void AttachmentSize();
  void LocateTexture();
  void Textures();
  void ReloadOnChange();
  void AdjustTrack();
  void ThumbnailName();
  void SetUpOpenWith();
  // File > "Export glTF...": what is open, for other programs.
  void ExportGltf();
  void Help();
  void About();
  void StepAttachment(bool up);
  // Refreshes the popup items' visibility and captions.
  void PreparePopup();
  // Opens a dropped or named file or folder as File > Open would.
  void OpenPath(const std::filesystem::path& path);
  // A File menu entry of the recent-files list.
  void OpenRecent(const std::string& file);

  const ContentSession& Session() const { return session_; }
  const T3DModel* CurrentModel() const { return session_.CurrentModel(); }
  // The open content's model unit; an empty one when nothing is open.
  const MeshUnitState& Unit() const;
  bool Loaded() const { return session_.Loaded(); }
  // Asks for frames until the burst ends.
  void RequestFrame();

  // What the window shows and keeps, read-only.
  const FrameState& Frame() const { return frame; }
  const ViewerSettings& Settings() const { return settings; }
  const std::string& CurrentFile() const { return currentFile; }
  const RecentFiles& Recent() const { return recentFiles; }
  const std::vector<std::string>& TextureNames() const { return textureNames; }
  OpenFilter Filter() const { return openFilter; }
  // The window's controls, timers and dialogs, by their roles.
  struct Controls {
    QFrame* viewPanel;
    ViewWidget* glView;
    QLabel* thumbnailImage;
    QPlainTextEdit* logBox;
    QFrame* bumpPanel;
    QSlider* bumpSlider;
    UpDown* stepper;
    QLineEdit *nameBox, *positionBox, *rotationBox;
    QLabel* statusLine;
    QMenu* popupMenu;
    QAction *openAction, *reopenAction, *exportAction, *exitAction;
    QAction *thumbnailNameAction, *texturesAction, *reloadOnChangeAction;
    QAction *openWithAction, *helpAction, *aboutAction;
    RecentFilesMenu* recentMenu;
    QAction *makeThumbnailAction, *backgroundColourAction, *meshDataAction, *showAxesAction;
    QAction *unitsAction, *bumpEffectAction, *showBumpsOnlyAction, *showAttachmentsAction;
    QAction *attachmentSizeAction, *locateTextureAction, *adjustTrackAction;
    const QTimer *thumbnailTimer, *mouseArmTimer, *burstEndTimer, *hostSetUpTimer;
    AboutBox* aboutBox;
  };
  Controls Ui() const;
  // How the window asks the user: dialogs, pickers and the help browser.
  WindowInteraction& Interaction() { return interaction; }

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
  // What the view shows is the frame state; what is open is the session's.
  FrameState frame;
  ViewerSettings settings;
  std::string currentFile;
  RecentFiles recentFiles;
  std::filesystem::path exeFolder;
  bool sizeMode = false;
  std::vector<std::string> textureNames;
  int textureIndex = 0;
  OpenFilter openFilter = OpenFilter::kMeshes;

  WindowInteraction interaction;

  // Controls, by their roles.
  QFrame* viewPanel = nullptr;
  ViewWidget* glView = nullptr;
  QLabel* thumbnailImage = nullptr;
  QPlainTextEdit* logBox = nullptr;
  QFrame* bumpPanel = nullptr;
  QSlider* bumpSlider = nullptr;
  QToolButton* bumpPanelClose = nullptr;
  UpDown* stepper = nullptr;
  QLineEdit* nameBox = nullptr;
  QLineEdit* positionBox = nullptr;
  QLineEdit* rotationBox = nullptr;
  QLabel* statusLine = nullptr;
  QMenu* popupMenu = nullptr;
  // The menu bar's items.
  QAction *openAction = nullptr, *reopenAction = nullptr, *exitAction = nullptr;
  QAction* exportAction = nullptr;
  QAction *thumbnailNameAction = nullptr, *texturesAction = nullptr,
          *reloadOnChangeAction = nullptr;
  QAction *openWithAction = nullptr, *helpAction = nullptr, *aboutAction = nullptr;
  RecentFilesMenu* recentMenu = nullptr;
  // The popup's items.
  QAction *makeThumbnailAction = nullptr, *backgroundColourAction = nullptr;
  QAction *meshDataAction = nullptr, *showAxesAction = nullptr, *unitsAction = nullptr;
  QAction *bumpEffectAction = nullptr, *showBumpsOnlyAction = nullptr;
  QAction *showAttachmentsAction = nullptr, *attachmentSizeAction = nullptr;
  QAction *locateTextureAction = nullptr, *adjustTrackAction = nullptr;

  // One-shot timers. Make Thumbnail takes its picture once the view has
  // drawn a while; dragging is armed a moment after a load; a render burst
  // ends when no input came for a while; the first start's OpenWith set-up
  // runs once the window is up.
  QTimer thumbnailTimer, mouseArmTimer, burstEndTimer, hostSetUpTimer;

  std::unique_ptr<MeshDataDialog> meshDataDialog;
  std::unique_ptr<AboutBox> aboutBox;
  std::unique_ptr<AdjustTrackDialog> adjustTrackDialog;
  std::unique_ptr<ThumbnailNameDialog> thumbnailNameDialog;

  void BuildMenus();
  void BuildControls();
  void FormShow();
  bool OpenFromCommandLine();
  void FormClose();
  void FormResize();
  SessionOptions SessionSetUp();
  void OpenContent(const std::filesystem::path& path);
  void ShowOpened(const OpenOutcome& outcome);
  // The title: the mesh's name or the car's.
  void ShowCaption();
  void ShowReopenItem(const std::string& file);
  void FrameDrawn();
  // The timers' ends, in the order above.
  void TakeThumbnail();
  void ArmMouse();
  void EndRenderBurst();
  void RunHostSetUp();
  void BumpEffectChange(int position);
  void ShowAttachment(int index);
  // Shows the log's lines, and the box while they need the user's eye.
  void SyncLog(const ProgressLog* log);
  void UpdateStatus();
  // Ctrl+click: the surface point under `position` (the nearest vertex with
  // `snap`) becomes a measured point; Escape clears them.
  void MeasureAt(QPointF position, bool snap);
  void ClearMeasurement();
  // The view's popup, opened from the keyboard at the view's centre.
  void ShowPopupFromKeys();
  // The status line's text, whole in its tooltip.
  void ShowStatus(const QString& text);
  bool RefuseWhileBusy();
  void SetBusy(bool busy);
  void SetCaption(const std::string& caption);
  void PlaceAttachmentBoxes();
  // The settings and the content the next frame shows.
  void FillFrame();
  // Reading what is open again when its files change.
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

  FileWatcher* watcher_ = nullptr;
  // The host folders' set-up writes its own lines.
  ProgressLog setUpLog_;
  ContentSession session_{SessionSetUp()};
  CoreFrameRenderer renderer_{frame, [this] { FillFrame(); }};
  std::unique_ptr<ViewWidget> detachedView_;  // the view, kept out of the window
  QWidget* viewArea_ = nullptr;               // glView, or a bare area without OpenGL
};

}  // namespace kelvane
