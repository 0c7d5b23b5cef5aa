#include "windows/textures_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "base/text.h"
#include "platform/notices.h"
#include "textures/texture_loader.h"

namespace kelvane {

QImage DecodedTexture(const std::filesystem::path& file) {
  TextureLoaderState state;
  RecordingNotifier notices;
  DecodeOnlyUploader uploader(state);
  TextureLoader loader(state, notices, uploader);
  std::uint32_t texture = 0;
  if (!loader.LoadTexture(file, texture, false, 0) || !uploader.LastUpload()) return {};
  const PixelBuffer& b = *uploader.LastUpload();
  QImage image(b.width, b.height, b.HasAlpha() ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
  // Rows lie bottom-up.
  for (int y = 0; y < b.height; ++y) {
    std::copy_n(b.Texel(0, std::size_t(b.height - 1 - y)), b.RowBytes(), image.scanLine(y));
  }
  return image;
}

TexturesDialog::TexturesDialog(QWidget* parent, std::vector<TextureRecord> records)
    : QDialog(parent), records_(std::move(records)) {
  setObjectName("TexturesDialog");
  setWindowTitle("Textures");
  table = new QTableWidget(int(records_.size()), 6, this);
  table->setHorizontalHeaderLabels({"File", "Format", "Size", "Alpha", "Bytes", "Objects"});
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->verticalHeader()->hide();
  for (int row = 0; row < int(records_.size()); ++row) {
    const TextureRecord& r = records_[std::size_t(row)];
    QStringList objects;
    for (const auto& o : r.objects)
      objects << QString::fromStdString(o);
    const QString cells[] = {QString::fromStdString(r.file.filename().string()),
                             QString::fromStdString(r.format),
                             QString("%1 x %2").arg(r.width).arg(r.height),
                             QString::fromStdString(r.alphaSource),
                             QString::number(r.uploadBytes),
                             objects.join(", ")};
    for (int column = 0; column < 6; ++column)
      table->setItem(row, column, new QTableWidgetItem(cells[column]));
  }
  table->resizeColumnsToContents();
  preview = new QLabel(this);
  preview->setFixedSize(128, 128);
  preview->setAlignment(Qt::AlignCenter);
  exportButton = new QPushButton("Export PNG...", this);
  auto* close = new QPushButton("Close", this);

  auto* side = new QVBoxLayout;
  side->addWidget(preview);
  side->addWidget(exportButton);
  side->addStretch();
  side->addWidget(close);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(table, 1);
  layout->addLayout(side);
  resize(720, 320);

  connect(table, &QTableWidget::itemSelectionChanged, this, [this] { ShowSelected(); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(exportButton, &QPushButton::clicked, this, [this] { ExportSelected(); });
  exportButton->setEnabled(false);
}

void TexturesDialog::SelectRow(int row) {
  table->selectRow(row);
}

QImage TexturesDialog::Picture(int row) const {
  if (row < 0 || row >= int(records_.size())) return {};
  return DecodedTexture(records_[std::size_t(row)].file);
}

void TexturesDialog::ShowSelected() {
  const int row = table->currentRow();
  exportButton->setEnabled(row >= 0);
  const QImage picture = Picture(row);
  preview->setPixmap(
      picture.isNull() ? QPixmap()
                       : QPixmap::fromImage(picture.scaled(preview->size(), Qt::KeepAspectRatio)));
  if (row >= 0 && onSelected)
    onSelected(AsciiLower(records_[std::size_t(row)].file.filename().string()));
}

void TexturesDialog::ExportSelected() {
  const int row = table->currentRow();
  if (!chooseExportFile || row < 0 || static_cast<std::size_t>(row) >= records_.size()) return;
  std::filesystem::path suggested = records_[std::size_t(row)].file;
  suggested.replace_extension(".png");
  std::filesystem::path file = chooseExportFile(suggested);
  if (file.empty()) return;
  if (!file.has_extension()) file += ".png";
  ExportPng(file);
}

bool TexturesDialog::ExportPng(const std::filesystem::path& file) {
  const QImage picture = Picture(table->currentRow());
  return !picture.isNull() && picture.save(QString::fromStdString(file.string()), "PNG");
}

}  // namespace kelvane
