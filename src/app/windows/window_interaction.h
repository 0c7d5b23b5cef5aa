#pragma once

#include <QColor>
#include <QString>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QDialog;
class QWidget;

namespace kelvane {

// File > Open's filters, as the dialog lists them.
enum class OpenFilter { kMeshes, kTraincars };

// How the window reaches the user beyond message boxes. The defaults show
// the real dialogs; tests answer them instead.
struct WindowInteraction {
  // File > Open: the chosen file, given the start folder and the filter
  // shown first; nothing when cancelled.
  std::function<std::optional<std::filesystem::path>(const QString& folder, OpenFilter filter)>
      chooseFile;
  std::function<std::optional<QColor>(const QColor& preset)> chooseColour;
  // A file to write: the dialog's caption, the file offered (its folder is
  // where the dialog starts) and the filter; nothing when cancelled.
  std::function<std::optional<std::filesystem::path>(
      const QString& caption, const std::filesystem::path& suggested, const QString& filter)>
      chooseSaveFile;
  // Shows a dialog modally and returns its result.
  std::function<int(QDialog& dialog)> execDialog;
  std::function<std::optional<std::filesystem::path>(const std::string& caption,
                                                     const std::filesystem::path& start)>
      browseFolder;
  std::function<void(std::chrono::milliseconds)> pause;
  std::function<bool(const QUrl& url)> openUrl;
  // Where File > "Export glTF..." writes; empty: the file dialog asks.
  std::function<std::filesystem::path()> chooseExportFile;

  static WindowInteraction Real(QWidget* owner);
};

struct WindowOptions {
  std::filesystem::path settingsFile;
  std::vector<std::string> arguments;  // command-line files, as given
  std::filesystem::path exeFolder;
  std::filesystem::path executable;
  std::filesystem::path installedDataFolder;
};

}  // namespace kelvane
