// The folder-browse dialog behind the two "..." buttons of the output folders, with a
// seam for window tests.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace app {

// Shows a modal folder dialog titled `caption` that opens on `startFolder`; returns the
// folder the user confirmed, or an empty text when the dialog was cancelled or closed.
using FolderDialog =
    std::function<QString(QWidget* parent, const QString& caption, const QString& startFolder)>;

// Replaces the dialog with `dialog`; an empty function restores the real one.
void setFolderDialog(FolderDialog dialog);
QString browseForFolder(QWidget* parent, const QString& caption, const QString& startFolder);

}  // namespace app
