// The main window: its controls, the settings file, the command line, and split and
// join jobs started, watched and stopped through the buttons.
#include "app/form1.h"

#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <fstream>
#include <memory>
#include <thread>

#include "app/gauge.h"
#include "app/key_store.h"
#include "app/message_box.h"
#include "app/settings_file.h"
#include "engine/join_journal.h"
#include "platform/file.h"
#include "zip/zip_events.h"

namespace {

// Slows every write of a job so that it is still running when the test presses Stop. A
// copy writes in chunks of a few hundred kilobytes, so a part of a megabyte takes about
// half a second. The window's own settings files are written at full speed.
class SlowWrites : public platform::FaultInjector {
 public:
  int before(platform::FileOp op, const std::string& path) override {
    if (op == platform::FileOp::Write && path.find(".ini") == std::string::npos)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return 0;
  }
};

// Refuses to create the one file whose name ends in `suffix`.
class FailCreate : public platform::FaultInjector {
 public:
  explicit FailCreate(std::string suffix) : m_suffix(std::move(suffix)) {}
  int before(platform::FileOp op, const std::string& path) override {
    return op == platform::FileOp::Create && path.ends_with(m_suffix) ? ENOSPC : 0;
  }

 private:
  std::string m_suffix;
};

std::string readAll(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const QString& path, const std::string& bytes) {
  std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 977) & 0xff);
  return bytes;
}

// Check boxes and radio buttons take a click only on their mark or text, not anywhere in
// their rectangle.
void clickBox(QAbstractButton* box) {
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

qint64 sizeOf(const QString& path) {
  return QFileInfo(path).exists() ? QFileInfo(path).size() : -1;
}

// Steers the packing of a split: creating the archive named `held` waits until `go` is
// set; opening a part named in `unreadable` fails, so the archiver shows a warning box;
// every write to `slow` takes a fifth of a second.
class PackingHooks : public platform::FaultInjector {
 public:
  std::string held;  // the file whose opening for packing is held until `go`
  std::atomic<bool> holding{false};
  std::atomic<bool> go{false};
  QStringList unreadable;
  std::string slow;

  int before(platform::FileOp op, const std::string& path) override {
    if (op == platform::FileOp::Open && !held.empty() && path.ends_with(held)) {
      holding = true;
      const QDeadlineTimer patience(30000);
      while (!go && !patience.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (op == platform::FileOp::Write && !slow.empty() && path.ends_with(slow))
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const bool refused =
        std::any_of(unreadable.cbegin(), unreadable.cend(),
                    [&](const QString& name) { return path.ends_with(name.toStdString()); });
    return op == platform::FileOp::Open && refused ? EACCES : 0;
  }
};

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void controlsAsLaidOut_data();
  void controlsAsLaidOut();
  void windowIsFixed();
  void firstStartWritesDefaultSettings();
  void settingsValuesAreRead_data();
  void settingsValuesAreRead();
  void settingsRoundTrip();
  void failedSettingsWriteStillCloses();
  void settingsFileLocation();
  void commandLine_data();
  void commandLine();
  void unreadableSplitFileIsReported();
  void dependentControlsFollowEveryChange_data();
  void dependentControlsFollowEveryChange();
  void controlsAreNamedByTheirLabels_data();
  void controlsAreNamedByTheirLabels();
  void gaugeReadsAsAProgressBar();
  void readOnlyFieldsAreReadableAndCopyable_data();
  void readOnlyFieldsAreReadableAndCopyable();
  void splitRunsToCompletion();
  void splitOptionIsValidated_data();
  void splitOptionIsValidated();
  void stopDuringSplit();
  void boxToggledDuringSplitCounts();
  void secondStartIsRefused();
  void combineSelectionAndJoin();
  void stopDuringJoin();
  void stoppedJobStillReportsWhatWasKept();
  void joinWithoutOutputNameIsReported();
  void gaugeClamps();
  void failedJobIsReported_data();
  void failedJobIsReported();
  void compressLeavesOnlyArchives();
  void compressShowsEachPartWhileItIsPacked();
  void packingWarningsComeAsTheSplitGoes();
  void joinStatusLine_data();
  void joinStatusLine();
  void warningBoxWaitsForTheUser();
  void closeDuringJobStopsIt();
  void checksumOptionsAndVerifyParts();
  void deflateOptionAndCombineFromArchives();
  void recoveryDataOption();

 private:
  std::unique_ptr<TForm1> makeForm(const QStringList& arguments = {"sundrix"});
  QString path(const QString& name) const { return m_dir->filePath(name); }
  void waitUntilIdle(TForm1& form);

  std::unique_ptr<QTemporaryDir> m_dir;
  QString m_settings;
  QStringList m_messages;
  QStringList m_titles;
  SlowWrites m_slow;
};

void Form1Test::init() {
  m_dir = std::make_unique<QTemporaryDir>();
  QVERIFY(m_dir->isValid());
  m_settings = path("sundrix.ini");
  qputenv("SUNDRIX_SETTINGS", m_settings.toLocal8Bit());
  // The context-menu entries go to the temporary folder, never to the user's own.
  qputenv("XDG_CONFIG_HOME", path("config").toLocal8Bit());
  qputenv("XDG_DATA_HOME", path("data").toLocal8Bit());
  app::recreateKeyStore();
  m_messages.clear();
  m_titles.clear();
  app::setMessageHook([this](QWidget*, app::BoxKind, const QString& title, const QString& text) {
    m_titles << title;
    m_messages << text;
  });
}

void Form1Test::cleanup() {
  platform::setFaultInjector(nullptr);
  app::setMessageHook({});
  m_dir.reset();
}

std::unique_ptr<TForm1> Form1Test::makeForm(const QStringList& arguments) {
  auto form = std::make_unique<TForm1>();
  form->setArguments(arguments);
  // No language file: every control keeps its built-in text.
  form->setLanguageFolder(path("no-language").toStdString());
  form->show();
  return form;
}

void Form1Test::waitUntilIdle(TForm1& form) {
  QTRY_VERIFY_WITH_TIMEOUT(!form.jobRunning(), 30000);
  form.waitForWorker();
}

void Form1Test::controlsAsLaidOut_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("enabled");
  QTest::addColumn<bool>("hidden");
  QTest::addColumn<bool>("checked");
  struct Row {
    const char* name;
    const char* kind;
    const char* text;
    bool enabled, hidden, checked;
  };
  const Row rows[] = {
      {"GroupBoxSplit", "QGroupBox", " Split File ", true, false, false},
      {"LabelFileName", "QLabel", "Input File:", true, false, false},
      // Read-only displays stay enabled, so that their text can be selected and copied.
      {"EditFileName", "QLineEdit", "", true, false, false},
      {"ButtonSelect", "QPushButton", "...", true, false, false},
      {"LabelSplitFolder", "QLabel", "Output Folder:", true, false, false},
      {"EditSplitFolder", "QLineEdit", "", true, false, false},
      {"ButtonSplitFolder", "QPushButton", "...", true, false, false},
      {"RadioGroupSplitOptions", "QGroupBox", " Split by ", true, false, false},
      {"RadioGroupSplitOptionsNumber", "QRadioButton", "number", true, false, true},
      {"RadioGroupSplitOptionsSize", "QRadioButton", "size", true, false, false},
      {"LabelFileSize", "QLabel", "FiIe Size (Kb):", true, false, false},
      {"EditFileSize", "QLineEdit", "", true, false, false},
      // Without a language file the part-count text is empty, and the label shows it.
      {"LabelSplitOption", "QLabel", "", true, false, false},
      {"EditSplitOption", "QLineEdit", "", true, false, false},
      {"ComboBoxSize", "QComboBox", "Kb", true, true, false},
      {"CheckBoxDeleteInput", "QCheckBox", "delete input file after splitting", true, false, false},
      {"CheckBoxBat", "QCheckBox", "create .bat file (to combine without program)", true, false,
       false},
      {"CheckBoxDeleteTempBat", "QCheckBox", "add delete temporary files command to .bat file",
       false, false, false},
      {"cbCompressZip", "QCheckBox", "compress (zip)", true, false, false},
      {"LabelFileBat", "QLabel", "File Name (<= 8 signs):", false, false, false},
      {"EditFileBat", "QLineEdit", "temp", false, false, false},
      {"ButtonSplit", "QPushButton", "Split File", false, false, false},
      {"ButtonStopSplit", "QPushButton", "Stop", false, false, false},
      {"GroupBoxCombine", "QGroupBox", " Combine Files ", true, false, false},
      {"LabelFirstFile", "QLabel", "First File:", true, false, false},
      {"EditFirstName", "QLineEdit", "", true, false, false},
      {"ButtonSelectFirst", "QPushButton", "...", true, false, false},
      {"LabelOutput", "QLabel", "Output File: ", true, false, false},
      {"EditOutputFile", "QLineEdit", "", true, false, false},
      {"LabelCombineFolder", "QLabel", "Output Folder:", true, false, false},
      {"EditCombineFolder", "QLineEdit", "", true, false, false},
      {"ButtonCombineFolder", "QPushButton", "...", true, false, false},
      {"CheckBoxDeleteTemp", "QCheckBox", "delete temporary files", true, false, true},
      {"ButtonCombine", "QPushButton", "Combine", false, false, false},
      {"ButtonStopCombine", "QPushButton", "Stop", false, false, false},
  };
  for (const Row& row : rows) {
    QTest::newRow(row.name) << row.name << row.kind << row.text << row.enabled << row.hidden
                            << row.checked;
  }
}

QString widgetText(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
  if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText();
  return {};
}

void Form1Test::controlsAsLaidOut() {
  QFETCH(QString, name);
  QFETCH(QString, kind);
  QFETCH(QString, text);
  QFETCH(bool, enabled);
  QFETCH(bool, hidden);
  QFETCH(bool, checked);
  auto form = makeForm();
  auto* widget = form->findChild<QWidget*>(name);
  QVERIFY2(widget != nullptr, qPrintable(name));
  QVERIFY(widget->inherits(kind.toLatin1()));
  QCOMPARE(widgetText(widget), text);
  QCOMPARE(widget->isEnabled(), enabled);
  QCOMPARE(widget->isHidden(), hidden);
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) QCOMPARE(button->isChecked(), checked);
}

