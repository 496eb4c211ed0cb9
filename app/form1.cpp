// The main window's life (creation, first show, close), the settings file, the command
// line and the choice of files on both tabs.
#include "app/form1.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>

#include "app/key_store.h"
#include "app/message_box.h"
#include "app/settings_file.h"
#include "app/work.h"
#include "engine/combine.h"
#include "i18n/language.h"
#include "platform/file.h"
#include "platform/path.h"

namespace {

// The dialog's filter from the "Description|pattern|..." form a language file gives.
QString qtFilter(const QString& filter) {
  QStringList entries;
  for (const std::string& entry : i18n::dialogNameFilters(filter.toStdString()))
    entries << QString::fromStdString(entry);
  return entries.join(";;");
}

std::string pathForSelection(const std::string& path) {
  return path.empty() ? path : platform::absolutePath(path);
}

}  // namespace

TForm1* Form1 = nullptr;

TForm1::~TForm1() {
  if (Form1 == this) Form1 = nullptr;
  if (m_work) {
    m_work->requestStop();
    waitForWorker();
  }
  app::removeWarningBox();
}

void TForm1::FormCreate() {
  // The caption doubles as the application title: the taskbar shows the window title,
  // and every box of the program is titled with kCaption.
  app::installWarningBox();
  const std::string executable = platform::executablePath();
  ProgramFolder = platform::folderPart(executable);
  m_languageFolder = i18n::languageFolder(ProgramFolder);
  m_settingsPath = app::settingsFilePath(executable);

  const app::Settings settings = app::readSettings(m_settingsPath);
  LanguageName = settings.language;
  DeleteInput = settings.deleteInput;
  DeleteParts = settings.deleteParts;
  Compress = settings.compress;
  ContextMenu = settings.contextMenu;

  CheckBoxDeleteInput->setChecked(DeleteInput);
  CheckBoxDeleteTemp->setChecked(DeleteParts);
  cbCompressZip->setChecked(Compress);
  MChecksum->setChecked(settings.checksum);
  MShScript->setChecked(settings.shScript);
  MDeflate->setChecked(settings.deflate);
  // An unknown value leaves None checked.
  for (auto [item, value] : {std::pair{MRecovery1, "1"}, std::pair{MRecovery2, "2"},
                             std::pair{MRecovery10, "10%"}}) {
    if (settings.recovery == value) item->setChecked(true);
  }
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (m_shown) return;
  m_shown = true;
  if (const QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  FormShow();
}

void TForm1::FormShow() {
  // A failure is reported and ends the show step there; the window shows all the same.
  try {
    PageControl1->setCurrentWidget(TabSheetSplit);
    ListLanguageFiles(m_languageFolder);
    buildLanguageMenu();
    LoadLanguage(LanguageName);
    UpdateExplorerEntries();
    ComboBoxSize->setCurrentIndex(1);

    CommandSwitch = m_arguments.value(1);
    CommandFile = m_arguments.value(2);
    if (CommandSwitch.isEmpty()) return;
    if (CommandSwitch == "-s") {
      PageControl1->setCurrentWidget(TabSheetSplit);
      SelectSplitFile(CommandFile.toStdString());
    }
    if (CommandSwitch == "-j") {
      PageControl1->setCurrentWidget(TabSheetCombine);
      SelectFirstPart(CommandFile.toStdString());
    }
  } catch (const std::exception& error) {
    ApplicationEvents1Exception(error);
  }
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!m_closed) FormClose();
  m_closed = true;
  event->accept();
}

void TForm1::FormClose() {
  // The settings are saved first: a job still packing a part may take a while to end.
  app::Settings settings;
  settings.language = LanguageName;
  settings.deleteInput = DeleteInput;
  settings.deleteParts = DeleteParts;
  settings.compress = Compress;
  settings.contextMenu = ContextMenu;
  settings.checksum = MChecksum->isChecked();
  settings.shScript = MShScript->isChecked();
  settings.deflate = MDeflate->isChecked();
  settings.recovery = MRecovery1->isChecked()    ? "1"
                      : MRecovery2->isChecked()  ? "2"
                      : MRecovery10->isChecked() ? "10%"
                                                 : "none";
  platform::IoError err;
  const bool saved = app::writeSettings(m_settingsPath, settings, err);
  // A job still running is stopped; its files stay as far as they got.
  if (m_work) {
    m_work->requestStop();
    if (m_jobActive) JobFinished();
    waitForWorker();
  }
  // Failing to save must not keep the window from closing: report it and end anyway.
  if (!saved) ApplicationEvents1Exception(app::ShellError(err.message()));
}

