// The file and folder choosers on Qt (platform/choosers.h): Qt's
// file dialogs, which are the desktop's own where its platform theme
// provides them (GNOME's, KDE's, the portal's) and Qt's elsewhere.
#include <QFileDialog>
#include <QStringList>
#include <algorithm>

#include "platform/choosers.h"
#include "platform/ui_qt/back_end.h"

namespace platform {
namespace {

bool CopyOut(const QString& chosen, char16_t* out, std::size_t capacity) {
  if (chosen.isEmpty() || static_cast<std::size_t>(chosen.size()) >= capacity) return false;
  std::copy_n(reinterpret_cast<const char16_t*>(chosen.utf16()), chosen.size(), out);
  out[chosen.size()] = u'\0';
  return true;
}

}  // namespace

bool ChooseFileToOpen(Window owner, const char16_t* caption, const FileFilter* filters,
                      std::size_t filterCount, char16_t* path, std::size_t capacity) {
  QStringList named;
  for (std::size_t i = 0; i < filterCount; ++i) {
    named << QStringLiteral("%1 (%2)").arg(QString::fromUtf16(filters[i].name),
                                           QString::fromUtf16(filters[i].pattern));
  }
  QString chosen = QFileDialog::getOpenFileName(qt::WidgetOf(owner), QString::fromUtf16(caption),
                                                QString(), named.join(QStringLiteral(";;")));
  return CopyOut(chosen, path, capacity);
}

bool ChooseFolder(Window owner, const char16_t* caption, char16_t* folder, std::size_t capacity) {
  QString chosen = QFileDialog::getExistingDirectory(
      qt::WidgetOf(owner), QString::fromUtf16(caption), QString::fromUtf16(folder));
  return CopyOut(chosen, folder, capacity);
}

}  // namespace platform