void Form1Test::windowIsFixed() {
  auto form = makeForm();
  QCOMPARE(form->windowTitle(), QString("Sundrix 1.72"));
  QCOMPARE(form->centralWidget()->size(), QSize(448, 371));
  QCOMPARE(form->PageControl1->geometry(), QRect(8, 8, 433, 313));
  QCOMPARE(form->CGauge1->size(), QSize(433, 17));
  QCOMPARE(form->minimumSize(), form->maximumSize());
  QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
  QCOMPARE(form->PageControl1->currentWidget(), form->TabSheetSplit);
  QCOMPARE(form->PageControl1->tabText(0), QString("Split"));
  QCOMPARE(form->PageControl1->tabText(1), QString("Combine"));
  QCOMPARE(form->BlocksPerPart, 100);
  QStringList menus;
  for (const char* name :
       {"MFile", "MExit", "MOptions", "MSettings", "MLanguage", "MHelp", "MAbout"})
    QVERIFY2(form->findChild<QObject*>(name) != nullptr, name);
}

void Form1Test::firstStartWritesDefaultSettings() {
  {
    auto form = makeForm();
    QVERIFY(!QFileInfo::exists(m_settings));  // reading creates nothing
    QVERIFY(!form->CheckBoxDeleteInput->isChecked());
    QVERIFY(form->CheckBoxDeleteTemp->isChecked());
    QVERIFY(!form->cbCompressZip->isChecked());
    QVERIFY(form->ContextMenu);
    QCOMPARE(form->LanguageName, std::string("English"));
    form->MExit->trigger();
  }
  QCOMPARE(QString::fromStdString(readAll(m_settings)).split('\n', Qt::SkipEmptyParts),
           QStringList({"[Options]", "Language=English", "deleteInput=0", "deleteParts=1",
                        "compress=0", "contextMenu=1", "checksum=1", "shScript=0",
                        "deflate=0", "recovery=none"}));
}

void Form1Test::settingsValuesAreRead_data() {
  QTest::addColumn<QString>("lines");
  QTest::addColumn<bool>("deleteInput");
  QTest::addColumn<bool>("deleteParts");
  QTest::newRow("two is true") << "deleteInput=2" << true << true;
  QTest::newRow("yes is not a number") << "deleteInput=yes" << false << true;
  QTest::newRow("empty value") << "deleteInput=" << false << true;
  QTest::newRow("hex zero") << "deleteParts=0x0" << false << false;
  QTest::newRow("abc keeps default") << "deleteParts=abc" << false << true;
  QTest::newRow("names ignore case") << "DELETEINPUT = 1\ndeleteparts=\"0\"" << true << false;
}

void Form1Test::settingsValuesAreRead() {
  QFETCH(QString, lines);
  QFETCH(bool, deleteInput);
  QFETCH(bool, deleteParts);
  writeFile(m_settings, "[options]\n" + lines.toStdString() + "\n");
  auto form = makeForm();
  QCOMPARE(form->CheckBoxDeleteInput->isChecked(), deleteInput);
  QCOMPARE(form->DeleteInput, deleteInput);
  QCOMPARE(form->CheckBoxDeleteTemp->isChecked(), deleteParts);
  QCOMPARE(form->DeleteParts, deleteParts);
}

