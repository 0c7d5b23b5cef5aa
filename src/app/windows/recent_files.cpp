#include "windows/recent_files.h"

#include <QAction>
#include <QMenu>
#include <algorithm>
#include <filesystem>

#include "base/text.h"

namespace kelvane {

namespace {

constexpr std::string_view kSection = "Recent";

std::string KeyOf(std::size_t index) {
  return "file" + std::to_string(index + 1);
}

}  // namespace

void RecentFiles::Add(const std::string& file) {
  if (file.empty()) return;
  Remove(file);
  entries_.insert(entries_.begin(), file);
  if (entries_.size() > kLimit) entries_.resize(kLimit);
}

void RecentFiles::Remove(const std::string& file) {
  entries_.erase(std::remove(entries_.begin(), entries_.end(), file), entries_.end());
}

void RecentFiles::Read(const TMemIni& ini, const std::string& lastFile) {
  entries_.clear();
  for (std::size_t i = kLimit; i-- > 0;)
    Add(ini.ReadString(kSection, KeyOf(i), ""));
  // The remembered file may have been forgotten (not found): then it stays
  // out, else it leads.
  if (!lastFile.empty()) Add(lastFile);
}

void RecentFiles::Write(TMemIni& ini) const {
  for (std::size_t i = 0; i < kLimit; ++i)
    ini.WriteString(kSection, KeyOf(i), i < entries_.size() ? entries_[i] : std::string());
}

RecentFilesMenu::RecentFilesMenu(QMenu* menu, QAction* before,
                                 std::function<void(const std::string&)> open)
    : QObject(menu), menu_(menu), before_(before), open_(std::move(open)) {
  separator_ = menu_->insertSeparator(before_);
}

void RecentFilesMenu::Update(const RecentFiles& files, const std::string& shown) {
  for (QAction* item : items_) {
    menu_->removeAction(item);
    item->deleteLater();
  }
  items_.clear();
  for (const std::string& file : files.Entries()) {
    if (file == shown) continue;
    auto* item = new QAction(RecentCaption(file), menu_);
    item->setToolTip(QString::fromStdString(file));
    connect(item, &QAction::triggered, this, [this, file] { open_(file); });
    menu_->insertAction(separator_, item);
    items_.push_back(item);
  }
}

namespace {

bool IsConfigFile(const std::filesystem::path& path) {
  return AsciiLower(path.filename().string()) == "config.txt";
}

}  // namespace

QString RecentCaption(const std::string& file) {
  const std::filesystem::path path(file);
  const std::string folder = path.parent_path().filename().string();
  if (IsConfigFile(path) && !folder.empty()) return QString::fromStdString("  " + folder);
  return QString::fromStdString("  " + (folder.empty() ? "" : folder + "/") +
                                path.filename().string());
}

QString ReopenCaption(const std::string& file) {
  const std::filesystem::path path(file);
  const std::string folder = path.parent_path().filename().string();
  return QString::fromStdString(
      "  " + (IsConfigFile(path) && !folder.empty() ? folder : path.filename().string()));
}

}  // namespace kelvane
