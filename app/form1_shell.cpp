// The main window's ties to the desktop and to the other windows: folder pickers, files
// dropped on the window, the Language menu and the language files, the context-menu
// entries, the Settings dialog and the About box.
#include <QAction>
#include <QButtonGroup>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>
#include <optional>

#include "app/about_box.h"
#include "app/folder_dialog.h"
#include "app/form1.h"
#include "app/form_settings.h"
#include "app/key_store.h"
#include "i18n/language.h"
#include "platform/explorer_entries.h"
#include "platform/file.h"
#include "platform/path.h"

namespace {

// The local paths of the dropped items, in the order the drag source gives them. Paths
// are kept whole: they name the file exactly, however long they are.
QStringList droppedPaths(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  return paths;
}

}  // namespace

void TForm1::MSettingsClick() {
  if (FormSettings != nullptr) FormSettings->exec();
}

void TForm1::MAboutClick() {
  // Reloaded first, so that a language file edited since the last load shows everywhere.
  LoadLanguage(LanguageName);
  if (AboutBox != nullptr) AboutBox->exec();
}

// ---------------------------------------------------------------------------------------
// Folder pickers

void TForm1::ButtonSplitFolderClick() {
  pickFolder(EditSplitFolder);
}

void TForm1::ButtonCombineFolderClick() {
  pickFolder(EditCombineFolder);
}

void TForm1::pickFolder(QLineEdit* edit) {
  // The dialog opens on the edit's folder when it exists, else on the working folder;
  // a cancel keeps that start folder, so the edit always ends with a separator after a
  // pick.
  QString folder = edit->text();
  if (folder.isEmpty() || !platform::folderExists(folder.toStdString()))
    folder = QString::fromStdString(platform::currentFolder());
  const QString chosen = app::browseForFolder(this, "Select Directory", folder);
  if (!chosen.isEmpty()) folder = chosen;
  PickedFolder = folder;
  if (PickedFolder.isEmpty()) return;
  edit->setText(
      QString::fromStdString(platform::withTrailingSeparator(PickedFolder.toStdString())));
}

// ---------------------------------------------------------------------------------------
// Drag and drop

void TForm1::acceptDroppedFiles() {
  // Controls such as the edits take drops themselves; the filter sees every drag first,
  // so a file lands the same wherever on the window it is dropped.
  setAcceptDrops(true);
  installEventFilter(this);
  for (QWidget* child : findChildren<QWidget*>()) {
    if (child->window() == this) child->installEventFilter(this);
  }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (droppedPaths(drag->mimeData()).isEmpty()) break;
      // Only the paths are taken: the source is told "copy", never "move", so that no
      // file manager deletes the dropped file afterwards.
      drag->setDropAction(Qt::CopyAction);
      drag->accept();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const QStringList paths = droppedPaths(drop->mimeData());
      if (paths.isEmpty()) break;
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      StDropFiles1DropFiles(paths);
      return true;
    }
    default:
      break;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::StDropFiles1DropFiles(const QStringList& paths) {
  if (paths.isEmpty()) return;
  // Not checked here: the showing tab alone decides what the file becomes.
  const std::string first = paths.first().toStdString();
  if (PageControl1->currentWidget() == TabSheetSplit)
    SelectSplitFile(first);
  else if (PageControl1->currentWidget() == TabSheetCombine)
    SelectFirstPart(first);
}

// ---------------------------------------------------------------------------------------
// Context-menu entries

void TForm1::UpdateExplorerEntries() {
  platform::IoError err;
  if (!platform::updateExplorerEntries(
          app::keyStore(), ContextMenu, ExplorerSplitText.toStdString(),
          ExplorerJoinText.toStdString(), platform::executablePath(), err))
    throw app::ShellError(err.message());
}

// ---------------------------------------------------------------------------------------
// Languages

void TForm1::ListLanguageFiles(const std::string& folder) {
  LanguageFiles.clear();
  for (const std::string& name : i18n::ListLanguageFiles(folder))
    LanguageFiles << QString::fromStdString(name);
}

void TForm1::buildLanguageMenu() {
  std::vector<std::string> files;
  for (const QString& file : LanguageFiles) files.push_back(file.toStdString());
  int tag = 0;
  for (const i18n::LanguageMenuEntry& entry : i18n::languageMenuEntries(files, LanguageName)) {
    QAction* item = MLanguage->addAction(QString::fromStdString(entry.languageName));
    // A name that is no identifier, or one already taken, leaves the item unnamed.
    item->setObjectName(QString::fromStdString(entry.objectName));
    item->setData(tag++);
    item->setCheckable(true);
    item->setChecked(entry.checked);
    connect(item, &QAction::triggered, this, [this, item] { LanguageItemClick(item); });
  }
}

void TForm1::LanguageItemClick(QAction* item) {
  for (QAction* other : MLanguage->actions()) other->setChecked(false);
  item->setChecked(true);
  const int tag = item->data().toInt();
  if (tag < 0 || tag >= LanguageFiles.size()) return;
  LanguageName = i18n::languageNameOf(LanguageFiles.at(tag).toStdString());
  LoadLanguage(LanguageName);
}