void Form1Test::settingsRoundTrip() {
  writeFile(m_settings, "; kept\n[Other]\nx=1\n[Options]\nLanguage=Klingon\ncompress=1\n");
  {
    auto form = makeForm();
    QVERIFY(form->cbCompressZip->isChecked());
    clickBox(form->cbCompressZip);
    QVERIFY(!form->Compress);
    form->close();
  }
  const std::string text = readAll(m_settings);
  QVERIFY(text.find("; kept") != std::string::npos);
  QVERIFY(text.find("x=1") != std::string::npos);
  QVERIFY(text.find("Language=Klingon") != std::string::npos);
  QVERIFY(text.find("compress=0") != std::string::npos);
  auto again = makeForm();
  QVERIFY(!again->cbCompressZip->isChecked());
}

void Form1Test::failedSettingsWriteStillCloses() {
  QVERIFY(QDir().mkpath(path("settings-dir")));
  qputenv("SUNDRIX_SETTINGS", path("settings-dir").toLocal8Bit());  // a folder: not writable
  auto form = makeForm();
  QVERIFY(form->close());
  QCOMPARE(m_messages, QStringList({"Error !"}));
  QVERIFY(!form->isVisible());
}

void Form1Test::settingsFileLocation() {
  qunsetenv("SUNDRIX_SETTINGS");
  const std::string beside = path("bin/tool.exe").toStdString();
  QVERIFY(QDir().mkpath(path("bin")));
  QCOMPARE(app::settingsFilePath(beside), path("bin/tool.ini").toStdString());
  const std::string installed = app::settingsFilePath("/nonexistent-folder/bin/sundrix");
  QCOMPARE(installed, path("config/sundrix/sundrix.ini").toStdString());
  app::Settings settings;
  settings.language = "Dutch";
  platform::IoError err;
  QVERIFY(app::writeSettings(installed, settings, err));
  QCOMPARE(app::readSettings(installed).language, std::string("Dutch"));
}

void Form1Test::commandLine_data() {
  QTest::addColumn<QString>("switchText");
  QTest::addColumn<QString>("file");
  QTest::addColumn<int>("page");
  QTest::addColumn<QString>("splitName");
  QTest::addColumn<QString>("firstName");
  QTest::newRow("-s") << "-s"
                      << "movie.avi" << 0 << "movie.avi"
                      << "";
  QTest::newRow("-j") << "-j"
                      << "movie.avi.001" << 1 << ""
                      << "movie.avi.001";
  QTest::newRow("-S is no switch") << "-S"
                                   << "movie.avi" << 0 << ""
                                   << "";
  QTest::newRow("-x") << "-x"
                      << "movie.avi" << 0 << ""
                      << "";
  QTest::newRow("file only") << "movie.avi"
                             << "" << 0 << ""
                             << "";
}

void Form1Test::commandLine() {
  QFETCH(QString, switchText);
  QFETCH(QString, file);
  QFETCH(int, page);
  QFETCH(QString, splitName);
  QFETCH(QString, firstName);
  writeFile(path("movie.avi"), pattern(10000));
  writeFile(path("movie.avi.001"), "a");
  QStringList arguments{"sundrix", switchText};
  if (!file.isEmpty()) arguments << path(file);
  auto form = makeForm(arguments);
  QCOMPARE(form->CommandSwitch, switchText);
  QCOMPARE(form->PageControl1->currentIndex(), page);
  QCOMPARE(form->EditFileName->text(), splitName);
  QCOMPARE(form->EditFirstName->text(), firstName);
  QCOMPARE(form->ButtonSplit->isEnabled(), !splitName.isEmpty());
  QCOMPARE(form->ButtonCombine->isEnabled(), !firstName.isEmpty());
  QCOMPARE(form->ComboBoxSize->currentText(), QString("Kb"));
  if (!splitName.isEmpty()) {
    QCOMPARE(form->EditFileSize->text(), QString("9"));
    QCOMPARE(form->EditSplitFolder->text(), m_dir->path() + "/");
  }
  if (!firstName.isEmpty()) {
    QCOMPARE(form->EditOutputFile->text(), QString("movie.avi"));
    QCOMPARE(form->CombineCount, 2);
  }
  QVERIFY(!QFileInfo::exists(path("movie.avi.002")));  // nothing starts by itself
  QVERIFY(m_messages.isEmpty());
}

void Form1Test::unreadableSplitFileIsReported() {
  writeFile(path("a.bin"), "abc");
  auto form = makeForm();
  form->SelectSplitFile(path("a.bin").toStdString());
  form->SelectSplitFile(path("missing.bin").toStdString());
  QCOMPARE(m_messages.size(), 1);
  QVERIFY(m_messages[0].contains("missing.bin"));
  QCOMPARE(form->EditFileName->text(), QString("a.bin"));  // the tab is as it was
  QCOMPARE(form->InputPath, path("a.bin").toStdString());
  form->SelectSplitFile(m_dir->path().toStdString());  // a folder
  QCOMPARE(m_messages.size(), 2);
  form->SelectSplitFile("");  // "-s" without a file
  QCOMPARE(m_messages.size(), 3);
  QCOMPARE(form->EditFileName->text(), QString("a.bin"));
  QCOMPARE(form->EditSplitFolder->text(), m_dir->path() + "/");
}

// However a choice is made, the controls that follow it change with it.
void Form1Test::dependentControlsFollowEveryChange_data() {
  QTest::addColumn<int>("way");
  QTest::addColumn<bool>("sizeChoice");
  const char* const ways[] = {"mouse", "space key", "accessible toggle", "program"};
  for (int way = 0; way < 4; ++way) {
    QTest::addRow("script box, %s", ways[way]) << way << false;
    QTest::addRow("split by size, %s", ways[way]) << way << true;
  }
}

