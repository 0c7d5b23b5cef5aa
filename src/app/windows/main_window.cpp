// The main window: its controls and menus, start-up and shutdown, the
// render loop and the status line.
#include "windows/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QMenuBar>
#include <QOpenGLContext>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app_icon.h"
#include "assets/openwith_setup.h"
#include "base/text.h"
#include "export/gltf_export.h"
#include "export_dialog.h"
#include "platform/content_path.h"
#include "shell/shell_rules.h"
#include "windows/main_window_parts.h"

namespace kelvane {

namespace fs = std::filesystem;

namespace {

// A window whose corner lies on no screen (a file from another desktop, a
// screen since removed) is centred on the primary screen instead.
QRect OnSomeScreen(QRect client) {
  const QPoint corner = client.topLeft() + QPoint(8, 8);
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen->availableGeometry().contains(corner)) return client;
  }
  if (const QScreen* primary = QGuiApplication::primaryScreen()) {
    const QRect area = primary->availableGeometry();
    client.moveCenter(area.center());
    client.moveTopLeft(
        QPoint(std::max(client.left(), area.left()), std::max(client.top(), area.top())));
  }
  return client;
}

// With no Wine prefix there is no simulator installation on this host to
// ask for at first start.
bool WineHostPresent() {
  const WinePrefix wine = WinePrefix::FromEnvironment();
  if (FolderExists(wine.folder)) return true;
  for (HostVersion version : kHostVersions) {
    if (!DefaultHostFolder(wine, version).empty()) return true;
  }
  return false;
}

}  // namespace

bool FileExists(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

bool FolderExists(const fs::path& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

std::string OneLine(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += (text[i] == '\r' || text[i] == '\n') ? ' ' : text[i];
  }
  return out;
}

fs::path ConfigFileIn(const fs::path& folder) {
  if (auto found = FindContentFile(folder, "config.txt")) return *found;
  return folder / "config.txt";
}

WindowInteraction WindowInteraction::Real(QWidget* owner) {
  WindowInteraction i;
  i.chooseFile = [owner](const QString& folder, OpenFilter filter) -> std::optional<fs::path> {
    const QString meshes = "Velmora Mesh (*.im *.pm)";
    const QString traincars = "Traincar (config.txt)";
    const QString textures = "Texture (*.texture *.tga *.bmp *.jpg *.jpeg)";
    QString selected = filter == OpenFilter::kTraincars ? traincars : meshes;
    const QString file = QFileDialog::getOpenFileName(
        owner, "Open", folder, meshes + ";;" + traincars + ";;" + textures, &selected);
    if (file.isEmpty()) return std::nullopt;
    return fs::path(file.toStdString());
  };
  i.chooseColour = [owner](const QColor& preset) -> std::optional<QColor> {
    const QColor c = QColorDialog::getColor(preset, owner);
    if (!c.isValid()) return std::nullopt;
    return c;
  };
  i.chooseSaveFile = [owner](const QString& caption, const fs::path& suggested,
                             const QString& filter) -> std::optional<fs::path> {
    const QString file = QFileDialog::getSaveFileName(
        owner, caption, QString::fromStdString(suggested.string()), filter);
    if (file.isEmpty()) return std::nullopt;
    return fs::path(file.toStdString());
  };
  i.execDialog = [](QDialog& dialog) { return dialog.exec(); };
  i.browseFolder = [owner](const std::string& caption,
                           const fs::path& start) -> std::optional<fs::path> {
    const QString folder = QFileDialog::getExistingDirectory(
        owner, QString::fromStdString(caption), QString::fromStdString(start.string()));
    if (folder.isEmpty()) return std::nullopt;
    return fs::path(folder.toStdString());
  };
  i.pause = [](std::chrono::milliseconds ms) {
    // The window keeps painting while the log is read.
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(ms.count()), &loop, &QEventLoop::quit);
    loop.exec();
  };
  i.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  return i;
}