namespace {

// The texts of the three windows as the key table names them.
class WindowTexts : public i18n::TextTargets {
 public:
  explicit WindowTexts(TForm1& form) : m_form(form) {}

  std::optional<std::string> currentText(const i18n::TextKey& row) override {
    switch (row.target) {
      case i18n::Target::Caption: {
        QObject* object = find(row);
        if (object == nullptr) return std::nullopt;
        return text(object).toStdString();
      }
      case i18n::Target::RadioItem: {
        QAbstractButton* item = m_form.RadioGroupSplitOptionsItems->button(row.index);
        if (item == nullptr) return std::nullopt;
        return item->text().toStdString();
      }
      case i18n::Target::DialogFilter:
      case i18n::Target::HeldText: {
        QString* field = heldField(row.object);
        if (field == nullptr) return std::nullopt;
        return field->toStdString();
      }
      case i18n::Target::LanguageItem: {
        QAction* item = languageItem(row.index);
        if (item == nullptr) return std::nullopt;
        return item->text().toStdString();
      }
    }
    return std::nullopt;
  }

  void setText(const i18n::TextKey& row, const std::string& bytes) override {
    const QString value = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    switch (row.target) {
      case i18n::Target::Caption:
        if (QObject* object = find(row)) setText(object, value);
        return;
      case i18n::Target::RadioItem:
        if (QAbstractButton* item = m_form.RadioGroupSplitOptionsItems->button(row.index))
          item->setText(value);
        return;
      case i18n::Target::DialogFilter:
      case i18n::Target::HeldText:
        if (QString* field = heldField(row.object)) *field = value;
        return;
      case i18n::Target::LanguageItem:
        if (QAction* item = languageItem(row.index)) item->setText(value);
        return;
    }
  }

 private:
  QWidget* window(i18n::Window which) const {
    switch (which) {
      case i18n::Window::Main:
        return &m_form;
      case i18n::Window::Settings:
        return FormSettings;
      case i18n::Window::About:
        return AboutBox;
    }
    return nullptr;
  }

  QObject* find(const i18n::TextKey& row) const {
    QWidget* root = window(row.window);
    if (root == nullptr) return nullptr;
    const QString name =
        QString::fromUtf8(row.object.data(), static_cast<qsizetype>(row.object.size()));
    if (root->objectName() == name) return root;
    return root->findChild<QObject*>(name);
  }

  QString* heldField(std::string_view name) const {
    if (name == "OpenDialogSplit") return &m_form.OpenDialogSplitFilter;
    if (name == "OpenDialogCombine") return &m_form.OpenDialogCombineFilter;
    if (name == "PartsNumberText") return &m_form.PartsNumberText;
    if (name == "PartsSizeText") return &m_form.PartsSizeText;
    if (name == "ExplorerSplitText") return &m_form.ExplorerSplitText;
    if (name == "ExplorerJoinText") return &m_form.ExplorerJoinText;
    return nullptr;
  }

  QAction* languageItem(int position) const {
    const QList<QAction*> items = m_form.MLanguage->actions();
    if (position < 1 || position > items.size()) return nullptr;
    return items.at(position - 1);
  }

  int tabIndex(QObject* object) const {
    auto* page = qobject_cast<QWidget*>(object);
    return page == nullptr ? -1 : m_form.PageControl1->indexOf(page);
  }

  QString text(QObject* object) const {
    if (const int tab = tabIndex(object); tab >= 0) return m_form.PageControl1->tabText(tab);
    if (auto* menu = qobject_cast<QMenu*>(object)) return menu->title();
    if (auto* action = qobject_cast<QAction*>(object)) return action->text();
    if (auto* group = qobject_cast<QGroupBox*>(object)) return group->title();
    if (auto* label = qobject_cast<QLabel*>(object)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(object)) return button->text();
    if (auto* widget = qobject_cast<QWidget*>(object)) return widget->windowTitle();
    return {};
  }

  void setText(QObject* object, const QString& value) const {
    if (const int tab = tabIndex(object); tab >= 0) {
      m_form.PageControl1->setTabText(tab, value);
    } else if (auto* menu = qobject_cast<QMenu*>(object)) {
      menu->setTitle(value);
    } else if (auto* action = qobject_cast<QAction*>(object)) {
      action->setText(value);
    } else if (auto* group = qobject_cast<QGroupBox*>(object)) {
      group->setTitle(value);
    } else if (auto* label = qobject_cast<QLabel*>(object)) {
      label->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(object)) {
      button->setText(value);
    } else if (auto* widget = qobject_cast<QWidget*>(object)) {
      widget->setWindowTitle(value);
    }
  }

  TForm1& m_form;
};

}  // namespace

void TForm1::LoadLanguage(const std::string& name) {
  {
    const i18n::LanguageFile file = i18n::LanguageFile::open(m_languageFolder, name);
    WindowTexts targets(*this);
    i18n::applyLanguage(file, targets);
  }
  RadioGroupSplitOptionsClick();
  followTextDirection();
  nameForScreenReaders();
}
