// The main window: the Split and Combine tabs, the gauge and status line, the menu, the
// settings file and the command line, and the control of the one job that may run.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "app/live_controls.h"
#include "engine/job.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class QTabWidget;
class TGauge;
class Work;

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  // Builds the controls, then runs FormCreate.
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  static constexpr const char* kCaption = "Sundrix 1.72";
  // The area below the menu bar that the tabs, the gauge and the status line fill.
  static constexpr int kClientWidth = 448;
  static constexpr int kClientHeight = 371;

  // The command line as FormShow takes it; the application's own by default.
  void setArguments(const QStringList& arguments) { m_arguments = arguments; }
  // The folder the language files are looked for in; by default the "language" folder
  // beside the program, else the installed one. Tests set it before the first show.
  const std::string& languageFolder() const { return m_languageFolder; }
  void setLanguageFolder(const std::string& folder) { m_languageFolder = folder; }
  const std::string& settingsPath() const { return m_settingsPath; }
  // True from a start until JobFinished.
  bool jobRunning() const { return m_jobActive; }
  // True once the last worker's routine has returned (it may still wait for WorkDone).
  bool workerEnded() const;
  // Blocks (while the GUI keeps handling the worker's hand-overs) until the last worker
  // has ended.
  void waitForWorker();
  // Shows one update of the job `job` (gauge, status line, title); updates of a job that
  // was stopped or has ended are dropped.
  void showProgress(std::uint64_t job, const engine::Progress& progress);
  // What a stopped job still has to say (a failure, or parts kept unarchived), shown
  // once its worker has ended.
  void reportStoppedJob(const engine::JobResult& result);

  // Controls, named as their objectName.
  QMenu* MFile = nullptr;
  QAction* MVerify = nullptr;  // checks the Combine tab's parts against their checksums
  QAction* MExit = nullptr;
  QMenu* MOptions = nullptr;
  QAction* MSettings = nullptr;
  QAction* MChecksum = nullptr;  // checkable: a split writes NAME.sha256
  QAction* MShScript = nullptr;  // checkable: the .bat gets a .sh beside it
  QAction* MDeflate = nullptr;   // checkable: compressed parts are deflated, not shrunk
  // Recovery files beside the parts: one of None, 1 part, 2 parts, 10 % is checked.
  QMenu* MRecovery = nullptr;
  QAction* MRecoveryNone = nullptr;
  QAction* MRecovery1 = nullptr;
  QAction* MRecovery2 = nullptr;
  QAction* MRecovery10 = nullptr;
  QMenu* MLanguage = nullptr;
  QMenu* MHelp = nullptr;
  QAction* MAbout = nullptr;
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheetSplit = nullptr;
  QWidget* TabSheetCombine = nullptr;
  TGauge* CGauge1 = nullptr;
  QStatusBar* StatusBar1 = nullptr;

  QGroupBox* GroupBoxSplit = nullptr;
  QLabel* LabelFileName = nullptr;
  QLineEdit* EditFileName = nullptr;
  QPushButton* ButtonSelect = nullptr;
  QLabel* LabelSplitFolder = nullptr;
  QLineEdit* EditSplitFolder = nullptr;
  QPushButton* ButtonSplitFolder = nullptr;
  QGroupBox* RadioGroupSplitOptions = nullptr;
  QButtonGroup* RadioGroupSplitOptionsItems = nullptr;
  QLabel* LabelFileSize = nullptr;
  QLineEdit* EditFileSize = nullptr;
  QLabel* LabelSplitOption = nullptr;
  QLineEdit* EditSplitOption = nullptr;
  QComboBox* ComboBoxSize = nullptr;
  QCheckBox* CheckBoxDeleteInput = nullptr;
  QCheckBox* CheckBoxBat = nullptr;
  QCheckBox* CheckBoxDeleteTempBat = nullptr;
  QCheckBox* cbCompressZip = nullptr;
  QLabel* LabelFileBat = nullptr;
  QLineEdit* EditFileBat = nullptr;
  QPushButton* ButtonSplit = nullptr;
  QPushButton* ButtonStopSplit = nullptr;

  QGroupBox* GroupBoxCombine = nullptr;
  QLabel* LabelFirstFile = nullptr;
  QLineEdit* EditFirstName = nullptr;
  QPushButton* ButtonSelectFirst = nullptr;
  QLabel* LabelOutput = nullptr;
  QLineEdit* EditOutputFile = nullptr;
  QLabel* LabelCombineFolder = nullptr;
  QLineEdit* EditCombineFolder = nullptr;
  QPushButton* ButtonCombineFolder = nullptr;
  QCheckBox* CheckBoxDeleteTemp = nullptr;
  QPushButton* ButtonCombine = nullptr;
  QPushButton* ButtonStopCombine = nullptr;

  // File filters of the two open dialogs, in the "description|pattern|..." form that a
  // language file may replace.
  QString OpenDialogSplitFilter = "All Files (*.*)|*.*";
  QString OpenDialogCombineFilter = "Split Files (*.001)|*.001|Packed parts (*.001.zip)|*.001.zip";

  // Job state.
  std::string JobKind;  // "split" or "combine"
  std::string InputPath;
  std::string FirstPartPath;
  std::int32_t CombineCount = 0;
  std::int32_t BlocksPerPart = engine::kBlocksPerPart;

  // Interface texts that only a language file fills.
  std::string LanguageName;
  QStringList LanguageFiles;
  QString PartsNumberText;
  QString PartsSizeText;
  QString ExplorerSplitText;
  QString ExplorerJoinText;

  // Settings and start-up.
  std::string ProgramFolder;
  QString PickedFolder;  // the folder taken by the last folder pick
  bool DeleteInput = false;
  bool DeleteParts = false;
  bool Compress = false;
  bool ContextMenu = false;
  QString CommandSwitch;
  QString CommandFile;

 public slots:
  void FormCreate();
  void FormShow();
  void FormClose();

  void SelectSplitFile(const std::string& path);
  void SelectFirstPart(const std::string& path);
  void ButtonSelectClick();
  void ButtonSelectFirstClick();
  void RadioGroupSplitOptionsClick();
  void CheckBoxBatClick();
  void CheckBoxDeleteInputClick();
  void CheckBoxDeleteTempClick();
  void cbCompressZipClick();

  void ButtonSplitClick();
  void ButtonCombineClick();
  void ButtonStopSplitClick();
  void ButtonStopCombineClick();
  void WorkDone();
  void JobFinished();

  void MExitClick();
  void MSettingsClick();
  void MVerifyClick();
  void MAboutClick();

  // Folder pickers of the output folders.
  void ButtonSplitFolderClick();
  void ButtonCombineFolderClick();
  // Files dropped anywhere on the window: the first goes to the tab that is showing.
  void StDropFiles1DropFiles(const QStringList& paths);
  // Language files and the Language menu.
  void ListLanguageFiles(const std::string& folder);
  void LoadLanguage(const std::string& name);
  void LanguageItemClick(QAction* item);
  // Writes or removes the context-menu entries according to ContextMenu; throws
  // app::ShellError when the key store refuses a write.
  void UpdateExplorerEntries();
  // The report of every failure that reaches the event loop: "Error !", nothing else.
  void ApplicationEvents1Exception(const std::exception& error);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // StDropFiles1: takes file drops for the window and every control on it.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildMenu();
  void buildSplitTab();
  void buildCombineTab();
  void connectControls();
  int recoveryChoice() const;
  void acceptDroppedFiles();
  void buildLanguageMenu();
  // Lays the window out right to left while the texts on show are written that way.
  void followTextDirection();
  // Names the group boxes after their titles and the gauge after the job it shows or
  // would show next, for screen readers, which would otherwise take a group's name from
  // the group around it.
  void nameForScreenReaders();
  void pickFolder(QLineEdit* edit);
  void message(const QString& text);
  bool refuseWhileRunning();
  void startWork(std::unique_ptr<Work> work);
  std::unique_ptr<Work> makeSplitWork();
  std::unique_ptr<Work> makeCombineWork();
  void stopJob();

  LiveControls m_live;
  std::unique_ptr<Work> m_work;  // the most recent worker
  std::uint64_t m_jobSerial = 0;
  bool m_jobActive = false;
  // Re-entry guards: WorkDone and waitForWorker let events through, and a start or a
  // close handled there must not wait for a worker that is waiting for us.
  bool m_inWorkDone = false;
  bool m_waitingForWorker = false;
  bool m_shown = false;
  bool m_mirrored = false;  // the controls stand at their right-to-left places
  bool m_closed = false;
  QStringList m_arguments;
  std::string m_settingsPath;
  std::string m_languageFolder;
};

// The main window of the running program, for the dialogs that work on its fields.
extern TForm1* Form1;
