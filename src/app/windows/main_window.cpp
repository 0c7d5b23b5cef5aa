#include "windows/main_window.h"

#include "mesh/texture_inventory.h"
#include "windows/textures_dialog.h"

#include <GL/gl.h>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <set>
#include <system_error>

#include "app_icon.h"
#include "assets/openwith_setup.h"
#include "base/text.h"
#include "platform/content_path.h"
#include "shell/shell_rules.h"
#include "view/frame.h"

namespace kelvane {

namespace fs = std::filesystem;

namespace {

std::string FileNameOf(const std::string& path) {
  return fs::path(path).filename().string();
}

bool FileExists(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

bool FolderExists(const fs::path& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

ViewKey KeyOf(int key) {
  switch (key) {
    case Qt::Key_Left:
      return ViewKey::Left;
    case Qt::Key_Right:
      return ViewKey::Right;
    case Qt::Key_Up:
      return ViewKey::Up;
    case Qt::Key_Down:
      return ViewKey::Down;
    case Qt::Key_B:
      return ViewKey::B;
    case Qt::Key_R:
      return ViewKey::R;
    case Qt::Key_T:
      return ViewKey::T;
    case Qt::Key_W:
      return ViewKey::W;
    default:
      return ViewKey::Other;
  }
}

KeyModifiers ModifiersOf(Qt::KeyboardModifiers m) {
  // The keypad flag says where a key is, not what is held.
  m &= ~Qt::KeypadModifier;
  if (m == Qt::ShiftModifier) return KeyModifiers::ShiftOnly;
  if (m == Qt::ControlModifier) return KeyModifiers::CtrlOnly;
  return KeyModifiers::Other;
}

QColor ColourOf(std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                static_cast<int>((v >> 16) & 0xFF));
}

// Titles and dialog captions are one line: a line break reads as a space.
std::string OneLine(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += (text[i] == '\r' || text[i] == '\n') ? ' ' : text[i];
  }
  return out;
}

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

// The asset's configuration file as it is named in its folder.
fs::path ConfigFileIn(const fs::path& folder) {
  if (auto found = FindContentFile(folder, "config.txt")) return *found;
  return folder / "config.txt";
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

std::int32_t ValueOf(const QColor& c) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(c.red()) |
                                   (static_cast<std::uint32_t>(c.green()) << 8) |
                                   (static_cast<std::uint32_t>(c.blue()) << 16));
}

}  // namespace

