#include "windows/thumbnail_name_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "mesh/model.h"
#include "shell/shell_rules.h"

namespace kelvane {

ThumbnailNameDialog::ThumbnailNameDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName("ThumbnailNameDialog");
  setWindowTitle("Thumbnail Name");
  setFixedSize(210, 91);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Enter File Name (no path)", this));
  edit = new QLineEdit(this);
  edit->setMaxLength(static_cast<int>(kMaxNameLength));
  layout->addWidget(edit);
  auto* buttons = new QHBoxLayout;
  auto* accept = new QPushButton("Accept", this);
  accept->setObjectName("Accept");
  accept->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("Cancel");
  buttons->addWidget(accept);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(accept, &QPushButton::clicked, this, &ThumbnailNameDialog::Accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void ThumbnailNameDialog::SetName(const std::string& name) {
  name_ = name;
  edit->setText(QString::fromStdString(name_));
}

void ThumbnailNameDialog::Accept() {
  name_ = ThumbnailFileName(edit->text().toStdString());
  accept();
}

}  // namespace kelvane
