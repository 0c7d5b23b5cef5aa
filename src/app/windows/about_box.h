#pragma once

#include <QDialog>

namespace kelvane {

// "About": the program's name, version and what it is for.
class TAboutBox final : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent);
};

}  // namespace kelvane