WindowInteraction WindowInteraction::Real(QWidget* owner) {
  WindowInteraction i;
  i.chooseFile = [owner](const QString& folder, int filterIndex) -> std::optional<fs::path> {
    const QString meshes = "Velmora Mesh (*.im *.pm)";
    const QString traincars = "Traincar (config.txt)";
    QString selected = filterIndex == 2 ? traincars : meshes;
    const QString file =
        QFileDialog::getOpenFileName(owner, "Open", folder, meshes + ";;" + traincars, &selected);
    if (file.isEmpty()) return std::nullopt;
    return fs::path(file.toStdString());
  };
  i.chooseColour = [owner](const QColor& preset) -> std::optional<QColor> {
    const QColor c = QColorDialog::getColor(preset, owner);
    if (!c.isValid()) return std::nullopt;
    return c;
  };
  i.execDialog = [](QDialog& dialog) { return dialog.exec(); };
  i.browseFolder = [owner](const std::string& caption) -> std::optional<fs::path> {
    const QString folder =
        QFileDialog::getExistingDirectory(owner, QString::fromStdString(caption));
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

TForm1::TForm1(WindowOptions options, Notifier& notifier)
    : options_(std::move(options)), notifier_(notifier) {
  setObjectName("Form1");
  setWindowIcon(AppIcon());
  interaction = WindowInteraction::Real(this);
  load_.textures = &loader_;
  scene_ = std::make_unique<T3DScene>();
  watcher_ = new FileWatcher(this);
  connect(watcher_, &FileWatcher::changed, this, [this] { ReloadFromDisk(); });
  BuildControls();
  BuildMenus();
  setAcceptDrops(true);
  qApp->installEventFilter(this);

  for (QTimer* t : {&Timer1, &Timer2, &Timer3, &Timer4})
    t->setSingleShot(true);
  Timer1.setInterval(1000);
  Timer2.setInterval(500);
  Timer3.setInterval(500);
  Timer4.setInterval(1000);
  connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  connect(&Timer2, &QTimer::timeout, this, [this] { view.MouseReady = true; });
  connect(&Timer3, &QTimer::timeout, this, [this] { view.RedrawPending = false; });
  connect(&Timer4, &QTimer::timeout, this, [this] { Timer4Timer(); });

  // The dialogs, in the order the program makes its windows.
  Form2 = std::make_unique<TForm2>(this);
  AboutBox = std::make_unique<TAboutBox>(this);
  Form4 = std::make_unique<TForm4>(this, notifier_);
  Form5 = std::make_unique<TForm5>(this);
}

TForm1::~TForm1() {
  if (!closed_) FormClose();
}

void TForm1::BuildControls() {
  auto* client = new QWidget(this);
  setCentralWidget(client);
  Panel1 = new QFrame(client);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setLineWidth(2);
  Panel1->setGeometry(8, 8, 633, 433);
  auto* panelLayout = new QVBoxLayout(Panel1);
  panelLayout->setContentsMargins(2, 2, 2, 2);
  if (QOpenGLContext probe; probe.create()) {
    GLView = new ViewWidget(Panel1);
    viewArea_ = GLView;
  } else {
    // Without OpenGL a GL view in the window would have the whole window
    // composed through OpenGL as well; it stays out, and the panel takes the
    // mouse without drawing.
    detachedView_ = std::make_unique<ViewWidget>(nullptr);
    GLView = detachedView_.get();
    viewArea_ = new QWidget(Panel1);
    viewArea_->setFocusPolicy(Qt::ClickFocus);
  }
  GLView->setObjectName("GLView");
  panelLayout->addWidget(viewArea_);
  GLView->SetRenderer(&renderer_);
  GLView->wantFrame = [this] { return train.ModelLoaded && view.RedrawPending; };
  GLView->frameDrawn = [this] { FrameDrawn(); };
  viewArea_->setMouseTracking(true);
  viewArea_->installEventFilter(this);
  viewArea_->setContextMenuPolicy(Qt::NoContextMenu);

  Image1 = new QLabel(Panel1);
  Image1->setGeometry(0, 0, 240, 180);
  Image1->setEnabled(false);
  Image1->hide();
  Memo1 = new QPlainTextEdit(Panel1);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setGeometry(8, 8, 420, 300);
  Memo1->hide();

  Panel2 = new QFrame(Panel1);
  Panel2->setObjectName("Panel2");
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel2->setGeometry(8, 8, 220, 56);
  Panel2->setAutoFillBackground(true);
  auto* bumpLabel = new QLabel("Bump Effect", Panel2);
  bumpLabel->setGeometry(6, 4, 120, 18);
  BumpEffect = new QSlider(Qt::Horizontal, Panel2);
  BumpEffect->setObjectName("BumpEffect");
  BumpEffect->setRange(0, 20);
  BumpEffect->setValue(10);
  BumpEffect->setGeometry(6, 26, 180, 22);
  SpeedButton1 = new QToolButton(Panel2);
  SpeedButton1->setText("X");
  SpeedButton1->setGeometry(192, 4, 22, 22);
  Panel2->hide();
  connect(BumpEffect, &QSlider::valueChanged, this, [this](int p) { BumpEffectChange(p); });
  connect(SpeedButton1, &QToolButton::clicked, Panel2, &QWidget::hide);

  UpDown1 = new UpDown(client);
  UpDown1->setObjectName("UpDown1");
  UpDown1->hide();
  connect(UpDown1, &UpDown::clicked, this, [this](bool up) { UpDown1Click(up); });
  AttName = new QLineEdit(client);
  AttPosn = new QLineEdit(client);
  AttRotn = new QLineEdit(client);
  // Read-only displays: the keys stay with the view.
  for (QLineEdit* e : {AttName, AttPosn, AttRotn}) {
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::NoFocus);
    e->hide();
  }
  AttName->setObjectName("AttName");
  AttPosn->setObjectName("AttPosn");
  AttRotn->setObjectName("AttRotn");
  AttPosn->setFixedWidth(200);
  AttRotn->setFixedWidth(200);

  StatusLine = new QLabel("Nothing loaded", this);
  statusBar()->addWidget(StatusLine, 1);
}

void TForm1::BuildMenus() {
  QMenu* file = menuBar()->addMenu("File");
  Open1 = file->addAction("Open", this, [this] { Open1Click(); });
  Open2 = file->addAction("  ", this, [this] { Open2Click(); });
  Exit1 = file->addAction("Exit", this, [this] { close(); });
  Open1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  RecentMenu = new RecentFilesMenu(file, Exit1, [this](const std::string& f) { OpenRecent(f); });
  QMenu* opts = menuBar()->addMenu("Options");
  ThumbnailName1 = opts->addAction("Thumbnail Name", this, [this] { ThumbnailName1Click(); });
  Textures1 = opts->addAction("Textures", this, [this] { Textures1Click(); });
  ReloadOnChange1 =
      opts->addAction("Reload When Files Change", this, [this] { ReloadOnChange1Click(); });
  ReloadOnChange1->setCheckable(true);
  QMenu* setup = menuBar()->addMenu("Setup");
  OpenWith1 = setup->addAction("OpenWith", this, [this] { OpenWith1Click(); });
  QMenu* help = menuBar()->addMenu("Help");
  Help1 = help->addAction("Help", this, [this] { Help1Click(); });
  Help1->setShortcut(QKeySequence(Qt::Key_F1));
  About1 = help->addAction("About", this, [this] { About1Click(); });

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  MakeThumbnail1 = PopupMenu1->addAction("Make Thumbnail", this, [this] { MakeThumbnail1Click(); });
  BGroundColour1 =
      PopupMenu1->addAction("B-ground Colour", this, [this] { BGroundColour1Click(); });
  MeshData1 = PopupMenu1->addAction("Mesh Data", this, [this] { MeshData1Click(); });
  ShowAxes1 = PopupMenu1->addAction("Show Axes", this, [this] { ShowAxes1Click(); });
  Units1 = PopupMenu1->addAction("     Units metres", this, [this] { Units1Click(); });
  BumpEffect1 = PopupMenu1->addAction("Bump Effect", this, [this] { BumpEffect1Click(); });
  ShowBumpsOnly1 =
      PopupMenu1->addAction("Show Bumps Only", this, [this] { ShowBumpsOnly1Click(); });
  ShowAttachments1 =
      PopupMenu1->addAction("Show Attachments", this, [this] { ShowAttachments1Click(); });
  AttachmentSize1 =
      PopupMenu1->addAction("Attachment Size", this, [this] { AttachmentSize1Click(); });
  LocateTexture1 = PopupMenu1->addAction("Locate Texture", this, [this] { LocateTexture1Click(); });
  AdjustTrack1 = PopupMenu1->addAction("Adjust Track", this, [this] { AdjustTrack1Click(); });
  for (QAction* a : {ShowAxes1, ShowBumpsOnly1, ShowAttachments1, AttachmentSize1, LocateTexture1})
    a->setCheckable(true);
  connect(PopupMenu1, &QMenu::aboutToShow, this, [this] { PopupMenu1Popup(); });
}

// ----- start-up and shutdown ---------------------------------------------------

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TForm1::FormShow() {
  view.MouseReady = false;
  ShowAttachments = false;
  train.ModelLoaded = false;
  ExeFolder = options_.exeFolder;

  ini_ = TMemIni(options_.settingsFile);
  settings = ReadSettings(ini_);
  if (SettingsUnreadable()) {
    notifier_.ShowMessage({.caption = "Info",
                           .text = "The settings file " + options_.settingsFile.string() +
                                   " could not be read (" + ini_.readError() +
                                   "). Default settings are used and the file will not be "
                                   "overwritten when the viewer closes."});
  }
  train.MeshFileName = settings.lastFile;
  RecentList.Read(ini_, settings.lastFile);
  RecentMenu->Update(RecentList, settings.lastFile);

  ShowAxes1->setChecked(settings.showAxes);
  ReloadOnChange1->setChecked(settings.reloadOnChange);
  Units1->setText(UnitsCaption(settings.metric));
  BumpStrength = settings.bumpAlpha;
  {
    const QSignalBlocker block(BumpEffect);
    BumpEffect->setValue(SliderFromBumpStrength(BumpStrength));
  }
  BumpEffectChange(BumpEffect->value());

  // The position is the client area's, as it is saved. Never placed before,
  // the window goes where the desktop puts new windows: a client area at
  // (0, 0) would have a window manager's title bar above the screen.
  const QRect client(settings.left, settings.top, std::max(settings.width, 1),
                     std::max(settings.height, 1));
  if (ini_.ReadString("Position", "Top", "").empty() &&
      ini_.ReadString("Position", "Left", "").empty()) {
    resize(client.size());
  } else {
    setGeometry(OnSomeScreen(client));
  }

  if (!train.MeshFileName.empty()) {
    CurrentFile = train.MeshFileName.string();
    SetOpen2(CurrentFile);
    if (LowerExtension(CurrentFile) == ".txt") OpenDialogFilterIndex = 2;
  }

  if (!GLView->ContextReady())
    notifier_.ShowMessage({.caption = "SetPixelFormat", .text = "Error setting pixel format."});

  FormResize();
  // The command-line file opens once the window is on screen, so that the
  // window and its log show while a traincar's parts are looked up.
  QTimer::singleShot(0, this, [this] {
    if (closed_ || OpenFromCommandLine()) return;
    if (settings.corvelDir.empty() && settings.dunmereDir.empty() && settings.estrelDir.empty() &&
        WineHostPresent()) {
      Timer4.start();
    }
  });
}

// True when the command line named a file or folder that was opened.
bool TForm1::OpenFromCommandLine() {
  if (options_.arguments.size() != 1) return false;
  std::string parameter = options_.arguments.front();
  // Windows paths from the simulator's tools reach us through Wine's drives.
  const fs::path host = HostPathFromArgument(WinePrefix::FromEnvironment(), parameter);
  if (FolderExists(host)) {
    train.AssetFolder = host;
    CurrentFile = ConfigFileIn(host).string();
    SetOpen2(CurrentFile);
    NewScene();
    RunConfigOpen();
  } else {
    if (IsMeshFileName(parameter)) train.MeshFileName = host;
    if (train.MeshFileName.empty() || !FileExists(train.MeshFileName)) return false;
    CurrentFile = train.MeshFileName.string();
    SetOpen2(CurrentFile);
    NewScene();
    ViewMesh();
  }
  if (!closed_ && !train.ModelLoaded) GLView->ShowBackgroundOnly();
  return true;
}

void TForm1::closeEvent(QCloseEvent* event) {
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

void TForm1::FormClose() {
  closed_ = true;
  for (QTimer* t : {&Timer1, &Timer2, &Timer3, &Timer4})
    t->stop();
  if (GLView->ContextReady()) GLView->makeCurrent();
  DeleteTrackTextures();
  currentModel_ = nullptr;
  scene_.reset();
  if (GLView->ContextReady()) {
    renderer_.Release();
    GLView->doneCurrent();
  }
  if (!shown_) return;  // nothing was read, so nothing is written
  settings.lastFile = CurrentFile;
  RecentList.Write(ini_);
  // The client area, as it is placed at start.
  std::optional<WindowGeometry> normal;
  const QRect client = geometry();
  if (!isMaximized())
    normal = WindowGeometry{client.top(), client.left(), client.width(), client.height()};
  std::string error;
  if (!SaveConfig(ini_, settings, normal, &error) && !SettingsUnreadable()) {
    notifier_.ShowMessage({.caption = "Info", .text = error});
  }
}

// ----- opening files ---------------------------------------------------------------

void TForm1::SetOpen2(const std::string& file) {
  Open2->setText(QString::fromStdString("  " + FileNameOf(file)));
  RecentList.Add(file);
  RecentMenu->Update(RecentList, file);
}

void TForm1::NewScene() {
  if (GLView->ContextReady()) GLView->makeCurrent();
  currentModel_ = nullptr;
  scene_ = std::make_unique<T3DScene>();
  if (GLView->ContextReady()) GLView->doneCurrent();
}

void TForm1::Open1Click() {
  QString folder;
  if (!CurrentFile.empty())
    folder = QString::fromStdString(fs::path(CurrentFile).parent_path().string());
  if (RefuseWhileBusy()) return;
  const bool wasReady = view.MouseReady;
  view.MouseReady = false;
  const auto chosen = interaction.chooseFile(folder, OpenDialogFilterIndex);
  if (!chosen) {
    // Nothing new was loaded: the old model turns as before.
    view.MouseReady = wasReady;
    return;
  }
  OpenPath(*chosen);
}

void TForm1::OpenPath(const fs::path& path) {
  if (RefuseWhileBusy()) return;
  train.TrainCarMode = false;
  train.ModelLoaded = false;
  NewScene();
  if (FolderExists(path)) {
    // A dropped asset folder opens its config.txt.
    CurrentFile = ConfigFileIn(path).string();
  } else {
    CurrentFile = path.string();
  }
  train.MeshFileName = CurrentFile;
  SetOpen2(CurrentFile);
  DispatchByExtension(CurrentFile);
  UpdateStatus();
}

void TForm1::OpenRecent(const std::string& file) {
  if (!FileExists(file)) {
    notifier_.ShowMessage({.caption = "Info", .text = "File not found"});
    RecentList.Remove(file);
    RecentMenu->Update(RecentList, CurrentFile);
    return;
  }
  OpenPath(file);
}

void TForm1::DispatchByExtension(const std::string& file) {
  const std::string ext = LowerExtension(file);
  if (ext == ".im" || ext == ".pm") {
    ViewMesh();
  } else if (ext == ".txt") {
    train.AssetFolder = fs::path(file).parent_path();
    RunConfigOpen();
  }
  // Whatever failed to load, no earlier picture stays under the new title.
  if (!closed_ && !train.ModelLoaded) GLView->ShowBackgroundOnly();
}

void TForm1::Open2Click() {
  if (RefuseWhileBusy()) return;
  train.MeshFileName = CurrentFile;
  if (!CurrentFile.empty() && FileExists(CurrentFile)) {
    train.ModelLoaded = false;
    train.TrainCarMode = false;
    NewScene();
    DispatchByExtension(CurrentFile);
  } else {
    notifier_.ShowMessage({.caption = "Info", .text = "File not found"});
    RecentList.Remove(CurrentFile);
    RecentMenu->Update(RecentList, "");
    train.MeshFileName.clear();
    CurrentFile.clear();
    Open2->setText("");
  }
  UpdateStatus();
}

void TForm1::ViewMesh() {
  BumpsOnly = false;
  ShowBumpsOnly1->setChecked(false);
  ShowAttachments = false;
  SizeMode = false;
  ShowAttachments1->setChecked(false);
  AttachmentSize1->setChecked(false);
  if (LocateTextureMode) LocateTexture1Click();
  LocateTextureMode = false;
  LocateTexture1->setChecked(false);
  TextureIndex = 0;
  train.ModelLoaded = false;
  view.RedrawPending = false;

  const fs::path file = train.MeshFileName;
  SetCaption(train.TrainCarMode ? TrainCarCaption(train.UserName)
                                : MeshCaption(file.filename().string()));
  if (!FileExists(file)) {
    // Only a name typed into the Open dialog gets here; the viewer closes.
    close();
    return;
  }
  view.Zoom = 1.0f;
  view.PanX = view.PanY = 0.0f;
  view.RotX = view.RotY = 0.0f;
  if (GLView->ContextReady()) GLView->makeCurrent();
  currentModel_ = &scene_->AddModel();
  train.ModelLoaded = currentModel_->Load(file, load_);
  // Mesh Data describes the empty model a failed load leaves.
  if (!train.ModelLoaded) unit.MeshBounds = TMeshBounds{};
  if (GLView->ContextReady()) GLView->doneCurrent();
  AfterLoad(true);
  WatchLoadedFiles();
}

// The part of opening a mesh that follows its load; a traincar frames its
// first mesh only.
void TForm1::AfterLoad(bool firstOfView) {
  if (firstOfView) {
    view.Zoom = FramingZoom(unit, false);
    if (train.TrainCarMode) view.RotY = 60.0f;
  }
  if (train.ModelLoaded && !view.MouseReady) Timer2.start();
  FormResize();
  UpdateStatus();
}

void TForm1::RunConfigOpen() {
  SetBusy(true);
  if (GLView->ContextReady()) GLView->makeCurrent();
  TraincarContext context{train, *scene_, load_, notifier_, runner_};
  context.hooks.stopRequested = [this] { return closeRequested_; };
  context.hooks.pump = [this] {
    mainThread_.RunPending();
    SyncMemo();
    QCoreApplication::processEvents();
    if (GLView->ContextReady()) GLView->makeCurrent();
  };
  context.hooks.busyCursor = [](bool busy) {
    if (busy) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
      QApplication::restoreOverrideCursor();
    }
  };
  // The bump slider serves every mesh of the car, so it is offered when any
  // of them, not only the last one loaded, got a bump map.
  bool carHasBumps = false;
  context.onModelLoaded = [this, &carHasBumps](T3DModel& model, bool loaded) {
    carHasBumps = carHasBumps || unit.AnyBumpLoaded;
    // Each mesh of the car goes through the steps of opening a mesh.
    BumpsOnly = ShowAttachments = SizeMode = LocateTextureMode = false;
    for (QAction* a : {ShowBumpsOnly1, ShowAttachments1, AttachmentSize1, LocateTexture1})
      a->setChecked(false);
    TextureIndex = 0;
    SetCaption(TrainCarCaption(train.UserName));
    if (train.FirstMesh) {
      view.PanX = view.PanY = 0.0f;
      view.RotX = view.RotY = 0.0f;
      view.Zoom = 1.0f;
    }
    currentModel_ = &model;
    train.ModelLoaded = loaded;
    AfterLoad(train.FirstMesh);
    if (GLView->ContextReady()) GLView->makeCurrent();
  };
  ConfigOpen(context);
  mainThread_.RunPending();
  if (train.TrainCarMode) {
    unit.AnyBumpLoaded = carHasBumps;
    LoadTrackTextures();
  }
  if (GLView->ContextReady()) GLView->doneCurrent();
  SyncMemo();
  SetBusy(false);
  WatchLoadedFiles();
  RequestFrame();
  if (closeRequested_) QTimer::singleShot(0, this, [this] { close(); });
}

void TForm1::SetBusy(bool busy) {
  composing_ = busy;
  for (QAction* a : {Open1, Open2, OpenWith1})
    a->setEnabled(!busy);
  UpdateStatus();
}

// Commands that would replace what the composition works on are refused
// while it runs; the status line says why.
bool TForm1::RefuseWhileBusy() {
  if (!composing_) return false;
  StatusLine->setText("The viewer is busy opening a traincar; try again when it is open");
  return true;
}

void TForm1::SetCaption(const std::string& caption) {
  setWindowTitle(QString::fromStdString(OneLine(caption)));
}

void TForm1::LoadTrackTextures() {
  DeleteTrackTextures();
  // Beside the program in a build, in the install prefix's data folder once installed.
  const bool beside =
      FileExists(ExeFolder / "BallastTexture.jpg") || FileExists(ExeFolder / "GroundTexture.jpg");
  const fs::path folder = beside ? ExeFolder : options_.installedDataFolder;
  const fs::path ballast = folder / "BallastTexture.jpg";
  const fs::path ground = folder / "GroundTexture.jpg";
  if (FileExists(ballast)) ballastLoaded_ = loader_.LoadTexture(ballast, ballastTexture_, false, 2);
  if (FileExists(ground)) groundLoaded_ = loader_.LoadTexture(ground, groundTexture_, false, 2);
}

void TForm1::DeleteTrackTextures() {
  if (ballastLoaded_) uploader_.Delete(std::span<const std::uint32_t>(&ballastTexture_, 1));
  if (groundLoaded_) uploader_.Delete(std::span<const std::uint32_t>(&groundTexture_, 1));
  ballastLoaded_ = groundLoaded_ = false;
}

void TForm1::SyncMemo() {
  QStringList lines;
  for (const std::string& line : train.Memo1.lines)
    lines << QString::fromStdString(line);
  Memo1->setPlainText(lines.join('\n'));
  Memo1->setVisible(train.Memo1.visible);
}

void TForm1::UpdateStatus() {
  QString text;
  if (closeRequested_) {
    text = "Closing: the traincar's lookup is being stopped";
  } else if (composing_) {
    text = QString("Busy opening the traincar %1; its parts are being looked up")
               .arg(QString::fromStdString(fs::path(CurrentFile).parent_path().string()));
  } else if (scene_ && scene_->ModelCount() > 0) {
    const QString what =
        train.TrainCarMode
            ? QString("Traincar %1 (%2 meshes)")
                  .arg(QString::fromStdString(fs::path(CurrentFile).parent_path().string()))
                  .arg(scene_->ModelCount())
            : QString("Mesh %1").arg(QString::fromStdString(CurrentFile));
    text = what + (train.ModelLoaded ? "" : ": the file did not load");
    if (currentModel_ && !train.TrainCarMode) {
      text += QString("  %1 faces").arg(currentModel_->FaceCount());
    }
  } else {
    text = "Nothing loaded";
  }
  StatusLine->setText(text);
}

// ----- the render loop ---------------------------------------------------------

void TForm1::RequestFrame() {
  view.RedrawPending = true;
  if (train.ModelLoaded) GLView->update();
}

void TForm1::FillFrame() {
  ApplyViewerSettings(frame, settings);
  frame.unit = &unit;
  frame.currentModel = currentModel_;
  frame.scene = scene_.get();
  frame.traincar = &train;
}

void TForm1::FrameDrawn() {
  if (!Timer3.isActive()) Timer3.start();
  // Frames follow back to back while the burst lasts.
  GLView->update();
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize();
}

void TForm1::FormResize() {
  const QWidget* client = centralWidget();
  const int w = client->width(), h = client->height();
  Panel1->setGeometry(8, 8, std::max(w - 16, 0), std::max(h - 16, 0));
  Memo1->resize(Memo1->width(), std::max(h - 50, 0));
  const bool points = ShowAttachments && unit.AttachmentCount > 0;
  AttPosn->setVisible(points && !SizeMode);
  AttRotn->setVisible(points && !SizeMode);
  AttName->setVisible(points || LocateTextureMode);
  UpDown1->setVisible(points || LocateTextureMode);
  AttName->setFixedWidth(LocateTextureMode ? 200 : (SizeMode ? 30 : 153));
  PlaceAttachmentBoxes();
  GLView->ApplyPerspective();
  RequestFrame();
}

// Left to right along the bottom: name, stepper, position, rotation.
void TForm1::PlaceAttachmentBoxes() {
  const int h = centralWidget()->height();
  AttName->move(8, h - 36);
  UpDown1->move(AttName->x() + AttName->width() + 2, h - 40);
  AttPosn->move(UpDown1->x() + UpDown1->width() + 4, h - 36);
  AttRotn->move(AttPosn->x() + AttPosn->width() + 4, h - 36);
  for (QWidget* wgt : {static_cast<QWidget*>(AttName), static_cast<QWidget*>(AttPosn),
                       static_cast<QWidget*>(AttRotn), static_cast<QWidget*>(UpDown1)})
    wgt->raise();
}

// ----- input -----------------------------------------------------------------------

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  // The wheel zooms wherever it turns over the window, before any control
  // under it would scroll.
  if (event->type() == QEvent::Wheel) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && widget->window() == this) {
      ApplyWheel(view, static_cast<QWheelEvent*>(event)->angleDelta().y());
      RequestFrame();
      return true;
    }
  }
  if (watched == viewArea_) {
    if (event->type() == QEvent::MouseButtonPress) {
      auto* e = static_cast<QMouseEvent*>(event);
      // A click gives the keys back to the view.
      viewArea_->setFocus(Qt::MouseFocusReason);
      if (e->button() == Qt::RightButton) {
        if (!RefuseWhileBusy()) PopupMenu1->popup(e->globalPosition().toPoint());
        return true;
      }
      if (view.MouseReady) {
        view.LastMouseX = static_cast<float>(e->position().x());
        view.LastMouseY = static_cast<float>(e->position().y());
      }
      return true;
    }
    if (event->type() == QEvent::MouseMove) {
      auto* e = static_cast<QMouseEvent*>(event);
      ApplyDrag(view, static_cast<float>(e->position().x()), static_cast<float>(e->position().y()),
                e->buttons() & Qt::LeftButton, e->buttons() & Qt::MiddleButton);
      RequestFrame();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::keyPressEvent(QKeyEvent* event) {
  const KeyCommand command =
      ApplyViewKey(view, KeyOf(event->key()), ModifiersOf(event->modifiers()));
  RequestFrame();
  event->accept();
  if (command != KeyCommand::None && RefuseWhileBusy()) return;
  switch (command) {
    case KeyCommand::BumpsOnly:
      PopupMenu1Popup();
      if (ShowBumpsOnly1->isVisible()) ShowBumpsOnly1Click();
      break;
    case KeyCommand::Reopen:
      Open2Click();
      break;
    case KeyCommand::LocateTexture:
      PopupMenu1Popup();
      if (LocateTexture1->isVisible()) LocateTexture1Click();
      break;
    case KeyCommand::Attachments:
      PopupMenu1Popup();
      if (ShowAttachments1->isVisible()) ShowAttachments1Click();
      break;
    case KeyCommand::None:
      break;
  }
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (RefuseWhileBusy()) return;
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() == 1 && urls.front().isLocalFile()) {
    const std::string path = urls.front().toLocalFile().toStdString();
    const std::string ext = LowerExtension(path);
    if (FolderExists(path) || ext == ".im" || ext == ".pm" || ext == ".txt") {
      event->acceptProposedAction();
    }
  }
}

void TForm1::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile() || RefuseWhileBusy()) return;
  event->acceptProposedAction();
  OpenPath(urls.front().toLocalFile().toStdString());
}

