#include <QApplication>
#include <QSurfaceFormat>
#include <filesystem>

#include "cli.h"
#include "qt_notifier.h"
#include "settings/viewer_settings.h"
#include "viewer_main.h"
#include "windows/main_window.h"

#ifndef KELVANE_DATA_DIR
#define KELVANE_DATA_DIR "/usr/share/kelvane"
#endif

int main(int argc, char** argv) {
  kelvane::ViewerArguments arguments;
  if (auto status = kelvane::RunCommandLine(argc, argv, &arguments)) return *status;

  QSurfaceFormat::setDefaultFormat(kelvane::ViewSurfaceFormat());
  QApplication app(argc, argv);
  app.setApplicationName("Kelvane");

  const std::filesystem::path executable = QCoreApplication::applicationFilePath().toStdString();
  kelvane::WindowOptions options;
  options.executable = executable;
  options.exeFolder = executable.parent_path();
  options.installedDataFolder = KELVANE_DATA_DIR;
  options.arguments = arguments.files;
  options.settingsFile = arguments.settingsFile.empty()
                             ? kelvane::DefaultSettingsPath(executable)
                             : std::filesystem::path(arguments.settingsFile);

  kelvane::QtNotifier notifier;
  kelvane::TForm1 window(options, notifier);
  notifier.SetOwner(&window);
  window.show();
  return app.exec();
}
