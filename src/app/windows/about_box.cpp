#include "windows/about_box.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app_icon.h"
#include "build_info.h"

namespace kelvane {

AboutBox::AboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName("AboutBox");
  setWindowTitle("About");
  setFixedSize(298, 412);
  auto* layout = new QVBoxLayout(this);
  auto* icon = new QLabel(this);
  icon->setObjectName("AppIcon");
  icon->setPixmap(AppIcon().pixmap(64, 64));
  layout->addWidget(icon, 0, Qt::AlignHCenter);
  auto* name = new QLabel("Kelvane 2", this);
  name->setObjectName("ProductName");
  QFont font = name->font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * 1.5);
  name->setFont(font);
  layout->addWidget(name, 0, Qt::AlignHCenter);
  layout->addWidget(new QLabel(QString("Version ") + KELVANE_VERSION, this), 0, Qt::AlignHCenter);
  auto* text = new QLabel(
      "A viewer for the meshes and rolling stock of the Velmora rail simulator.\n\n"
      "Open a single mesh (.im, .pm) or a traincar's config.txt; turn it with the left "
      "mouse button, pan with the middle one, zoom with the wheel.\n\n"
      "The right mouse button on the view offers thumbnails, mesh data, attachment "
      "points, texture search, bump effect and track settings.",
      this);
  text->setWordWrap(true);
  layout->addWidget(text, 1);
  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
}

}  // namespace kelvane