// ----- popup menu and commands -------------------------------------------------------

void TForm1::PopupMenu1Popup() {
  PopupState s;
  s.showAttachments = ShowAttachments;
  s.bumpsOnly = BumpsOnly;
  s.locateTexture = LocateTextureMode;
  s.trainCar = train.TrainCarMode;
  s.anyBumpLoaded = unit.AnyBumpLoaded;
  s.showAxes = settings.showAxes;
  s.attachmentCount = unit.AttachmentCount;
  const PopupVisibility v = ComputePopup(s);
  MakeThumbnail1->setVisible(v.makeThumbnail);
  BGroundColour1->setVisible(v.backgroundColour);
  MeshData1->setVisible(v.meshData);
  ShowAxes1->setVisible(v.showAxes);
  Units1->setVisible(v.units);
  BumpEffect1->setVisible(v.bumpEffect);
  ShowBumpsOnly1->setVisible(v.showBumpsOnly);
  ShowAttachments1->setVisible(v.showAttachments);
  ShowAttachments1->setText(v.showAttachmentsCaption);
  AttachmentSize1->setVisible(v.attachmentSize);
  LocateTexture1->setVisible(v.locateTexture);
  AdjustTrack1->setVisible(v.adjustTrack);
}

void TForm1::BGroundColour1Click() {
  const auto chosen = interaction.chooseColour(ColourOf(settings.bgroundColour));
  if (!chosen) return;
  view.RedrawPending = true;
  settings.bgroundColour = ValueOf(*chosen);
  RequestFrame();
}

