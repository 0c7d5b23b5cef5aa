#pragma once

#include <QDialog>
#include <QLineEdit>
#include <string>

namespace kelvane {

// "Thumbnail Name": edits its own copy of the thumbnail's file name.
class TForm5 final : public QDialog {
  Q_OBJECT

 public:
  explicit TForm5(QWidget* parent);

  void SetName(const std::string& name);
  const std::string& Name() const { return name_; }

  QLineEdit* edit = nullptr;

 private:
  void Accept();
  std::string name_;
};

}  // namespace kelvane
