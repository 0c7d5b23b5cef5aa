#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/notices.h"

namespace kelvane {

// Message and confirmation boxes of the viewer window.
class QtNotifier final : public Notifier {
 public:
  void SetOwner(QWidget* owner) { owner_ = owner; }
  void ShowMessage(const Notice& notice) override;
  bool AskYesNo(const Notice& question) override;
  void Beep() override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace kelvane