void Form1Test::dependentControlsFollowEveryChange() {
  QFETCH(int, way);
  QFETCH(bool, sizeChoice);
  auto form = makeForm();
  form->PartsNumberText = "How many:";
  form->PartsSizeText = "How big:";
  // Turns the script box over, or selects the radio choice `button`.
  const auto change = [way](QAbstractButton* button) {
    switch (way) {
      case 0:
        clickBox(button);
        break;
      case 1:
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Space);
        break;
      case 2: {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(button);
        QVERIFY(face != nullptr && face->actionInterface() != nullptr);
        face->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        break;
      }
      default:
        button->setChecked(!button->isChecked());
    }
  };
  if (sizeChoice) {
    change(form->RadioGroupSplitOptionsItems->button(1));
    QCOMPARE(form->RadioGroupSplitOptionsItems->checkedId(), 1);
    QVERIFY(!form->ComboBoxSize->isHidden());
    QCOMPARE(form->LabelSplitOption->text(), QString("How big:"));
    change(form->RadioGroupSplitOptionsItems->button(0));
    QCOMPARE(form->RadioGroupSplitOptionsItems->checkedId(), 0);
    QVERIFY(form->ComboBoxSize->isHidden());
    QCOMPARE(form->LabelSplitOption->text(), QString("How many:"));
    return;
  }
  change(form->CheckBoxBat);
  QVERIFY(form->CheckBoxBat->isChecked());
  QVERIFY(form->LabelFileBat->isEnabled());
  QVERIFY(form->EditFileBat->isEnabled());
  QVERIFY(form->CheckBoxDeleteTempBat->isEnabled());
  form->CheckBoxDeleteTempBat->setChecked(true);
  change(form->CheckBoxBat);
  QVERIFY(!form->CheckBoxBat->isChecked());
  QVERIFY(!form->LabelFileBat->isEnabled());
  QVERIFY(!form->EditFileBat->isEnabled());
  QVERIFY(!form->CheckBoxDeleteTempBat->isEnabled());
  QVERIFY(form->CheckBoxDeleteTempBat->isChecked());  // keeps its state while disabled
}

// Screen readers announce each edit by its label, the radio group by its title and the
// gauge by the job it shows, in the language on show.
void Form1Test::controlsAreNamedByTheirLabels_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<QString>("builtIn");
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("translated");
  QTest::newRow("input file") << "EditFileName" << "Input File:" << "LabelFileName->Caption"
                              << "Datei:";
  QTest::newRow("split folder") << "EditSplitFolder" << "Output Folder:"
                                << "LabelSplitFolder->Caption" << "Zielordner:";
  QTest::newRow("file size") << "EditFileSize" << "FiIe Size (Kb):" << "LabelFileSize->Caption"
                             << "Größe (Kb):";
  QTest::newRow("parts") << "EditSplitOption" << "" << "StringPartsNumber" << "Teile:";
  QTest::newRow("script name") << "EditFileBat" << "File Name (<= 8 signs):"
                               << "LabelFileBat->Caption" << "Skript:";
  QTest::newRow("first part") << "EditFirstName" << "First File:" << "LabelFirstFile->Caption"
                              << "Erster Teil:";
  QTest::newRow("joined file") << "EditOutputFile" << "Output File: " << "LabelOutput->Caption"
                               << "Ergebnis:";
  QTest::newRow("join folder") << "EditCombineFolder" << "Output Folder:"
                               << "LabelCombineFolder->Caption" << "Ordner:";
  QTest::newRow("split by") << "RadioGroupSplitOptions" << "Split by"
                            << "RadioGroupSplitOptions->Caption" << "Teilen nach";
  QTest::newRow("gauge") << "CGauge1" << "Split File" << "GroupBoxSplit->Caption"
                         << "Datei teilen";
}

void Form1Test::controlsAreNamedByTheirLabels() {
  QFETCH(QString, control);
  QFETCH(QString, builtIn);
  QFETCH(QString, key);
  QFETCH(QString, translated);
  auto form = makeForm();
  auto* widget = form->findChild<QWidget*>(control);
  QVERIFY(widget != nullptr);
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
  QVERIFY(face != nullptr);
  QCOMPARE(face->text(QAccessible::Name), builtIn);
  QVERIFY(QDir().mkpath(path("language")));
  writeFile(path("language/German.ini"),
            "[Interface]\n" + key.toStdString() + "=" + translated.toStdString() + "\n");
  form->setLanguageFolder(path("language").toStdString());
  form->LoadLanguage("German");
  QCOMPARE(face->text(QAccessible::Name), translated);
}

void Form1Test::gaugeReadsAsAProgressBar() {
  auto form = makeForm();
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(form->CGauge1);
  QVERIFY(face != nullptr);
  QCOMPARE(face->role(), QAccessible::ProgressBar);
  QAccessibleValueInterface* value = face->valueInterface();
  QVERIFY(value != nullptr);
  QCOMPARE(value->minimumValue().toInt(), 0);
  QCOMPARE(value->maximumValue().toInt(), 100);
  form->CGauge1->setProgress(42);
  QCOMPARE(value->currentValue().toInt(), 42);
  QCOMPARE(face->text(QAccessible::Value), QString("42%"));
  // Between jobs it is named after the tab on show.
  form->PageControl1->setCurrentWidget(form->TabSheetCombine);
  QCOMPARE(face->text(QAccessible::Name), QString("Combine Files"));
}

// WCAG contrast of two colours: 1 (same) to 21 (black on white).
double contrast(const QColor& a, const QColor& b) {
  const auto luminance = [](const QColor& colour) {
    const auto channel = [](double c) {
      return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
  };
  const double la = luminance(a);
  const double lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

void Form1Test::readOnlyFieldsAreReadableAndCopyable_data() {
  QTest::addColumn<QString>("control");
  for (const char* name :
       {"EditFileName", "EditSplitFolder", "EditFileSize", "EditFirstName", "EditCombineFolder"})
    QTest::newRow(name) << name;
}

void Form1Test::readOnlyFieldsAreReadableAndCopyable() {
  QFETCH(QString, control);
  writeFile(path("movie.avi.001"), pattern(3000));
  auto form = makeForm();
  form->SelectSplitFile(path("movie.avi.001").toStdString());
  form->SelectFirstPart(path("movie.avi.001").toStdString());
  auto* edit = form->findChild<QLineEdit*>(control);
  QVERIFY(edit != nullptr);
  const QString shown = edit->text();
  QVERIFY(!shown.isEmpty());
  // In the colours it is drawn with, in an active and in an inactive window.
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    if (!edit->isEnabled()) group = QPalette::Disabled;
    const double ratio = contrast(edit->palette().color(group, edit->foregroundRole()),
                                  edit->palette().color(group, edit->backgroundRole()));
    QVERIFY2(ratio >= 4.5, qPrintable(QString("contrast %1:1").arg(ratio)));
  }
  // Drawn on white, as the layout has it: the box's free end is white.
  const QImage drawn = edit->grab().toImage();
  QCOMPARE(QColor(drawn.pixel(drawn.width() - 6, drawn.height() / 2)), QColor(Qt::white));
  edit->setFocus();
  QTest::keyClicks(edit, "typed");
  QCOMPARE(edit->text(), shown);
  QApplication::clipboard()->clear();
  QTest::keySequence(edit, QKeySequence::SelectAll);
  QTest::keySequence(edit, QKeySequence::Copy);
  QCOMPARE(QApplication::clipboard()->text(), shown);
}

void Form1Test::splitRunsToCompletion() {
  const std::string input = pattern(10000000);
  writeFile(path("movie.avi"), input);
  auto form = makeForm({"sundrix", "-s", path("movie.avi")});
  QCOMPARE(form->EditFileSize->text(), QString("9765"));
  form->EditSplitOption->setText("3");
  QTest::mouseClick(form->ButtonSplit, Qt::LeftButton);
  QVERIFY(!form->ButtonSplit->isEnabled());
  QVERIFY(form->ButtonStopSplit->isEnabled());
  QCOMPARE(form->JobKind, std::string("split"));
  waitUntilIdle(*form);
  QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('\n')));
  QCOMPARE(sizeOf(path("movie.avi.001")), 3333333);
  QCOMPARE(sizeOf(path("movie.avi.002")), 3333333);
  QCOMPARE(sizeOf(path("movie.avi.003")), 3333334);
  QCOMPARE(readAll(path("movie.avi.001")) + readAll(path("movie.avi.002")) +
               readAll(path("movie.avi.003")),
           input);
  QCOMPARE(form->StatusBar1->currentMessage(), QString(" 9765 Kb / 9765 Kb"));
  QCOMPARE(form->CGauge1->progress(), 0);
  QCOMPARE(form->windowTitle(), QString("Sundrix 1.72"));
  QVERIFY(form->ButtonSplit->isEnabled());
  QVERIFY(!form->ButtonStopSplit->isEnabled());
  QVERIFY(QFileInfo::exists(path("movie.avi")));
}