void TForm1::MeshData1Click() {
  Form2->SetData(unit.MeshBounds, currentModel_ ? currentModel_->FaceCount() : 0);
  Form2->move(x() + (width() - Form2->width()) / 2, y() + (height() - Form2->height()) / 2 + 20);
  interaction.execDialog(*Form2);
  RequestFrame();
}

void TForm1::ShowAxes1Click() {
  settings.showAxes = !settings.showAxes;
  ShowAxes1->setChecked(settings.showAxes);
}

void TForm1::Units1Click() {
  settings.metric = !settings.metric;
  Units1->setText(UnitsCaption(settings.metric));
}

void TForm1::BumpEffect1Click() {
  Panel2->show();
  Panel2->raise();
}

void TForm1::BumpEffectChange(int position) {
  BumpStrength = BumpStrengthFromSlider(position);
  settings.bumpAlpha = BumpStrength;
  BumpEnabled = position > 0;
  RequestFrame();
}

void TForm1::ShowBumpsOnly1Click() {
  if (BumpsOnly) {
    BumpsOnly = false;
    ShowBumpsOnly1->setChecked(false);
    RequestFrame();
  } else if (unit.AnyBumpLoaded) {
    if (BumpSupported) {
      BumpsOnly = true;
      ShowAttachments = false;
      ShowAttachments1->setChecked(false);
      ShowBumpsOnly1->setChecked(true);
      RequestFrame();
    } else {
      notifier_.ShowMessage(
          {.caption = "Info", .text = "Video card does not support OpenGL bump mapping"});
    }
  }
}

