// The shell around the main window: the Settings dialog and the context-menu entries,
// folder pickers, dropped files, the central error report, language files and the
// Language menu, and the About box with its link.
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "app/about_box.h"
#include "app/application.h"
#include "app/folder_dialog.h"
#include "app/form1.h"
#include "app/form_settings.h"
#include "app/gauge.h"
#include "app/key_store.h"
#include "app/message_box.h"
#include "platform/path.h"
#include "platform/registry.h"
#include "platform/shell_menu.h"

namespace {

void writeFile(const QString& path, const std::string& bytes) {
  std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
  out << bytes;
}

QColor textColor(const QWidget* widget) {
  return widget->palette().color(QPalette::WindowText);
}

void sendMouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButton button) {
  const Qt::MouseButtons buttons =
      type == QEvent::MouseMove ? Qt::NoButton : Qt::MouseButtons(button);
  QMouseEvent event(type, QPointF(at), QPointF(widget->mapToGlobal(at)), button, buttons,
                    Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

// Drags `paths` over `target` and drops them there; true when the drag was accepted.
bool dropFiles(QWidget* target, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  data.setUrls(urls);
  const QPoint at = target->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  return enter.isAccepted() && drop.isAccepted();
}

QStringList itemTexts(const QMenu* menu) {
  QStringList texts;
  for (const QAction* item : menu->actions()) texts << item->text();
  return texts;
}

// Positions (from 0) of the items that carry the check mark.
QList<int> checkedItems(const QMenu* menu) {
  QList<int> positions;
  const QList<QAction*> items = menu->actions();
  for (int i = 0; i < items.size(); ++i) {
    if (items.at(i)->isChecked()) positions << i;
  }
  return positions;
}

}  // namespace

class ShellTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void dialogLayouts();
  void settingsDialogAppliesTheBoxOnClose();
  void refusedWriteKeepsSettingsDialogOpen();
  void settingsCommandShowsDialogModally();
  void folderPicks_data();
  void folderPicks();
  void dropsOnAnyControl_data();
  void dropsOnAnyControl();
  void failureInHandlerIsReported();
  void languageMenuAndTexts();
  void missingEmptyAndQuotedValues();
  void labelSplitOptionAfterLoad();
  void tenthLanguageKeepsItsName();
  void aboutReloadsEditedLanguage();
  void aboutLink();
  void screenshots();

 private:
  // The three windows as the program makes them; the dialogs go with the main window.
  std::unique_ptr<TForm1> makeWindows(bool show = true);
  QString path(const QString& name) const { return m_dir->filePath(name); }
  QString languageFolder() const { return path("language"); }
  void writeLanguage(const QString& name, const std::string& lines);
  std::optional<std::string> storedValue(const std::string& key) const;
  bool fileManagerEntriesExist() const;

  std::unique_ptr<QTemporaryDir> m_dir;
  QStringList m_messages;
  QStringList m_titles;
  QStringList m_opened;
};

void ShellTest::init() {
  m_dir = std::make_unique<QTemporaryDir>();
  QVERIFY(m_dir->isValid());
  qputenv("SUNDRIX_SETTINGS", path("sundrix.ini").toLocal8Bit());
  qputenv("XDG_CONFIG_HOME", path("config").toLocal8Bit());
  qputenv("XDG_DATA_HOME", path("data").toLocal8Bit());
  app::recreateKeyStore();
  QVERIFY(QDir().mkpath(languageFolder()));
  m_messages.clear();
  m_titles.clear();
  m_opened.clear();
  app::setMessageHook([this](QWidget*, app::BoxKind, const QString& title, const QString& text) {
    m_titles << title;
    m_messages << text;
  });
  app::setUrlOpener([this](const QString& text) { m_opened << text; });
}

void ShellTest::cleanup() {
  app::setMessageHook({});
  app::setUrlOpener({});
  app::setFolderDialog({});
  m_dir.reset();
}