MainWindow::MainWindow(WindowOptions options, Notifier& notifier)
    : options_(std::move(options)), notifier_(notifier) {
  setObjectName("MainWindow");
  setWindowIcon(AppIcon());
  interaction = WindowInteraction::Real(this);
  watcher_ = new FileWatcher(this);
  connect(watcher_, &FileWatcher::changed, this, [this] { ReloadFromDisk(); });
  BuildControls();
  BuildMenus();
  setAcceptDrops(true);
  qApp->installEventFilter(this);

  for (QTimer* t : {&thumbnailTimer, &mouseArmTimer, &burstEndTimer, &hostSetUpTimer})
    t->setSingleShot(true);
  thumbnailTimer.setInterval(kThumbnailDelay);
  mouseArmTimer.setInterval(kMouseArmDelay);
  burstEndTimer.setInterval(kRenderBurst);
  hostSetUpTimer.setInterval(kHostSetUpDelay);
  connect(&thumbnailTimer, &QTimer::timeout, this, [this] { TakeThumbnail(); });
  connect(&mouseArmTimer, &QTimer::timeout, this, [this] { ArmMouse(); });
  connect(&burstEndTimer, &QTimer::timeout, this, [this] { EndRenderBurst(); });
  connect(&hostSetUpTimer, &QTimer::timeout, this, [this] { RunHostSetUp(); });

  // The dialogs, in the order the program makes its windows.
  meshDataDialog = std::make_unique<MeshDataDialog>(this);
  aboutBox = std::make_unique<AboutBox>(this);
  adjustTrackDialog = std::make_unique<AdjustTrackDialog>(this, notifier_);
  thumbnailNameDialog = std::make_unique<ThumbnailNameDialog>(this);
}

MainWindow::~MainWindow() {
  if (!closed_) FormClose();
}

