#pragma once

#include <QObject>
#include <QString>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "settings/mem_ini.h"

class QAction;
class QMenu;

namespace kelvane {

// The files opened last, newest first, each once. The first is the one the
// re-open item offers.
class RecentFiles {
 public:
  static constexpr std::size_t kLimit = 8;

  // To the front; an entry already listed moves there; the oldest beyond
  // the limit is dropped. Empty names are ignored.
  void Add(const std::string& file);
  void Remove(const std::string& file);
  const std::vector<std::string>& Entries() const { return entries_; }

  // The remembered last file first, then the section "Recent".
  void Read(const TMemIni& ini, const std::string& lastFile);
  // Writes every entry; keys of entries dropped since are emptied.
  void Write(TMemIni& ini) const;

 private:
  std::vector<std::string> entries_;
};

// The File menu's items for the recent files other than the one the
// re-open item shows, placed before `before`.
class RecentFilesMenu final : public QObject {
 public:
  RecentFilesMenu(QMenu* menu, QAction* before, std::function<void(const std::string&)> open);

  // Rebuilds the items from the list, leaving out `shown`.
  void Update(const RecentFiles& files, const std::string& shown);
  const std::vector<QAction*>& Items() const { return items_; }

 private:
  QMenu* menu_;
  QAction* before_;
  QAction* separator_;
  std::function<void(const std::string&)> open_;
  std::vector<QAction*> items_;
};

// "folder/name" for a mesh; a traincar's "config.txt" by its asset's folder
// alone, so the many of them can be told apart.
QString RecentCaption(const std::string& file);
// The re-open item: the file's name, or a traincar's folder.
QString ReopenCaption(const std::string& file);

}  // namespace kelvane
