#pragma once

#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "mesh/texture_inventory.h"

namespace kelvane {

// "Textures": every texture file the open model or traincar loaded, with
// a preview of the selected one. Selecting a row highlights the objects
// that use it.
class TexturesDialog final : public QDialog {
  Q_OBJECT

 public:
  TexturesDialog(QWidget* parent, std::vector<TextureRecord> records);

  // Told the lower-case file name of the texture selected.
  std::function<void(const std::string& name)> onSelected;
  // Asks where to write the selected picture, offering `suggested` (the
  // texture's folder and name with ".png"); empty when cancelled.
  std::function<std::filesystem::path(const std::filesystem::path& suggested)> chooseExportFile;

  void SelectRow(int row);
  // Writes the selected texture's picture, as the texture loader decodes
  // it, as an upright PNG. False when nothing is selected or it fails.
  bool ExportPng(const std::filesystem::path& file);
  // Asks for a file and writes the selected picture there; a typed name
  // without an extension gets ".png".
  void ExportSelected();

  QTableWidget* table = nullptr;
  QLabel* preview = nullptr;
  QPushButton* exportButton = nullptr;
  const std::vector<TextureRecord>& records() const { return records_; }

 private:
  void ShowSelected();
  QImage Picture(int row) const;

  std::vector<TextureRecord> records_;
};

// The picture the texture loader makes of an image file, upright; null
// when it cannot be decoded.
QImage DecodedTexture(const std::filesystem::path& file);

}  // namespace kelvane
