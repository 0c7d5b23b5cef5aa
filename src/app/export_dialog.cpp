#include "export_dialog.h"

#include <QFileDialog>
#include <QMessageBox>

#include "base/text.h"
#include "export/gltf_export.h"
#include "session/content_session.h"

namespace kelvane {

bool ExportOpenContent(const ContentSession& session, const GltfExportOptions& options,
                       const std::filesystem::path& file, std::string* error) {
  if (!session.Loaded()) {
    if (error) *error = "Nothing is open to export.";
    return false;
  }
  return WriteGltf(BuildGltf(session, options), file, error);
}

std::filesystem::path ExportGltfDialog(QWidget* parent, const ContentSession& session,
                                       const GltfExportOptions& options,
                                       const std::function<std::filesystem::path()>& chooseFile) {
  std::filesystem::path file;
  if (chooseFile) {
    file = chooseFile();
  } else {
    QString selected;
    file = QFileDialog::getSaveFileName(parent, "Export glTF", {},
                                        "glTF binary (*.glb);;glTF with files beside it (*.gltf)",
                                        &selected)
               .toStdString();
    // The dialog leaves the ending to the user; the chosen type gives it.
    const std::string ext = LowerExtension(file.string());
    if (!file.empty() && ext != ".glb" && ext != ".gltf")
      file += selected.contains("*.gltf") ? ".gltf" : ".glb";
  }
  if (file.empty()) return {};
  std::string error;
  if (!ExportOpenContent(session, options, file, &error)) {
    QMessageBox::warning(parent, "Export glTF", QString::fromStdString(error));
    return {};
  }
  return file;
}

}  // namespace kelvane