void Form1Test::splitOptionIsValidated_data() {
  QTest::addColumn<QString>("value");
  QTest::addColumn<bool>("reported");
  QTest::newRow("empty starts nothing silently") << "" << false;
  QTest::newRow("not a number") << "abc" << true;
  QTest::newRow("fraction") << "2.5" << true;
  QTest::newRow("zero") << "0" << true;
  QTest::newRow("negative") << "-3" << true;
  QTest::newRow("too large") << "99999999999" << true;
}

void Form1Test::splitOptionIsValidated() {
  QFETCH(QString, value);
  QFETCH(bool, reported);
  writeFile(path("data.bin"), pattern(5000));
  auto form = makeForm({"sundrix", "-s", path("data.bin")});
  clickBox(form->CheckBoxDeleteInput);
  form->EditSplitOption->setText(value);
  QTest::mouseClick(form->ButtonSplit, Qt::LeftButton);
  QVERIFY(!form->jobRunning());
  QCOMPARE(m_messages.size(), reported ? 1 : 0);
  QVERIFY(form->ButtonSplit->isEnabled());
  QVERIFY(!form->ButtonStopSplit->isEnabled());
  QCOMPARE(QDir(m_dir->path()).entryList({"data.bin.*"}), QStringList());
  QVERIFY(QFileInfo::exists(path("data.bin")));
}

void Form1Test::stopDuringSplit() {
  writeFile(path("big.bin"), pattern(3000000));
  auto form = makeForm({"sundrix", "-s", path("big.bin")});
  clickBox(form->CheckBoxDeleteInput);
  form->EditSplitOption->setText("3");
  platform::setFaultInjector(&m_slow);
  QTest::mouseClick(form->ButtonSplit, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(form->windowTitle().startsWith("2 - "), 30000);
  // A screen reader reads the gauge, named after the split whichever tab is on show, and
  // the status line.
  form->PageControl1->setCurrentWidget(form->TabSheetCombine);
  QCOMPARE(QAccessible::queryAccessibleInterface(form->CGauge1)->text(QAccessible::Name),
           QString("Split File"));
  QVERIFY(!form->StatusBar1->currentMessage().isEmpty());
  QCOMPARE(QAccessible::queryAccessibleInterface(form->StatusBar1)->text(QAccessible::Name),
           form->StatusBar1->currentMessage());
  QTest::mouseClick(form->ButtonStopSplit, Qt::LeftButton);
  QVERIFY(!form->jobRunning());
  QVERIFY(form->ButtonSplit->isEnabled());
  QVERIFY(!form->ButtonStopSplit->isEnabled());
  QCOMPARE(form->CGauge1->progress(), 0);
  QCOMPARE(form->windowTitle(), QString("Sundrix 1.72"));
  form->waitForWorker();
  QTest::qWait(50);  // updates the stopped worker still sent must not show
  QCOMPARE(form->CGauge1->progress(), 0);
  QCOMPARE(form->windowTitle(), QString("Sundrix 1.72"));
  QCOMPARE(sizeOf(path("big.bin.001")), 1000000);
  QVERIFY(sizeOf(path("big.bin.002")) < 1000000);
  QVERIFY(!QFileInfo::exists(path("big.bin.003")));
  QVERIFY(QFileInfo::exists(path("big.bin")));
  QVERIFY(m_messages.isEmpty());

  // The same selection runs again at once.
  platform::setFaultInjector(nullptr);
  clickBox(form->CheckBoxDeleteInput);
  QTest::mouseClick(form->ButtonSplit, Qt::LeftButton);
  waitUntilIdle(*form);
  QCOMPARE(sizeOf(path("big.bin.003")), 1000000);
}

void Form1Test::boxToggledDuringSplitCounts() {
  writeFile(path("in.bin"), pattern(400000));
  auto form = makeForm({"sundrix", "-s", path("in.bin")});
  form->EditSplitOption->setText("2");
  platform::setFaultInjector(&m_slow);
  QTest::mouseClick(form->ButtonSplit, Qt::LeftButton);
  clickBox(form->CheckBoxDeleteInput);
  // A file chosen during the job does not change it.
  writeFile(path("other.bin"), "xyz");
  form->SelectSplitFile(path("other.bin").toStdString());
  QVERIFY(!form->ButtonSplit->isEnabled());
  waitUntilIdle(*form);
  QVERIFY(!QFileInfo::exists(path("in.bin")));
  QCOMPARE(sizeOf(path("in.bin.002")), 200000);
  QVERIFY(!QFileInfo::exists(path("other.bin.001")));
  QCOMPARE(form->EditFileName->text(), QString("other.bin"));
  QVERIFY(form->ButtonSplit->isEnabled());
}

void Form1Test::secondStartIsRefused() {
  writeFile(path("in.bin"), pattern(300000));
  writeFile(path("p.dat.001"), "1");
  auto form = makeForm({"sundrix", "-s", path("in.bin")});
  form->SelectFirstPart(path("p.dat.001").toStdString());
  form->EditSplitOption->setText("2");
  platform::setFaultInjector(&m_slow);
  QTest::mouseClick(form->ButtonSplit, Qt::LeftButton);
  QTest::mouseClick(form->ButtonCombine, Qt::LeftButton);
  QCOMPARE(m_messages.size(), 1);
  QCOMPARE(form->JobKind, std::string("split"));
  QVERIFY(form->ButtonCombine->isEnabled());
  QVERIFY(!form->ButtonStopCombine->isEnabled());
  waitUntilIdle(*form);
  QVERIFY(!QFileInfo::exists(path("p.dat")));
  QCOMPARE(sizeOf(path("in.bin.002")), 150000);
}

void Form1Test::combineSelectionAndJoin() {
  const std::string whole = pattern(250000);
  writeFile(path("movie.avi.001"), whole.substr(0, 100000));
  writeFile(path("movie.avi.002"), whole.substr(100000, 100000));
  writeFile(path("movie.avi.003"), whole.substr(200000));
  auto form = makeForm({"sundrix", "-j", path("movie.avi.002")});
  QCOMPARE(form->PageControl1->currentWidget(), form->TabSheetCombine);
  QCOMPARE(form->EditFirstName->text(), QString("movie.avi.002"));
  QCOMPARE(form->EditOutputFile->text(), QString("movie.avi"));
  QCOMPARE(form->EditCombineFolder->text(), m_dir->path() + "/");
  QCOMPARE(form->CombineCount, 4);
  QTest::mouseClick(form->ButtonCombine, Qt::LeftButton);
  QCOMPARE(form->JobKind, std::string("combine"));
  QVERIFY(form->ButtonStopCombine->isEnabled());
  waitUntilIdle(*form);
  QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('\n')));
  QCOMPARE(readAll(path("movie.avi")), whole);
  QVERIFY(!QFileInfo::exists(path("movie.avi.001")));  // "delete temporary files" is on
  QVERIFY(!QFileInfo::exists(path("movie.avi.003")));
  QCOMPARE(form->StatusBar1->currentMessage(), QString(" 48 Kb / 48 Kb - movie.avi.003"));
  QCOMPARE(form->windowTitle(), QString("Sundrix 1.72"));
  QVERIFY(form->ButtonCombine->isEnabled());
  QVERIFY(!form->ButtonStopCombine->isEnabled());
}

