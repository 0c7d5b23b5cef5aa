#pragma once

#include <QDialog>

namespace kelvane {

// "About": the program's name, version and what it is for.
class AboutBox final : public QDialog {
  Q_OBJECT

 public:
  explicit AboutBox(QWidget* parent);
};

}  // namespace kelvane