std::unique_ptr<TForm1> ShellTest::makeWindows(bool show) {
  auto form = std::make_unique<TForm1>();
  form->setArguments({"sundrix"});
  form->setLanguageFolder(languageFolder().toStdString());
  new TAboutBox(form.get());
  new TFormSettings(form.get());
  if (show) form->show();
  return form;
}

void ShellTest::writeLanguage(const QString& name, const std::string& lines) {
  writeFile(QDir(languageFolder()).filePath(name), "[Interface]\n" + lines);
}

std::optional<std::string> ShellTest::storedValue(const std::string& key) const {
  platform::Registry store;  // made from the same environment
  return store.readDefaultString(key);
}

bool ShellTest::fileManagerEntriesExist() const {
  return !QDir(path("data/") + platform::kKdeServiceMenuFolder)
              .entryList(QDir::Files | QDir::NoDotAndDotDot)
              .isEmpty();
}

void ShellTest::dialogLayouts() {
  auto form = makeWindows();
  QCOMPARE(FormSettings->windowTitle(), QString("Settings"));
  QCOMPARE(FormSettings->size(), QSize(298, 75));
  QCOMPARE(FormSettings->minimumSize(), FormSettings->maximumSize());
  QCOMPARE(FormSettings->cbContextMenu->text(), QString("context menu"));
  QCOMPARE(FormSettings->cbContextMenu->width(), 169);
  QCOMPARE(FormSettings->ButtonClose->text(), QString("Close"));
  QCOMPARE(FormSettings->ButtonClose->size(), QSize(75, 25));
  QCOMPARE(FormSettings->ButtonClose->x(), (298 - 75) / 2);
  QVERIFY(!FormSettings->ButtonClose->isDefault() && !FormSettings->ButtonClose->autoDefault());

  QCOMPARE(AboutBox->windowTitle(), QString("About Program"));
  QCOMPARE(AboutBox->size(), QSize(321, 175));
  QCOMPARE(AboutBox->Panel1->geometry(), QRect(8, 8, 305, 161));
  QCOMPARE(AboutBox->ProgramIcon->size(), QSize(32, 32));
  QCOMPARE(AboutBox->LabelAbout->size(), QSize(249, 25));
  QVERIFY(AboutBox->LabelTitle->font().bold());
  QCOMPARE(textColor(AboutBox->LabelTitle), QColor(0, 0, 128));
  QCOMPARE(textColor(AboutBox->LabelAbout), QColor(128, 0, 0));
  QCOMPARE(textColor(AboutBox->LabelEmail), QColor(0, 128, 128));
  QVERIFY(AboutBox->LabelSite->font().underline());
  QCOMPARE(AboutBox->OKButton->size(), QSize(74, 25));
  QVERIFY(AboutBox->OKButton->isDefault());
  QVERIFY(!AboutBox->windowIcon().isNull());
}

void ShellTest::settingsDialogAppliesTheBoxOnClose() {
  writeLanguage("English.ini", "StringWESplit=Split it\nStringWEJoin=Join them\n");
  auto form = makeWindows();
  // The first show wrote the entries with the captions just loaded.
  QCOMPARE(storedValue("*\\shell\\split"), std::optional<std::string>("Split it"));
  QCOMPARE(storedValue("*\\shell\\join\\command"),
           std::optional<std::string>("\"" + platform::executablePath() + "\" \"-j\" \"%1\""));
  QVERIFY(fileManagerEntriesExist());

  FormSettings->show();
  QVERIFY(FormSettings->cbContextMenu->isChecked());
  FormSettings->cbContextMenu->setChecked(false);
  QTest::mouseClick(FormSettings->ButtonClose, Qt::LeftButton);
  QVERIFY(!FormSettings->isVisible());
  QVERIFY(!form->ContextMenu);
  QVERIFY(!storedValue("*\\shell\\split"));
  QVERIFY(!storedValue("*\\shell\\join\\command"));
  QVERIFY(!fileManagerEntriesExist());

  // Shown again, the box follows the setting; closed through the close box with the
  // box checked, the entries come back.
  FormSettings->show();
  QVERIFY(!FormSettings->cbContextMenu->isChecked());
  FormSettings->cbContextMenu->setChecked(true);
  QVERIFY(FormSettings->close());
  QVERIFY(form->ContextMenu);
  QCOMPARE(storedValue("*\\shell\\join"), std::optional<std::string>("Join them"));
  QVERIFY(fileManagerEntriesExist());
  // Esc does not close it.
  FormSettings->show();
  QTest::keyClick(FormSettings, Qt::Key_Escape);
  QVERIFY(FormSettings->isVisible());
  QVERIFY(m_messages.isEmpty());
}

