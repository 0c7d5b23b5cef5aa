#include <QApplication>
#include <QSurfaceFormat>
#include <filesystem>

#include "app_icon.h"
#include "build_info.h"
#include "cli.h"
#include "install_layout.h"
#include "qt_notifier.h"
#include "settings/viewer_settings.h"
#include "viewer_main.h"
#include "windows/main_window.h"

int main(int argc, char** argv) {
  kelvane::ViewerArguments arguments;
  if (auto status = kelvane::RunCommandLine(argc, argv, &arguments)) return *status;

  QSurfaceFormat::setDefaultFormat(kelvane::ViewSurfaceFormat());
  QApplication app(argc, argv);
  app.setApplicationName("Kelvane");
  app.setApplicationVersion(KELVANE_VERSION);
  app.setDesktopFileName(kelvane::kDesktopFileName);
  app.setWindowIcon(kelvane::AppIcon());

  const std::filesystem::path executable = QCoreApplication::applicationFilePath().toStdString();
  kelvane::WindowOptions options;
  options.executable = executable;
  options.exeFolder = executable.parent_path();
  options.installedDataFolder = kelvane::DataFolder(options.exeFolder);
  options.arguments = arguments.files;
  options.settingsFile = arguments.settingsFile.empty()
                             ? kelvane::SettingsPathFor(executable)
                             : std::filesystem::path(arguments.settingsFile);

  kelvane::QtNotifier notifier;
  kelvane::MainWindow window(options, notifier);
  notifier.SetOwner(&window);
  window.show();
  return app.exec();
}