void Form1Test::stopDuringJoin() {
  writeFile(path("x.001"), pattern(600000));
  writeFile(path("x.002"), pattern(600000));
  auto form = makeForm({"sundrix", "-j", path("x.001")});
  clickBox(form->CheckBoxDeleteTemp);  // keep the parts
  form->EditOutputFile->setText("joined");
  platform::setFaultInjector(&m_slow);
  QTest::mouseClick(form->ButtonCombine, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(form->CGauge1->progress() >= 10, 30000);
  QTest::mouseClick(form->ButtonStopCombine, Qt::LeftButton);
  QVERIFY(form->ButtonCombine->isEnabled());
  QVERIFY(!form->ButtonStopCombine->isEnabled());
  QCOMPARE(form->CGauge1->progress(), 0);
  form->waitForWorker();
  QVERIFY(sizeOf(path("joined")) < 1200000);
  QCOMPARE(sizeOf(path("x.001")), 600000);
  QCOMPARE(sizeOf(path("x.002")), 600000);
  QVERIFY(m_messages.isEmpty());
}

void Form1Test::stoppedJobStillReportsWhatWasKept() {
  auto form = makeForm({"sundrix"});
  engine::JobResult quiet;
  quiet.outcome = engine::JobOutcome::Stopped;
  form->reportStoppedJob(quiet);
  QVERIFY(m_messages.isEmpty());
  engine::JobResult kept = quiet;
  kept.warnings.push_back("The part /x/a.001 was kept unarchived: disk full");
  form->reportStoppedJob(kept);
  QCOMPARE(m_messages, QStringList({"The part /x/a.001 was kept unarchived: disk full"}));
}

void Form1Test::joinWithoutOutputNameIsReported() {
  writeFile(path("noext"), "abc");
  auto form = makeForm({"sundrix", "-j", path("noext")});
  QCOMPARE(form->EditOutputFile->text(), QString());  // a name without "." proposes nothing
  QVERIFY(form->ButtonCombine->isEnabled());
  QTest::mouseClick(form->ButtonCombine, Qt::LeftButton);
  waitUntilIdle(*form);
  QCOMPARE(m_messages.size(), 1);
  QVERIFY(QFileInfo(path("noext")).isFile());
  QVERIFY(form->ButtonCombine->isEnabled());
  QVERIFY(!form->ButtonStopCombine->isEnabled());
}

void Form1Test::gaugeClamps() {
  TGauge gauge;
  gauge.setProgress(150);
  QCOMPARE(gauge.progress(), 100);
  QCOMPARE(gauge.text(), QString("100%"));
  gauge.setProgress(-4);
  QCOMPARE(gauge.text(), QString("0%"));
}

void Form1Test::failedJobIsReported_data() {
  QTest::addColumn<bool>("stopAfterTheEnd");
  QTest::newRow("ended") << false;
  // The job has ended and waits for the window, which hears of it only after a Stop.
  QTest::newRow("stopped after it ended") << true;
}

void Form1Test::failedJobIsReported() {
  QFETCH(bool, stopAfterTheEnd);
  writeFile(path("x.bin"), pattern(30000));
  auto form = makeForm({"sundrix", "-s", path("x.bin")});
  form->EditSplitOption->setText("3");
  FailCreate fail(".002");
  platform::setFaultInjector(&fail);
  QTest::mouseClick(form->ButtonSplit, Qt::LeftButton);
  if (stopAfterTheEnd) {
    const QDeadlineTimer deadline(30000);
    while (!form->workerEnded() && !deadline.hasExpired())
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    QVERIFY(form->workerEnded());
    form->ButtonStopSplitClick();
  }
  waitUntilIdle(*form);
  QCOMPARE(m_messages.size(), 1);
  QVERIFY2(m_messages[0].contains(path("x.bin.002")), qPrintable(m_messages[0]));
  QCOMPARE(m_titles[0], QString("Sundrix 1.72"));
  QVERIFY(!QFileInfo::exists(path("x.bin.003")));
  QVERIFY(form->ButtonSplit->isEnabled());
  QVERIFY(!form->ButtonStopSplit->isEnabled());
}

void Form1Test::compressLeavesOnlyArchives() {
  writeFile(path("c.txt"), std::string(50000, 'a') + pattern(50000));
  auto form = makeForm({"sundrix", "-s", path("c.txt")});
  clickBox(form->cbCompressZip);
  form->EditSplitOption->setText("2");
  QTest::mouseClick(form->ButtonSplit, Qt::LeftButton);
  waitUntilIdle(*form);
  QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('\n')));
  QCOMPARE(QDir(m_dir->path()).entryList({"c.txt.*"}, QDir::Files, QDir::Name),
           QStringList({"c.txt.001.zip", "c.txt.002.zip", "c.txt.sha256"}));
  QVERIFY(sizeOf(path("c.txt.001.zip")) > 0);
}