void ShellTest::refusedWriteKeepsSettingsDialogOpen() {
  // A folder below a plain file cannot be made, not even by root.
  writeFile(path("plain-file"), "x");
  qputenv("XDG_CONFIG_HOME", path("plain-file/sub").toLocal8Bit());
  app::recreateKeyStore();
  writeFile(path("a.bin"), "abc");
  auto form = std::make_unique<TForm1>();
  form->setArguments({"sundrix", "-s", path("a.bin")});
  form->setLanguageFolder(languageFolder().toStdString());
  new TAboutBox(form.get());
  new TFormSettings(form.get());
  form->show();
  // The show step is reported and cut off after the failed write: no "Kb", and the
  // command line is not handled; the window shows all the same.
  QCOMPARE(m_messages, QStringList({"Error !"}));
  QCOMPARE(m_titles, QStringList({"Sundrix 1.72"}));
  QVERIFY(form->isVisible());
  QCOMPARE(form->ComboBoxSize->currentIndex(), -1);
  QVERIFY(form->EditFileName->text().isEmpty());

  FormSettings->show();
  QVERIFY(FormSettings->cbContextMenu->isChecked());
  QTest::mouseClick(FormSettings->ButtonClose, Qt::LeftButton);
  QCOMPARE(m_messages.size(), 2);
  QVERIFY(FormSettings->isVisible());
  QVERIFY(!FormSettings->close());  // the close box fails the same way
  QCOMPARE(m_messages.size(), 3);
  QVERIFY(FormSettings->isVisible());

  FormSettings->cbContextMenu->setChecked(false);
  QTest::mouseClick(FormSettings->ButtonClose, Qt::LeftButton);
  QVERIFY(!FormSettings->isVisible());
  QCOMPARE(m_messages.size(), 3);
  QVERIFY(!form->ContextMenu);
  FormSettings->show();
  QVERIFY(!FormSettings->cbContextMenu->isChecked());
}

void ShellTest::settingsCommandShowsDialogModally() {
  auto form = makeWindows();
  bool wasModal = false;
  QTimer::singleShot(0, this, [&] {
    wasModal = FormSettings->isVisible() && QApplication::activeModalWidget() == FormSettings;
    FormSettings->cbContextMenu->setChecked(false);
    FormSettings->ButtonClose->click();
  });
  form->MSettings->trigger();
  QVERIFY(wasModal);
  QVERIFY(!form->ContextMenu);
}

void ShellTest::folderPicks_data() {
  QTest::addColumn<QString>("editText");  // "@" stands for the temporary folder
  QTest::addColumn<QString>("chosen");
  QTest::addColumn<QString>("expectedStart");
  QTest::addColumn<QString>("expected");
  const QString cwd = QString::fromStdString(platform::currentFolder());
  QTest::newRow("confirmed") << ""
                             << "@/Data" << cwd << "@/Data/";
  QTest::newRow("root keeps one separator") << "@/"
                                            << "/"
                                            << "@/"
                                            << "/";
  QTest::newRow("cancel with a folder") << "@/"
                                        << ""
                                        << "@/"
                                        << "@/";
  QTest::newRow("cancel, folder without separator") << "@"
                                                    << ""
                                                    << "@"
                                                    << "@/";
  QTest::newRow("cancel with nothing chosen") << ""
                                              << "" << cwd << cwd;
  QTest::newRow("cancel with a missing folder") << "@/gone/"
                                                << "" << cwd << cwd;
}