void TForm1::LocateTexture1Click() {
  LocateTextureMode = !LocateTextureMode;
  LocateTexture1->setChecked(LocateTextureMode);
  if (LocateTextureMode) {
    ShowAttachments = false;
    BumpsOnly = false;
    ShowAttachments1->setChecked(false);
    ShowBumpsOnly1->setChecked(false);
    std::vector<std::string> names;
    if (currentModel_) currentModel_->ListTextureNames(names);
    const std::set<std::string> sorted(names.begin(), names.end());
    TextureNames.assign(sorted.begin(), sorted.end());
    if (!TextureNames.empty()) AttName->setText(QString::fromStdString(TextureNames.front()));
    HighlightTextureName = AttName->text().toStdString();
    TextureIndex = 0;
  }
  FormResize();
}

void TForm1::Textures1Click() {
  TexturesDialog dialog(this, InventoryOfMeshes(LoadedMeshFiles(), train.TrainCarMode));
  dialog.onSelected = [this](const std::string& name) {
    if (!LocateTextureMode) LocateTexture1Click();
    HighlightTextureName = name;
    AttName->setText(QString::fromStdString(name));
    RequestFrame();
  };
  dialog.chooseExportFile = [this]() -> fs::path {
    return QFileDialog::getSaveFileName(this, "Export PNG", {}, "PNG pictures (*.png)")
        .toStdString();
  };
  interaction.execDialog(dialog);
}