void MainWindow::BuildControls() {
  auto* client = new QWidget(this);
  setCentralWidget(client);
  viewPanel = new QFrame(client);
  viewPanel->setObjectName("viewPanel");
  viewPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  viewPanel->setLineWidth(2);
  viewPanel->setGeometry(8, 8, 633, 433);
  auto* panelLayout = new QVBoxLayout(viewPanel);
  panelLayout->setContentsMargins(2, 2, 2, 2);
  if (QOpenGLContext probe; probe.create()) {
    glView = new ViewWidget(viewPanel);
    viewArea_ = glView;
  } else {
    // Without OpenGL a GL view in the window would have the whole window
    // composed through OpenGL as well; it stays out, and the panel takes the
    // mouse without drawing.
    detachedView_ = std::make_unique<ViewWidget>(nullptr);
    glView = detachedView_.get();
    viewArea_ = new QWidget(viewPanel);
    viewArea_->setFocusPolicy(Qt::ClickFocus);
  }
  glView->setObjectName("glView");
  panelLayout->addWidget(viewArea_);
  glView->SetRenderer(&renderer_);
  glView->wantFrame = [this] { return session_.Loaded() && frame.view.RedrawPending; };
  glView->frameDrawn = [this] { FrameDrawn(); };
  viewArea_->setMouseTracking(true);
  viewArea_->installEventFilter(this);
  viewArea_->setContextMenuPolicy(Qt::NoContextMenu);

  thumbnailImage = new QLabel(viewPanel);
  thumbnailImage->setGeometry(QRect(QPoint(0, 0), kThumbnailSize));
  thumbnailImage->setEnabled(false);
  thumbnailImage->hide();
  logBox = new QPlainTextEdit(viewPanel);
  logBox->setObjectName("logBox");
  logBox->setReadOnly(true);
  // The keys, the Menu key included, stay with the view and the window.
  logBox->setFocusPolicy(Qt::NoFocus);
  logBox->setGeometry(8, 8, 420, 300);
  logBox->hide();

  bumpPanel = new QFrame(viewPanel);
  bumpPanel->setObjectName("bumpPanel");
  bumpPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  bumpPanel->setGeometry(8, 8, 220, 56);
  bumpPanel->setAutoFillBackground(true);
  auto* bumpLabel = new QLabel("Bump Effect", bumpPanel);
  bumpLabel->setGeometry(6, 4, 120, 18);
  bumpSlider = new QSlider(Qt::Horizontal, bumpPanel);
  bumpSlider->setObjectName("bumpSlider");
  bumpSlider->setRange(0, kBumpSliderMax);
  bumpSlider->setValue(kBumpSliderMax / 2);
  bumpSlider->setGeometry(6, 26, 180, 22);
  bumpPanelClose = new QToolButton(bumpPanel);
  bumpPanelClose->setText("X");
  bumpPanelClose->setGeometry(192, 4, 22, 22);
  bumpPanel->hide();
  connect(bumpSlider, &QSlider::valueChanged, this, [this](int p) { BumpEffectChange(p); });
  connect(bumpPanelClose, &QToolButton::clicked, bumpPanel, &QWidget::hide);

  stepper = new UpDown(client);
  stepper->setObjectName("stepper");
  stepper->hide();
  connect(stepper, &UpDown::clicked, this, [this](bool up) { StepAttachment(up); });
  nameBox = new QLineEdit(client);
  positionBox = new QLineEdit(client);
  rotationBox = new QLineEdit(client);
  // Read-only displays: the keys stay with the view.
  for (QLineEdit* e : {nameBox, positionBox, rotationBox}) {
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    e->hide();
  }
  nameBox->setObjectName("nameBox");
  positionBox->setObjectName("positionBox");
  rotationBox->setObjectName("rotationBox");
  positionBox->setFixedWidth(kPointVectorWidth);
  rotationBox->setFixedWidth(kPointVectorWidth);

  statusLine = new QLabel(this);
  // A long message is cut at the window's edge rather than widening the
  // window; its tooltip holds it whole.
  statusLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  statusLine->setMinimumWidth(1);
  statusBar()->addWidget(statusLine, 1);
  ShowStatus("Nothing loaded");
}

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  openAction = file->addAction("Open", this, [this] { OpenFile(); });
  reopenAction = file->addAction("  ", this, [this] { ReopenLast(); });
  exportAction = file->addAction("Export glTF...", this, [this] { ExportGltf(); });
  exitAction = file->addAction("Exit", this, [this] { close(); });
  openAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  recentMenu =
      new RecentFilesMenu(file, exitAction, [this](const std::string& f) { OpenRecent(f); });
  QMenu* opts = menuBar()->addMenu("&Options");
  thumbnailNameAction = opts->addAction("Thumbnail Name", this, [this] { ThumbnailName(); });
  texturesAction = opts->addAction("Textures", this, [this] { Textures(); });
  reloadOnChangeAction =
      opts->addAction("Reload When Files Change", this, [this] { ReloadOnChange(); });
  reloadOnChangeAction->setCheckable(true);
  QMenu* setup = menuBar()->addMenu("&Setup");
  openWithAction = setup->addAction("OpenWith", this, [this] { SetUpOpenWith(); });
  QMenu* help = menuBar()->addMenu("&Help");
  helpAction = help->addAction("Help", this, [this] { Help(); });
  helpAction->setShortcut(QKeySequence(Qt::Key_F1));
  aboutAction = help->addAction("About", this, [this] { About(); });

  popupMenu = new QMenu(this);
  popupMenu->setObjectName("popupMenu");
  makeThumbnailAction = popupMenu->addAction("Make Thumbnail", this, [this] { MakeThumbnail(); });
  backgroundColourAction =
      popupMenu->addAction("B-ground Colour", this, [this] { ChooseBackgroundColour(); });
  meshDataAction = popupMenu->addAction("Mesh Data", this, [this] { MeshData(); });
  showAxesAction = popupMenu->addAction("Show Axes", this, [this] { ShowAxes(); });
  unitsAction = popupMenu->addAction("     Units metres", this, [this] { SwitchUnits(); });
  bumpEffectAction = popupMenu->addAction("Bump Effect", this, [this] { BumpEffect(); });
  showBumpsOnlyAction = popupMenu->addAction("Show Bumps Only", this, [this] { ShowBumpsOnly(); });
  showAttachmentsAction =
      popupMenu->addAction("Show Attachments", this, [this] { ShowAttachments(); });
  attachmentSizeAction =
      popupMenu->addAction("Attachment Size", this, [this] { AttachmentSize(); });
  locateTextureAction = popupMenu->addAction("Locate Texture", this, [this] { LocateTexture(); });
  adjustTrackAction = popupMenu->addAction("Adjust Track", this, [this] { AdjustTrack(); });
  for (QAction* a : {showAxesAction, showBumpsOnlyAction, showAttachmentsAction,
                     attachmentSizeAction, locateTextureAction})
    a->setCheckable(true);
  connect(popupMenu, &QMenu::aboutToShow, this, [this] { PreparePopup(); });
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void MainWindow::FormShow() {
  frame.view.MouseReady = false;
  frame.modes.ShowAttachments = false;
  exeFolder = options_.exeFolder;

  ini_ = TMemIni(options_.settingsFile);
  settings = ReadSettings(ini_);
  if (SettingsUnreadable()) {
    notifier_.ShowMessage({.caption = "Info",
                           .text = "The settings file " + options_.settingsFile.string() +
                                   " could not be read (" + ini_.readError() +
                                   "). Default settings are used and the file will not be "
                                   "overwritten when the viewer closes."});
  }
  recentFiles.Read(ini_, settings.lastFile);
  recentMenu->Update(recentFiles, settings.lastFile);

  showAxesAction->setChecked(settings.showAxes);
  reloadOnChangeAction->setChecked(settings.reloadOnChange);
  unitsAction->setText(UnitsCaption(settings.metric));
  frame.draw.BumpStrength = settings.bumpAlpha;
  {
    const QSignalBlocker block(bumpSlider);
    bumpSlider->setValue(SliderFromBumpStrength(frame.draw.BumpStrength));
  }
  BumpEffectChange(bumpSlider->value());

  // The position is the client area's, as it is saved. Never placed before,
  // the window goes where the desktop puts new windows: a client area at
  // (0, 0) would have a window manager's title bar above the screen.
  QRect client(settings.left, settings.top, std::max(settings.width, 1),
               std::max(settings.height, 1));
  const auto saved = [this](const char* key) {
    return !ini_.ReadString("Position", key, "").empty();
  };
  if (!saved("Width") && !saved("Height")) {
    // A first start: a size that shows every control.
    const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    if (shown) {
      const QSize area = shown->availableGeometry().size();
      const WindowSize first = FirstWindowSize(area.width(), area.height());
      client.setSize(QSize(first.width, first.height));
    }
  }
  if (!saved("Top") && !saved("Left")) {
    resize(client.size());
  } else {
    setGeometry(OnSomeScreen(client));
  }
  // The normal place is set first, so un-maximising returns to it.
  if (settings.maximised) setWindowState(windowState() | Qt::WindowMaximized);

  if (!settings.lastFile.empty()) {
    currentFile = settings.lastFile;
    ShowReopenItem(currentFile);
    if (LowerExtension(currentFile) == ".txt") openFilter = OpenFilter::kTraincars;
  }

  if (!glView->ContextReady())
    notifier_.ShowMessage({.caption = "SetPixelFormat", .text = "Error setting pixel format."});

  FormResize();
  // The command-line file opens once the window is on screen, so that the
  // window and its log show while a traincar's parts are looked up.
  QTimer::singleShot(0, this, [this] {
    if (closed_ || OpenFromCommandLine()) return;
    if (settings.corvelDir.empty() && settings.dunmereDir.empty() && settings.estrelDir.empty() &&
        WineHostPresent()) {
      hostSetUpTimer.start();
    }
  });
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (composing_) {
    // The composition works on the scene and the context until it ends: the
    // utility is stopped, and the window closes once the composition is over.
    closeRequested_ = true;
    UpdateStatus();
    event->ignore();
    return;
  }
  if (!closed_) FormClose();
  event->accept();
}

