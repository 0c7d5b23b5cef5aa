#pragma once

#include <QDialog>
#include <QLineEdit>
#include <string>

namespace kelvane {

// "Thumbnail Name": edits its own copy of the thumbnail's file name.
class ThumbnailNameDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit ThumbnailNameDialog(QWidget* parent);

  void SetName(const std::string& name);
  const std::string& Name() const { return name_; }

  QLineEdit* edit = nullptr;

 private:
  void Accept();
  std::string name_;
};

}  // namespace kelvane
