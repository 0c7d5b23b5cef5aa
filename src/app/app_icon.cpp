#include "app_icon.h"

// The resources of a static library are registered by hand.
static void InitIconResources() {
  Q_INIT_RESOURCE(app_icon);
}

namespace kelvane {

QIcon AppIcon() {
  InitIconResources();
  QIcon icon;
  for (const char* size : {"48", "128", "256"})
    icon.addFile(QString(":/icons/") + size + ".png");
  return icon;
}

}  // namespace kelvane