void MainWindow::FormClose() {
  closed_ = true;
  for (QTimer* t : {&thumbnailTimer, &mouseArmTimer, &burstEndTimer, &hostSetUpTimer})
    t->stop();
  if (glView->ContextReady()) glView->makeCurrent();
  session_.Close();
  if (glView->ContextReady()) ReleaseTextureViewGl(frame.textureGl);
  if (glView->ContextReady()) {
    renderer_.Release();
    glView->doneCurrent();
  }
  if (!shown_) return;  // nothing was read, so nothing is written
  settings.lastFile = currentFile;
  recentFiles.Write(ini_);
  // The client area, as it is placed at start.
  // A maximised window keeps the place it returns to when un-maximised.
  std::optional<WindowGeometry> normal;
  settings.maximised = isMaximized();
  const QRect client = settings.maximised ? normalGeometry() : geometry();
  if (client.isValid())
    normal = WindowGeometry{client.top(), client.left(), client.width(), client.height()};
  std::string error;
  if (!SaveConfig(ini_, settings, normal, &error) && !SettingsUnreadable()) {
    notifier_.ShowMessage({.caption = "Info", .text = error});
  }
}

void MainWindow::SetCaption(const std::string& caption) {
  setWindowTitle(QString::fromStdString(OneLine(caption)));
}