void ShellTest::folderPicks() {
  QFETCH(QString, editText);
  QFETCH(QString, chosen);
  QFETCH(QString, expectedStart);
  QFETCH(QString, expected);
  const auto expand = [this](QString text) { return text.replace("@", m_dir->path()); };
  QVERIFY(QDir().mkpath(path("Data")));
  auto form = makeWindows();
  for (const bool split : {true, false}) {
    QLineEdit* edit = split ? form->EditSplitFolder : form->EditCombineFolder;
    QPushButton* button = split ? form->ButtonSplitFolder : form->ButtonCombineFolder;
    edit->setText(expand(editText));
    QString caption;
    QString start;
    app::setFolderDialog([&](QWidget*, const QString& title, const QString& folder) {
      caption = title;
      start = folder;
      return expand(chosen);
    });
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(caption, QString("Select Directory"));
    QCOMPARE(start, expand(expectedStart));
    QCOMPARE(edit->text(), expand(expected));
  }
}

void ShellTest::dropsOnAnyControl_data() {
  QTest::addColumn<QString>("target");
  QTest::addColumn<bool>("combineTab");
  for (const char* name : {"Form1", "CGauge1", "StatusBar1", "PageControl1", "TabSheetSplit",
                           "GroupBoxSplit", "EditFileName", "EditSplitOption", "ButtonSplit",
                           "RadioGroupSplitOptionsSize", "LabelFileBat"})
    QTest::newRow(name) << name << false;
  for (const char* name : {"CGauge1", "TabSheetCombine", "EditOutputFile", "EditFirstName",
                           "CheckBoxDeleteTemp", "ButtonStopCombine"})
    QTest::newRow(qPrintable(QString("combine: ") + name)) << name << true;
}

void ShellTest::dropsOnAnyControl() {
  QFETCH(QString, target);
  QFETCH(bool, combineTab);
  writeFile(path("movie.avi.001"), std::string(3000, 'a'));
  writeFile(path("second.bin"), "b");
  writeFile(path("third.bin"), "c");
  auto form = makeWindows();
  if (combineTab) form->PageControl1->setCurrentWidget(form->TabSheetCombine);
  QWidget* widget =
      target == "Form1" ? static_cast<QWidget*>(form.get()) : form->findChild<QWidget*>(target);
  QVERIFY(widget != nullptr);
  QVERIFY(dropFiles(widget, {path("movie.avi.001"), path("second.bin"), path("third.bin")}));
  // The first file counts, on the tab that is showing only.
  if (combineTab) {
    QCOMPARE(form->EditFirstName->text(), QString("movie.avi.001"));
    QCOMPARE(form->EditOutputFile->text(), QString("movie.avi"));
    QVERIFY(form->EditFileName->text().isEmpty());
  } else {
    QCOMPARE(form->EditFileName->text(), QString("movie.avi.001"));
    QCOMPARE(form->EditFileSize->text(), QString("2"));
    QVERIFY(form->ButtonSplit->isEnabled());
    QVERIFY(form->EditFirstName->text().isEmpty());
  }
  QVERIFY(m_messages.isEmpty());
}