void TForm1::ShowAttachment(int index) {
  if (index < 0 || index >= unit.AttachmentCount ||
      static_cast<std::size_t>(index) >= unit.AttachmentTable.size())
    return;
  const TAttachPoint& p = unit.AttachmentTable[static_cast<std::size_t>(index)];
  auto three = [](const TVector3& v) {
    return FixedText(v.x) + ", " + FixedText(v.y) + ", " + FixedText(v.z);
  };
  AttName->setText(QString::fromStdString(p.name));
  AttPosn->setText(QString::fromStdString("Posn: " + three(p.position)));
  AttRotn->setText(QString::fromStdString("Rotn: " + three(p.rotation)));
}

void TForm1::ShowAttachments1Click() {
  AttIndex = 0;
  UpDown1->SetPosition(0);
  ShowAttachments = !ShowAttachments;
  ShowAttachments1->setChecked(ShowAttachments);
  if (unit.AttachmentCount > 0) {
    BumpsOnly = false;
    ShowBumpsOnly1->setChecked(false);
    LocateTextureMode = false;
    LocateTexture1->setChecked(false);
    if (ShowAttachments) {
      view.Zoom = FramingZoom(unit, true);
    } else {
      SizeMode = false;
      AttachmentSize1->setChecked(false);
    }
    FormResize();
    ShowAttachment(0);
  }
  RequestFrame();
}