void MainWindow::SyncLog(const ProgressLog* log) {
  QStringList lines;
  if (log) {
    for (const std::string& line : log->lines)
      lines << QString::fromStdString(line);
  }
  logBox->setPlainText(lines.join('\n'));
  logBox->setVisible(log && LogBoxShown(log->stage));
}

const MeshUnitState& MainWindow::Unit() const {
  static const MeshUnitState none;
  const MeshUnitState* unit = session_.Unit();
  return unit ? *unit : none;
}

void MainWindow::UpdateStatus() {
  QString text;
  if (closeRequested_) {
    text = "Closing: the traincar's lookup is being stopped";
  } else if (composing_) {
    text = QString("Busy opening the traincar %1; its parts are being looked up")
               .arg(QString::fromStdString(fs::path(currentFile).parent_path().string()));
  } else if (const TextureView* texture = session_.Texture()) {
    text = QString::fromStdString(TextureStatusText(texture->facts));
  } else if (session_.Kind() != ContentKind::kNothing) {
    const bool car = session_.Kind() == ContentKind::kTraincar;
    const fs::path& opened = session_.OpenedPath();
    const QString what = car ? QString("Traincar %1 (%2 meshes)")
                                   .arg(QString::fromStdString(opened.parent_path().string()))
                                   .arg(session_.Scene()->ModelCount())
                             : QString("Mesh %1").arg(QString::fromStdString(opened.string()));
    text = what + (session_.Loaded() ? "" : ": the file did not load");
    if (session_.CurrentModel() && !car) {
      text += QString("  %1 faces").arg(session_.CurrentModel()->FaceCount());
    }
  } else {
    text = "Nothing loaded";
  }
  ShowStatus(text);
}

void MainWindow::ShowStatus(const QString& text) {
  statusLine->setText(text);
  statusLine->setToolTip(text);
}

void MainWindow::RequestFrame() {
  frame.view.RedrawPending = true;
  if (session_.Loaded()) {
    glView->update();
  } else {
    // Nothing to draw: the view shows the background as it now is.
    glView->ShowBackgroundOnly();
  }
}