void ShellTest::failureInHandlerIsReported() {
  auto form = makeWindows();
  auto* button = new QPushButton("fail", form->GroupBoxSplit);
  int calls = 0;
  connect(button, &QPushButton::clicked, this, [&] {
    ++calls;
    if (calls == 1) throw std::runtime_error("disk on fire");
    throw 42;  // not even an exception class
  });
  QTest::mouseClick(button, Qt::LeftButton);
  QCOMPARE(m_messages, QStringList({"Error !"}));
  QCOMPARE(m_titles, QStringList({"Sundrix 1.72"}));
  // The program goes on: the next events are handled as usual.
  QTest::mouseClick(button, Qt::LeftButton);
  QCOMPARE(m_messages, QStringList({"Error !", "Error !"}));
  QVERIFY(form->isVisible());
  QTest::mouseClick(form->RadioGroupSplitOptionsItems->button(1), Qt::LeftButton, {}, QPoint(6, 8));
  QVERIFY(!form->ComboBoxSize->isHidden());
}

void ShellTest::languageMenuAndTexts() {
  const QString shipped = QString(SUNDRIX_SOURCE_DIR) + "/language/";
  for (const char* name : {"Russian.ini", "English.ini"})
    QVERIFY(QFile::copy(shipped + name, QDir(languageFolder()).filePath(name)));
  writeFile(path("sundrix.ini"), "[Options]\nLanguage=Russian\n");
  auto form = makeWindows();
  // Listed in name order; the Russian file renames the first two positions.
  QCOMPARE(form->MLanguage->actions().size(), 2);
  QCOMPARE(form->MLanguage->actions().at(0)->objectName(), QString("MLangEnglish"));
  QCOMPARE(form->MLanguage->actions().at(1)->objectName(), QString("MLangRussian"));
  QCOMPARE(itemTexts(form->MLanguage), QStringList({"Арабский", "Китайский"}));
  QCOMPARE(checkedItems(form->MLanguage), QList<int>({1}));
  QCOMPARE(form->GroupBoxSplit->title(), QString(" Разделение файла "));
  QCOMPARE(form->LabelSplitOption->text(), QString("Число частей: "));
  QCOMPARE(AboutBox->LabelAuthor->text(), QString("Разработчики Sundrix"));
  QCOMPARE(AboutBox->windowTitle(), QString("О программе"));
  QVERIFY(FormSettings->ButtonClose->text() != "Close");

  // A pick checks its item alone and applies its file at once.
  form->MLanguage->actions().at(0)->trigger();
  QCOMPARE(checkedItems(form->MLanguage), QList<int>({0}));
  QCOMPARE(form->LanguageName, std::string("English"));
  QCOMPARE(itemTexts(form->MLanguage), QStringList({"Arabic", "Chinese"}));
  QCOMPARE(form->GroupBoxSplit->title(), QString(" Split File "));
  QCOMPARE(form->LabelSplitOption->text(), QString("Parts Number: "));
  QCOMPARE(FormSettings->ButtonClose->text(), QString("Close"));
  QCOMPARE(form->ExplorerSplitText, QString("Split with Sundrix"));
  // Picking the checked item again keeps it checked.
  form->MLanguage->actions().at(0)->trigger();
  QCOMPARE(checkedItems(form->MLanguage), QList<int>({0}));
}