void TForm1::MExitClick() {
  close();
}

void TForm1::CheckBoxDeleteInputClick() {
  DeleteInput = CheckBoxDeleteInput->isChecked();
}
void TForm1::CheckBoxDeleteTempClick() {
  DeleteParts = CheckBoxDeleteTemp->isChecked();
}
void TForm1::cbCompressZipClick() {
  Compress = cbCompressZip->isChecked();
}

void TForm1::CheckBoxBatClick() {
  const bool on = CheckBoxBat->isChecked();
  LabelFileBat->setEnabled(on);
  EditFileBat->setEnabled(on);
  CheckBoxDeleteTempBat->setEnabled(on);
}

void TForm1::RadioGroupSplitOptionsClick() {
  if (RadioGroupSplitOptionsItems->checkedId() == 1) {
    LabelSplitOption->setText(PartsSizeText);
    ComboBoxSize->show();
  } else {
    LabelSplitOption->setText(PartsNumberText);
    ComboBoxSize->hide();
  }
}

void TForm1::message(const QString& text) {
  app::showMessage(this, app::BoxKind::Warning, kCaption, text);
}

void TForm1::ButtonSelectClick() {
  const QString path = QFileDialog::getOpenFileName(
      this, QString(), QString::fromStdString(platform::currentFolder()),
      qtFilter(OpenDialogSplitFilter));
  if (!path.isEmpty()) SelectSplitFile(path.toStdString());
}

void TForm1::ButtonSelectFirstClick() {
  const QString path = QFileDialog::getOpenFileName(
      this, QString(), QString::fromStdString(platform::currentFolder()),
      qtFilter(OpenDialogCombineFilter));
  if (!path.isEmpty()) SelectFirstPart(path.toStdString());
}

void TForm1::SelectSplitFile(const std::string& chosen) {
  if (chosen.empty()) {
    message("No file to split was given.");
    return;
  }
  const std::string path = pathForSelection(chosen);
  platform::IoError err;
  std::int64_t size = -1;
  if (platform::folderExists(path)) {
    err.operation = "open";
    err.path = path;
    err.detail = "it is a folder, not a file";
  } else {
    platform::File file = platform::File::open(path, platform::File::Mode::Read, err);
    if (file.isOpen()) size = file.size(err);
  }
  if (size < 0) {
    message(QString::fromStdString(err.isSet() ? err.message() : "cannot open " + path));
    return;
  }
  EditSplitFolder->setText(QString::fromStdString(platform::folderPart(path)));
  InputPath = path;
  EditFileName->setText(QString::fromStdString(platform::namePart(path)));
  EditFileSize->setText(QString::number(size / 1024));
  // A split that is running keeps its buttons until it ends.
  if (!(m_jobActive && JobKind == "split")) ButtonSplit->setEnabled(true);
}

void TForm1::SelectFirstPart(const std::string& chosen) {
  const std::string path = pathForSelection(chosen);
  const engine::CombineSelection selection = engine::SelectFirstPart(path);
  EditCombineFolder->setText(QString::fromStdString(selection.folder));
  FirstPartPath = path;
  EditFirstName->setText(QString::fromStdString(selection.firstName));
  EditOutputFile->setText(QString::fromStdString(selection.outputName));
  if (EditFirstName->text().isEmpty()) return;
  if (!(m_jobActive && JobKind == "combine")) ButtonCombine->setEnabled(true);
  CombineCount = selection.combineCount;
}

void TForm1::ApplicationEvents1Exception(const std::exception&) {
  // The failure's own text is not shown; the box is centred on the screen.
  app::showMessage(nullptr, app::BoxKind::Plain, kCaption, "Error !");
}