// Options > compress with Deflate: the parts' archives are deflated, the choice is kept in
// the settings, and Combine with the first archive chosen joins straight from them.
void Form1Test::deflateOptionAndCombineFromArchives() {
  const std::string bytes = std::string(50000, 'a') + pattern(50000);
  writeFile(path("d.txt"), bytes);
  {
    auto form = makeForm({"sundrix", "-s", path("d.txt")});
    QVERIFY(!form->MDeflate->isChecked());
    form->MDeflate->trigger();
    clickBox(form->cbCompressZip);
    form->EditSplitOption->setText("2");
    QTest::mouseClick(form->ButtonSplit, Qt::LeftButton);
    waitUntilIdle(*form);
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('\n')));
    QCOMPARE(static_cast<int>(readAll(path("d.txt.001.zip")).at(8)), 8);  // the method field
    QVERIFY(QFile::remove(path("d.txt")));
    form->SelectFirstPart(path("d.txt.001.zip").toStdString());
    QCOMPARE(form->EditOutputFile->text(), QString("d.txt"));
    QTest::mouseClick(form->ButtonCombine, Qt::LeftButton);
    waitUntilIdle(*form);
    QVERIFY(readAll(path("d.txt")) == bytes);
    QVERIFY2(form->StatusBar1->currentMessage().startsWith("Verified"),
             qPrintable(form->StatusBar1->currentMessage()));
    QVERIFY(QFileInfo::exists(path("d.txt.002.zip")));
    form->close();
  }
  QCOMPARE(app::readSettings(m_settings.toStdString()).deflate, true);
}

// The gauge and the title follow the parts in order as they are packed, however far the
// cutting has gone ahead on other cores: part 1's end stays on show while part 1 is packed.
void Form1Test::compressShowsEachPartWhileItIsPacked() {
  writeFile(path("movie.avi"), pattern(10000000));
  auto form = makeForm({"sundrix", "-s", path("movie.avi")});
  clickBox(form->cbCompressZip);
  form->EditSplitOption->setText("3");
  QStringList shown;  // every title the window took, with the gauge beside it
  connect(form.get(), &QWidget::windowTitleChanged, form.get(), [&](const QString& title) {
    shown << title + " @" + QString::number(form->CGauge1->progress());
  });
  PackingHooks hooks;
  hooks.held = "movie.avi.001";  // read by its pack
  platform::setFaultInjector(&hooks);
  QTest::mouseClick(form->ButtonSplit, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(hooks.holding, 30000);
  QTest::qWait(500);  // time for the later parts to be cut
  QCOMPARE(form->windowTitle(), QString("1 - 33% - Sundrix 1.72"));
  QCOMPARE(form->CGauge1->progress(), 33);
  QCOMPARE(form->StatusBar1->currentMessage(), QString(" 3255 Kb / 9765 Kb"));
  if (const QString folder = qEnvironmentVariable("SUNDRIX_SCREENSHOTS"); !folder.isEmpty())
    QVERIFY(form->grab().save(folder + "/packing-part-1.png"));
  hooks.go = true;
  waitUntilIdle(*form);
  QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('\n')));
  const QStringList partEnds = {"1 - 33% - Sundrix 1.72 @33", "2 - 66% - Sundrix 1.72 @66",
                                "3 - 100% - Sundrix 1.72 @100"};
  qsizetype last = -1;
  for (const QString& end : partEnds) {
    const qsizetype at = shown.indexOf(end);
    QVERIFY2(at > last, qPrintable(end + " in " + shown.join(", ")));
    last = at;
  }
  QCOMPARE(shown.last(), QString("Sundrix 1.72 @0"));
  QCOMPARE(QDir(m_dir->path()).entryList({"movie.avi.*"}, QDir::Files, QDir::Name),
           QStringList({"movie.avi.001.zip", "movie.avi.002.zip", "movie.avi.003.zip",
                        "movie.avi.sha256"}));
}