void ShellTest::missingEmptyAndQuotedValues() {
  writeLanguage("A.ini",
                "GroupBoxSplit->Caption=\"  Alpha  \"\nStringPartsNumber=Parts A\n"
                "StringPartsSize=Size A\nOpenDialogSplit->Filter=Alles|*\n"
                "RadioGroupSplitOptions->Items->Strings[1]=Groesse\n");
  writeLanguage("B.ini", "LabelFileName->Caption=\nMLangArabic->Caption=Erste\n");
  writeLanguage("Turkish.INI", "x=1\n");  // the extension counts with its letter case
  writeLanguage("x.ini.old", "TabSheetSplit->Caption=Old\n");
  auto form = makeWindows();
  QCOMPARE(itemTexts(form->MLanguage), QStringList({"A", "B", "x"}));
  QCOMPARE(form->MLanguage->actions().at(2)->objectName(), QString("MLangx"));
  QVERIFY(checkedItems(form->MLanguage).isEmpty());  // no English here

  form->MLanguage->actions().at(0)->trigger();
  QCOMPARE(form->GroupBoxSplit->title(), QString("  Alpha  "));
  QCOMPARE(form->OpenDialogSplitFilter, QString("Alles|*"));
  QCOMPARE(form->RadioGroupSplitOptionsItems->button(1)->text(), QString("Groesse"));
  form->MLanguage->actions().at(1)->trigger();
  QCOMPARE(checkedItems(form->MLanguage), QList<int>({1}));
  // The first language-name key renames the first item, whatever its language.
  QCOMPARE(itemTexts(form->MLanguage), QStringList({"Erste", "B", "x"}));
  QCOMPARE(form->GroupBoxSplit->title(), QString("  Alpha  "));  // key missing: kept
  QCOMPARE(form->LabelFileName->text(), QString());              // empty value: emptied
  QCOMPARE(form->LabelSplitOption->text(), QString("Parts A"));
  // The size choice shows the part-size text.
  QTest::mouseClick(form->RadioGroupSplitOptionsItems->button(1), Qt::LeftButton, {}, QPoint(6, 8));
  QCOMPARE(form->LabelSplitOption->text(), QString("Size A"));
  form->MLanguage->actions().at(2)->trigger();
  QCOMPARE(form->LanguageName, std::string("x"));
  // The pick loads x.ini, which does not exist: nothing changes.
  QCOMPARE(form->PageControl1->tabText(0), QString("Split"));
}

void ShellTest::labelSplitOptionAfterLoad() {
  writeLanguage("English.ini", "LabelSplitOption->Caption=Never seen\n");
  auto form = makeWindows();
  QCOMPARE(checkedItems(form->MLanguage), QList<int>({0}));
  QCOMPARE(form->LabelSplitOption->text(), QString());
}

void ShellTest::tenthLanguageKeepsItsName() {
  const char* names[] = {"Arabic",  "Chinese", "Dutch",   "English", "French",
                         "Italian", "Russian", "Spanish", "Turkish", "Zulu"};
  const char* keys[] = {"MLangArabic",  "MLangChinese", "MLangDutch",
                        "MLangEnglish", "MLangFrench",  "MLangItalian",
                        "MLangRussian", "MLangSpanish", "MLangTurkish"};
  std::string lines;
  for (int i = 0; i < 9; ++i)
    lines += std::string(keys[i]) + "->Caption=L" + std::to_string(i + 1) + "\n";
  for (const char* name : names) writeLanguage(QString(name) + ".ini", "");
  writeLanguage("English.ini", lines);
  auto form = makeWindows();
  QCOMPARE(itemTexts(form->MLanguage),
           QStringList({"L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8", "L9", "Zulu"}));
  QCOMPARE(checkedItems(form->MLanguage), QList<int>({3}));
}

void ShellTest::aboutReloadsEditedLanguage() {
  writeLanguage("English.ini", "TabSheetSplit->Caption=Before\n");
  auto form = makeWindows();
  QCOMPARE(form->PageControl1->tabText(0), QString("Before"));
  writeLanguage("English.ini",
                "TabSheetSplit->Caption=After\nAboutBox->LabelAbout->Caption=Edited\n");
  QString tabWhileShown;
  QString aboutWhileShown;
  bool modal = false;
  QTimer::singleShot(0, this, [&] {
    modal = QApplication::activeModalWidget() == AboutBox;
    tabWhileShown = form->PageControl1->tabText(0);
    aboutWhileShown = AboutBox->LabelAbout->text();
    QTest::keyClick(AboutBox, Qt::Key_Escape);  // Esc does not close the box ...
    modal = modal && AboutBox->isVisible();
    QTest::keyClick(AboutBox, Qt::Key_Return);  // ... Enter presses "OK"
  });
  form->MAbout->trigger();
  QVERIFY(modal);
  QVERIFY(!AboutBox->isVisible());
  QCOMPARE(tabWhileShown, QString("After"));
  QCOMPARE(aboutWhileShown, QString("Edited"));
}