void TForm1::AttachmentSize1Click() {
  SizeMode = !SizeMode;
  AttachmentSize1->setChecked(SizeMode);
  if (SizeMode) {
    AttName->setFixedWidth(30);
    AttName->setText(QString::number(settings.attSize));
    AttPosn->hide();
    AttRotn->hide();
  } else {
    AttName->setFixedWidth(121);
    ShowAttachment(AttIndex);
    AttPosn->show();
    AttRotn->show();
  }
  PlaceAttachmentBoxes();
  RequestFrame();
}

void TForm1::UpDown1Click(bool up) {
  if (SizeMode) {
    settings.attSize = std::clamp(settings.attSize + (up ? 1 : -1), 3, 15);
    AttName->setText(QString::number(settings.attSize));
  } else if (LocateTextureMode) {
    if (!TextureNames.empty()) {
      TextureIndex =
          std::clamp(TextureIndex + (up ? 1 : -1), 0, static_cast<int>(TextureNames.size()) - 1);
      AttName->setText(
          QString::fromStdString(TextureNames[static_cast<std::size_t>(TextureIndex)]));
      HighlightTextureName = TextureNames[static_cast<std::size_t>(TextureIndex)];
    }
  } else if (unit.AttachmentCount > 0) {
    AttIndex = std::clamp(AttIndex + (up ? 1 : -1), 0, unit.AttachmentCount - 1);
    ShowAttachment(AttIndex);
  }
  RequestFrame();
}

