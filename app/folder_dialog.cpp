// The folder-browse dialog.
#include "app/folder_dialog.h"

#include <QFileDialog>

namespace app {
namespace {

FolderDialog& replacement() {
  static FolderDialog dialog;
  return dialog;
}

}  // namespace

void setFolderDialog(FolderDialog dialog) {
  replacement() = std::move(dialog);
}

QString browseForFolder(QWidget* parent, const QString& caption, const QString& startFolder) {
  if (replacement()) return replacement()(parent, caption, startFolder);
  return QFileDialog::getExistingDirectory(parent, caption, startFolder, QFileDialog::ShowDirsOnly);
}

}  // namespace app