void MainWindow::FillFrame() {
  ApplyViewerSettings(frame, settings);
  // Measured points belong to the content they were picked on.
  if (frame.scene != session_.Scene()) frame.measure = {};
  frame.unit = session_.Unit();
  frame.currentModel = session_.CurrentModel();
  frame.scene = session_.Scene();
  frame.trainCarMode = session_.Kind() == ContentKind::kTraincar;
  frame.track = session_.Track() ? *session_.Track() : TrackState{};
  frame.texture = session_.Texture();
}

MainWindow::Controls MainWindow::Ui() const {
  return {viewPanel,
          glView,
          thumbnailImage,
          logBox,
          bumpPanel,
          bumpSlider,
          stepper,
          nameBox,
          positionBox,
          rotationBox,
          statusLine,
          popupMenu,
          openAction,
          reopenAction,
          exportAction,
          exitAction,
          thumbnailNameAction,
          texturesAction,
          reloadOnChangeAction,
          openWithAction,
          helpAction,
          aboutAction,
          recentMenu,
          makeThumbnailAction,
          backgroundColourAction,
          meshDataAction,
          showAxesAction,
          unitsAction,
          bumpEffectAction,
          showBumpsOnlyAction,
          showAttachmentsAction,
          attachmentSizeAction,
          locateTextureAction,
          adjustTrackAction,
          &thumbnailTimer,
          &mouseArmTimer,
          &burstEndTimer,
          &hostSetUpTimer,
          aboutBox.get()};
}

void MainWindow::ExportGltf() {
  if (RefuseWhileBusy()) return;
  // A traincar goes with the track the view shows, at its gauge and
  // spacing ("No Track" adds none).
  GltfExportOptions options;
  options.track = GltfTrack{settings.gauge, static_cast<float>(settings.tieSpacing) / 1000.0f};
  const fs::path written = ExportGltfDialog(this, session_, options, interaction.chooseExportFile);
  if (!written.empty()) statusLine->setText(QString::fromStdString("Exported " + written.string()));
}

void MainWindow::ArmMouse() {
  frame.view.MouseReady = true;
}

void MainWindow::EndRenderBurst() {
  frame.view.RedrawPending = false;
}

void MainWindow::FrameDrawn() {
  if (!burstEndTimer.isActive()) burstEndTimer.start();
  // Frames follow back to back while the burst lasts.
  glView->update();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void MainWindow::FormResize() {
  const QWidget* client = centralWidget();
  const int w = client->width(), h = client->height();
  viewPanel->setGeometry(8, 8, std::max(w - 16, 0), std::max(h - 16, 0));
  logBox->resize(logBox->width(), std::max(h - 50, 0));
  const bool points = frame.modes.ShowAttachments && Unit().AttachmentCount > 0;
  positionBox->setVisible(points && !sizeMode);
  rotationBox->setVisible(points && !sizeMode);
  nameBox->setVisible(points || frame.modes.LocateTextureMode);
  stepper->setVisible(points || frame.modes.LocateTextureMode);
  nameBox->setFixedWidth(frame.modes.LocateTextureMode
                             ? kTextureNameWidth
                             : (sizeMode ? kMarkerSizeWidth : kPointNameWidth));
  PlaceAttachmentBoxes();
  glView->ApplyPerspective();
  RequestFrame();
}

// Left to right along the bottom: name, stepper, position, rotation.
void MainWindow::PlaceAttachmentBoxes() {
  const int h = centralWidget()->height();
  nameBox->move(8, h - 36);
  stepper->move(nameBox->x() + nameBox->width() + 2, h - 40);
  positionBox->move(stepper->x() + stepper->width() + 4, h - 36);
  rotationBox->move(positionBox->x() + positionBox->width() + 4, h - 36);
  for (QWidget* wgt : {static_cast<QWidget*>(nameBox), static_cast<QWidget*>(positionBox),
                       static_cast<QWidget*>(rotationBox), static_cast<QWidget*>(stepper)})
    wgt->raise();
}

}  // namespace kelvane