void ShellTest::aboutLink() {
  auto form = makeWindows();
  AboutBox->show();
  QLabel* link = AboutBox->LabelSite;
  QCOMPARE(textColor(link), QColor(Qt::blue));
  QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
  sendMouse(link, QEvent::MouseMove, QPoint(2, 2), Qt::NoButton);
  QCOMPARE(textColor(link), QColor(Qt::red));
  // Over another label the link keeps its colour; over the free panel it turns blue.
  const QPoint onTitle = AboutBox->LabelTitle->geometry().center();
  QCOMPARE(AboutBox->Panel1->childAt(onTitle), AboutBox->LabelTitle);
  sendMouse(AboutBox->LabelTitle, QEvent::MouseMove, QPoint(2, 2), Qt::NoButton);
  QCOMPARE(textColor(link), QColor(Qt::red));
  const QPoint free(AboutBox->Panel1->width() - 6, link->geometry().bottom() + 4);
  QVERIFY(AboutBox->Panel1->childAt(free) == nullptr);
  sendMouse(AboutBox->Panel1, QEvent::MouseMove, free, Qt::NoButton);
  QCOMPARE(textColor(link), QColor(Qt::blue));

  sendMouse(link, QEvent::MouseButtonPress, QPoint(2, 2), Qt::RightButton);
  sendMouse(link, QEvent::MouseButtonPress, QPoint(2, 2), Qt::LeftButton);
  QCOMPARE(m_opened, QStringList({"https://sundrix.example.org/", "https://sundrix.example.org/"}));
  link->setText(QString());
  sendMouse(link, QEvent::MouseButtonPress, QPoint(0, 0), Qt::MiddleButton);
  QCOMPARE(m_opened.size(), 3);
  QCOMPARE(m_opened.last(), QString());
  AboutBox->accept();
}

// Pictures of the windows for a look by eye, written only when SUNDRIX_SCREENSHOTS
// names a folder.
void ShellTest::screenshots() {
  const QString folder = qEnvironmentVariable("SUNDRIX_SCREENSHOTS");
  if (folder.isEmpty()) QSKIP("SUNDRIX_SCREENSHOTS is not set");
  const QString shipped = QString(SUNDRIX_SOURCE_DIR) + "/language/";
  for (const QString& name : QDir(shipped).entryList({"*.ini"}))
    QFile::copy(shipped + name, QDir(languageFolder()).filePath(name));
  auto form = makeWindows();
  QVERIFY(form->grab().save(folder + "/main-english.png"));
  form->PageControl1->setCurrentWidget(form->TabSheetCombine);
  QVERIFY(form->grab().save(folder + "/main-english-combine.png"));
  form->PageControl1->setCurrentWidget(form->TabSheetSplit);
  FormSettings->show();
  QVERIFY(FormSettings->grab().save(folder + "/settings.png"));
  FormSettings->close();
  AboutBox->show();
  QVERIFY(AboutBox->grab().save(folder + "/about.png"));
  AboutBox->accept();
  for (QAction* item : form->MLanguage->actions()) {
    if (item->objectName() == "MLangRussian") item->trigger();
  }
  QTest::mouseClick(form->RadioGroupSplitOptionsItems->button(1), Qt::LeftButton, {}, QPoint(6, 8));
  QVERIFY(form->grab().save(folder + "/main-russian.png"));
  AboutBox->show();
  QVERIFY(AboutBox->grab().save(folder + "/about-russian.png"));
  AboutBox->accept();
}

// The application object is the program's own, so that failures in handlers take the
// same way as in the running program.
int main(int argc, char* argv[]) {
  app::TApplication application(argc, argv);
  ShellTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "shell_test.moc"
