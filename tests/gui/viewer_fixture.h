// A main window on temporary settings and sample assets, dialogs answered.
#pragma once

#include <dlfcn.h>
#include <link.h>

#include <QDialog>
#include <QtTest>
#include <algorithm>
#include <fstream>
#include <memory>

#include "fixtures/asset_writer.h"
#include "fixtures/mesh_writer.h"
#include "fixtures/sample_assets.h"
#include "platform/notices.h"
#include "support/temp_dir.h"
#include "windows/main_window.h"

namespace kelvane::testing {

namespace fs = std::filesystem;

// Host folders already set up, so no first-run set-up starts.
inline const std::string kSetUp =
    "[Paths]\nCorvel_dir=NotFound\nDunmere_dir=NotFound\nEstrel_dir=NotFound\n";

inline void WriteText(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

// Keeps Xvfb's GL driver loaded, or its allocations show as our leaks.
inline void PinGraphicsDrivers() {
  auto pin = [](dl_phdr_info* info, size_t, void*) {
    const std::string_view name = info->dlpi_name ? info->dlpi_name : "";
    if (name.find("/dri/") != std::string_view::npos)
      dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
    return 0;
  };
  dl_iterate_phdr(pin, nullptr);
}

struct Viewer {
  TempDir dir;
  RecordingNotifier notifier;
  std::unique_ptr<MainWindow> window;
  fs::path mesh = dir.path() / "assets" / "wagon" / "wagon.im";
  fs::path ini = dir.path() / "kelvane.ini";
  std::vector<std::string> urlsOpened;

  Viewer() { fixtures::WriteSampleAssets(dir.path() / "assets"); }

  MainWindow& Start(const std::vector<std::string>& arguments,
                    const std::string& settingsText = kSetUp) {
    if (!settingsText.empty()) WriteText(ini, settingsText);
    Open(arguments);
    return *window;
  }

  void Open(const std::vector<std::string>& arguments, bool waitUntilShown = true) {
    WindowOptions options{ini, arguments, dir.path() / "bin", dir.path() / "bin" / "kelvane", {}};
    window = std::make_unique<MainWindow>(options, notifier);
    WindowInteraction& i = window->Interaction();
    i.chooseFile = [](const QString&, OpenFilter) { return std::nullopt; };
    i.chooseColour = [](const QColor&) { return std::nullopt; };
    i.chooseSaveFile = [](const QString&, const fs::path&, const QString&) {
      return std::optional<fs::path>();
    };
    i.execDialog = [](QDialog&) { return 0; };
    i.browseFolder = [](const std::string&, const fs::path&) { return std::nullopt; };
    i.pause = [](std::chrono::milliseconds) {};
    i.openUrl = [this](const QUrl& url) {
      urlsOpened.push_back(url.toLocalFile().toStdString());
      return true;
    };
    window->show();
    if (!waitUntilShown) return;
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    PinGraphicsDrivers();
    QCoreApplication::processEvents();  // what the window does once shown
  }

  void Close() {
    window->close();
    window.reset();
  }

  bool Loaded() const { return window->Loaded(); }
};

inline bool IsTraincar(const MainWindow& w) {
  return w.Session().Kind() == ContentKind::kTraincar;
}

// A box of known bounds in file axes, with one attachment point.
inline fs::path WriteMeasuredBox(const fs::path& folder, fixtures::Vec3 min, fixtures::Vec3 max,
                                 fixtures::Vec3 point) {
  fixtures::MeshWriter writer;
  fixtures::Vec3 centre{}, size{};
  for (std::size_t i = 0; i < 3; ++i) {
    centre[i] = (min[i] + max[i]) / 2;
    size[i] = max[i] - min[i];
  }
  writer.Material({.name = "box"}, fixtures::Box("box", centre, size));
  writer.Attachments({{.name = "a.point", .position = point}});
  const fs::path file = folder / "box.im";
  fixtures::WriteFile(file, writer.Finish());
  return file;
}

inline bool NextFrame(MainWindow& w) {
  const int before = w.Ui().glView->FrameCount();
  w.RequestFrame();
  return QTest::qWaitFor([&w, before] { return w.Ui().glView->FrameCount() > before; }, 3000);
}

inline bool Near(const QColor& c, const QColor& to, int tolerance) {
  return std::abs(c.red() - to.red()) <= tolerance &&
         std::abs(c.green() - to.green()) <= tolerance &&
         std::abs(c.blue() - to.blue()) <= tolerance;
}

template <typename Test>
int CountPixels(const QImage& picture, Test test) {
  int count = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      count += test(x, y, picture.pixelColor(x, y)) ? 1 : 0;
  return count;
}

// How many pixels of the picture are not near `colour(x, y)`.
template <typename Colour>
int PixelsOff(const QImage& picture, Colour colour, int tolerance) {
  return CountPixels(picture,
                     [&](int x, int y, QColor c) { return !Near(c, colour(x, y), tolerance); });
}

// Share of mostly green pixels, as the ground under a traincar is.
inline double GreenShare(const QImage& picture) {
  return double(CountPixels(picture,
                            [](int, int, QColor c) {
                              return c.green() > c.red() + 40 && c.green() > c.blue() + 40;
                            })) /
         (picture.width() * picture.height());
}

inline QList<QAction*> ShownPopupItems(MainWindow& w) {
  w.PreparePopup();
  QList<QAction*> shown;
  for (QAction* a : w.Ui().popupMenu->actions())
    if (a->isVisible()) shown << a;
  return shown;
}

// Mesh Data's nine values and the face count; `red` gets which are marked.
inline QStringList MeshDataTexts(MainWindow& w, QList<bool>* red = nullptr) {
  QStringList texts;
  w.Interaction().execDialog = [&](QDialog& dialog) {
    auto* form = qobject_cast<MeshDataDialog*>(&dialog);
    for (QLabel* l : form->values) {
      texts << l->text();
      if (red) *red << (l->palette().color(QPalette::WindowText) == QColor(Qt::red));
    }
    texts << form->polyCountLabel->text();
    return 1;
  };
  w.MeshData();
  return texts;
}

inline bool ProcessRunsWith(const std::string& text) {
  std::error_code ec;
  for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
    std::string line = ReadText(it->path() / "cmdline");
    std::replace(line.begin(), line.end(), '\0', ' ');
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

inline bool FrameKnown(const QWidget& window) {
  return window.frameGeometry().top() < window.geometry().top();
}

inline ViewerSettings SavedSettings(const fs::path& ini) {
  return ReadSettings(TMemIni(ini));
}

inline auto Camera(const ViewState& v) {
  return std::tuple(v.Zoom, v.RotX, v.RotY, v.PanX, v.PanY);
}

}  // namespace kelvane::testing