void TForm1::AdjustTrack1Click() {
  Form4->move(x() + (width() - Form4->width()) / 2, y() + (height() - Form4->height()) / 2);
  Form4->Prepare({settings.gaugeIndex, settings.unitsIndex, settings.tieSpacing, settings.gauge});
  interaction.execDialog(*Form4);
  const TrackValues out = Form4->Result();
  settings.gaugeIndex = out.gaugeIndex;
  settings.unitsIndex = out.unitsIndex;
  settings.tieSpacing = out.tieSpacing;
  settings.gauge = out.gauge;
}

void TForm1::ThumbnailName1Click() {
  Form5->move(x() + (width() - Form5->width()) / 2, y() + (height() - Form5->height()) / 2);
  Form5->SetName(settings.thumbnail);
  interaction.execDialog(*Form5);
  settings.thumbnail = Form5->Name();
}

void TForm1::Help1Click() {
  const fs::path candidates[] = {ExeFolder / "help" / "kelvane.html",
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

void TForm1::About1Click() {
  AboutBox->move(x() + (width() - AboutBox->width()) / 2,
                 y() + (height() - AboutBox->height()) / 2 + 20);
  interaction.execDialog(*AboutBox);
  RequestFrame();
}

// ----- thumbnails ------------------------------------------------------------------

void TForm1::MakeThumbnail1Click() {
  Timer1.start();
  Timer3.setInterval(1500);
  RequestFrame();
}

void TForm1::Timer1Timer() {
  Timer1.stop();
  // The view drawn at the size of a 240 x 180 panel, off screen.
  thumbnail_ = GLView->RenderOffscreen(240, 180);
  // The picture stays in the view's corner while the question is open.
  Image1->setPixmap(QPixmap::fromImage(thumbnail_));
  Image1->setEnabled(true);
  Image1->show();
  Image1->raise();
  const std::string& name = settings.thumbnail;
  if (notifier_.AskYesNo({.caption = "Confirm", .text = ThumbnailQuestion(name)})) {
    const fs::path folder =
        train.TrainCarMode ? fs::path(CurrentFile).parent_path() : train.MeshFileName.parent_path();
    const fs::path target = folder / name;
    QImageWriter writer(QString::fromStdString(target.string()), "jpeg");
    writer.setQuality(90);
    if (thumbnail_.isNull() || !writer.write(thumbnail_)) {
      notifier_.ShowMessage(
          {.caption = "Error",
           .text = "Cannot create file \"" + target.string() + "\". " +
                   (thumbnail_.isNull() ? std::string("The view could not be drawn.")
                                        : writer.errorString().toStdString())});
    }
  }
  Image1->setEnabled(false);
  Image1->hide();
  Timer3.setInterval(500);
  RequestFrame();
}

// ----- OpenWith -----------------------------------------------------------------------

OpenWithEnvironment TForm1::OpenWithEnv() {
  OpenWithEnvironment env;
  env.executable = options_.executable;
  env.browseFolder = [this](const std::string& caption) {
    SyncMemo();
    return interaction.browseFolder(OneLine(caption));
  };
  env.pause = [this](std::chrono::milliseconds ms) {
    SyncMemo();
    interaction.pause(ms);
  };
  return env;
}

void TForm1::Timer4Timer() {
  Timer4.stop();
  if (composing_) {
    // The set-up shares the log with the lookup: it waits for its end.
    Timer4.start();
    return;
  }
  HostFolderSettings folders = HostFolders(settings);
  try {
    SetOpenWith(folders, train.Memo1, OpenWithEnv());
  } catch (const std::exception& error) {
    notifier_.ShowMessage({.caption = "Error", .text = error.what()});
  }
  StoreHostFolders(settings, folders);
  SyncMemo();
}

void TForm1::OpenWith1Click() {
  if (RefuseWhileBusy()) return;
  HostFolderSettings folders = HostFolders(settings);
  try {
    kelvane::OpenWith1Click(folders, train.Memo1, OpenWithEnv());
  } catch (const std::exception& error) {
    notifier_.ShowMessage({.caption = "Error", .text = error.what()});
  }
  StoreHostFolders(settings, folders);
  SyncMemo();
}

}  // namespace kelvane