// The archiver's warning boxes come in part order while the split goes on, not at its end.
void Form1Test::packingWarningsComeAsTheSplitGoes() {
  writeFile(path("w.bin"), pattern(3000000));
  auto form = makeForm({"sundrix", "-s", path("w.bin")});
  clickBox(form->cbCompressZip);
  form->EditSplitOption->setText("3");
  PackingHooks hooks;
  hooks.held = "w.bin.001";  // part 1's pack ends once part 2's cut is under way
  hooks.unreadable = {"w.bin.001", "w.bin.002"};
  hooks.slow = "w.bin.002";  // cut in four writes, each slowed
  platform::setFaultInjector(&hooks);
  QList<qint64> part2SizeAtBox;
  app::setMessageHook([&](QWidget*, app::BoxKind, const QString&, const QString& text) {
    m_messages << text;
    part2SizeAtBox << sizeOf(path("w.bin.002"));
  });
  QTest::mouseClick(form->ButtonSplit, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(hooks.holding, 30000);
  QTest::qWait(200);
  hooks.go = true;
  waitUntilIdle(*form);
  QCOMPARE(m_messages.size(), 3);  // part 1's box, part 2's, and the job's closing report
  QVERIFY2(m_messages[0].contains("w.bin.001") && !m_messages[0].contains("w.bin.002"),
           qPrintable(m_messages[0]));
  QVERIFY2(m_messages[1].contains("w.bin.002"), qPrintable(m_messages[1]));
  QVERIFY2(m_messages[2].contains("kept unarchived"), qPrintable(m_messages[2]));
  QVERIFY2(part2SizeAtBox[0] < 1000000, qPrintable(QString::number(part2SizeAtBox[0])));
  QVERIFY(QFileInfo::exists(path("w.bin.003.zip")));
}

// After a join the status line keeps the last block's text, unless the join proved its
// bytes against a checksum file; a mismatch is a failure.
void Form1Test::joinStatusLine_data() {
  QTest::addColumn<bool>("withList");
  QTest::addColumn<bool>("damaged");
  QTest::addColumn<QString>("status");
  QTest::newRow("no list") << false << false << " 19 Kb / 19 Kb - j.bin.003";
  QTest::newRow("list") << true << false << "Verified: every part and the joined file match";
  // Found at part 2 or at the end, as the digests come in.
  QTest::newRow("mismatch") << true << true << " 19 Kb / 19 Kb - j.bin.00";
}

void Form1Test::joinStatusLine() {
  QFETCH(bool, withList);
  QFETCH(bool, damaged);
  QFETCH(QString, status);
  writeFile(path("j.bin"), pattern(60000));
  auto form = makeForm({"sundrix", "-s", path("j.bin")});
  if (!withList) form->MChecksum->trigger();
  form->EditSplitOption->setText("3");
  QTest::mouseClick(form->ButtonSplit, Qt::LeftButton);
  waitUntilIdle(*form);
  if (damaged) writeFile(path("j.bin.002"), pattern(20000).replace(7, 1, "#"));
  QVERIFY(QFile::rename(path("j.bin"), path("original.bin")));
  form->SelectFirstPart(path("j.bin.001").toStdString());
  QTest::mouseClick(form->ButtonCombine, Qt::LeftButton);
  waitUntilIdle(*form);
  QVERIFY2(form->StatusBar1->currentMessage().startsWith(status),
           qPrintable(form->StatusBar1->currentMessage()));
  QCOMPARE(m_messages.size(), damaged ? 1 : 0);
  QCOMPARE(QFileInfo::exists(path("j.bin.001")), damaged);  // parts go only after a good join
}

void Form1Test::checksumOptionsAndVerifyParts() {
  writeFile(path("v.bin"), pattern(90000));
  {
    auto form = makeForm({"sundrix", "-s", path("v.bin")});
    QVERIFY(form->MChecksum->isChecked());  // on unless the settings say otherwise
    QVERIFY(!form->MShScript->isChecked());
    clickBox(form->CheckBoxBat);
    form->MShScript->trigger();
    form->EditSplitOption->setText("3");
    QTest::mouseClick(form->ButtonSplit, Qt::LeftButton);
    waitUntilIdle(*form);
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('\n')));
    QVERIFY(QFileInfo::exists(path("temp.sha256")));  // named after the parts
    QVERIFY(QFileInfo::exists(path("temp.sh")));
    // The Combine tab's parts are checked in place, and the result is shown.
    form->SelectFirstPart(path("temp.001").toStdString());
    form->MVerify->trigger();
    waitUntilIdle(*form);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages[0].contains("ok  temp.003"), qPrintable(m_messages[0]));
    QVERIFY(form->StatusBar1->currentMessage().startsWith("Verified"));
    writeFile(path("temp.002"), pattern(30000).replace(0, 1, "#"));
    form->MVerify->trigger();
    waitUntilIdle(*form);
    QCOMPARE(m_messages.size(), 2);
    QVERIFY2(m_messages[1].contains("MISMATCH  temp.002"), qPrintable(m_messages[1]));
    form->MChecksum->trigger();
    form->close();
  }
  // Both options live in the settings file.
  QCOMPARE(app::readSettings(m_settings.toStdString()).checksum, false);
  QCOMPARE(app::readSettings(m_settings.toStdString()).shScript, true);
  auto form = makeForm({"sundrix", "-s", path("v.bin")});
  QVERIFY(!form->MChecksum->isChecked());
  QVERIFY(form->MShScript->isChecked());
}

// Options > recovery data: the choice reaches the split, lives in the settings file, and a
// join from the window rebuilds a lost part with it.
void Form1Test::recoveryDataOption() {
  writeFile(path("r.bin"), pattern(90000));
  {
    auto form = makeForm({"sundrix", "-s", path("r.bin")});
    QVERIFY(form->MRecoveryNone->isChecked());
    form->MRecovery2->trigger();
    QVERIFY(!form->MRecoveryNone->isChecked());
    form->EditSplitOption->setText("3");
    QTest::mouseClick(form->ButtonSplit, Qt::LeftButton);
    waitUntilIdle(*form);
    QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('\n')));
    QVERIFY(QFileInfo::exists(path("r.bin.par2")));
    QVERIFY(QFileInfo::exists(path("r.bin.vol01+01.par2")));
    QVERIFY(QFile::remove(path("r.bin.002")));
    // Verify parts says what is lost and that a join rebuilds it.
    form->SelectFirstPart(path("r.bin.001").toStdString());
    form->MVerify->trigger();
    waitUntilIdle(*form);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages[0].contains("r.bin.002 is missing or damaged") &&
                 m_messages[0].contains("Combine rebuilds them"),
             qPrintable(m_messages[0]));
    m_messages.clear();
    // While a join's journal is there, the parts it deleted are in its file: Verify parts
    // points at that join instead of a rebuild that Combine would not make.
    const QString journal = QString::fromStdString(engine::joinNamesFor(path("r.bin").toStdString()).journal);
    writeFile(journal, "x");
    form->MVerify->trigger();
    waitUntilIdle(*form);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages[0].contains("under way") && !m_messages[0].contains("Combine rebuilds them"),
             qPrintable(m_messages[0]));
    m_messages.clear();
    QVERIFY(QFile::remove(journal));
    QVERIFY(QFile::rename(path("r.bin"), path("r.orig")));
    form->SelectFirstPart(path("r.bin.001").toStdString());
    QTest::mouseClick(form->ButtonCombine, Qt::LeftButton);
    waitUntilIdle(*form);
    QCOMPARE(readAll(path("r.bin")), readAll(path("r.orig")));
    form->MRecovery10->trigger();
    form->close();
  }
  QCOMPARE(app::readSettings(m_settings.toStdString()).recovery, std::string("10%"));
  auto form = makeForm({"sundrix"});
  QVERIFY(form->MRecovery10->isChecked());
}

void Form1Test::warningBoxWaitsForTheUser() {
  auto form = makeForm();
  zip::showWarningBox("on the GUI thread");
  QCOMPARE(m_messages, QStringList({"on the GUI thread"}));
  std::atomic<bool> returned{false};
  std::thread worker([&returned] {
    zip::showWarningBox("from a worker");
    returned = true;
  });
  QTRY_COMPARE(m_messages.size(), 2);
  worker.join();
  QVERIFY(returned);
  QCOMPARE(m_messages[1], QString("from a worker"));
  QCOMPARE(m_titles, QStringList({"Warning", "Warning"}));
}

void Form1Test::closeDuringJobStopsIt() {
  writeFile(path("big.bin"), pattern(2000000));
  auto form = makeForm({"sundrix", "-s", path("big.bin")});
  form->EditSplitOption->setText("2");
  platform::setFaultInjector(&m_slow);
  QTest::mouseClick(form->ButtonSplit, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(form->CGauge1->progress() > 5, 30000);
  QVERIFY(form->close());
  QVERIFY(!form->jobRunning());
  form.reset();
  QVERIFY(sizeOf(path("big.bin.001")) < 1000000);
  QVERIFY(!QFileInfo::exists(path("big.bin.002")));
  QVERIFY(readAll(m_settings).find("deleteParts=1") != std::string::npos);
}

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
