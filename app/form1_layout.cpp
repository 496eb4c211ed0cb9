// The main window's controls: names, captions, places and initial states.
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <algorithm>
#include <tuple>

#include "app/form1.h"
#include "app/gauge.h"
#include "app/program_look.h"
#include "app/work.h"

namespace {

template <typename Widget>
Widget* make(QWidget* parent, const char* name, const QRect& geometry) {
  auto* widget = new Widget(parent);
  widget->setObjectName(name);
  widget->setGeometry(geometry);
  return widget;
}

QLabel* makeLabel(QWidget* parent, const char* name, const char* caption, const QRect& geometry) {
  auto* label = make<QLabel>(parent, name, geometry);
  label->setText(caption);
  return label;
}

// A read-only display: the program fills it, the user cannot type into it but can reach,
// select and copy its text. It is drawn as the layout has it, black on white; a disabled
// edit would grey the text out of legibility, so it stays enabled and read-only.
QLineEdit* makeDisplay(QWidget* parent, const char* name, const QRect& geometry) {
  auto* edit = make<QLineEdit>(parent, name, geometry);
  edit->setReadOnly(true);
  QPalette palette = edit->palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::Base, Qt::white);
    palette.setColor(group, QPalette::Text, Qt::black);
  }
  edit->setPalette(palette);
  return edit;
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption,
                        const QRect& geometry) {
  auto* button = make<QPushButton>(parent, name, geometry);
  button->setText(caption);
  button->setAutoDefault(false);
  return button;
}

QCheckBox* makeCheckBox(QWidget* parent, const char* name, const char* caption,
                        const QRect& geometry) {
  auto* box = make<QCheckBox>(parent, name, geometry);
  box->setText(caption);
  return box;
}

// Tab pages hold one group box that fills them.
constexpr QRect kGroupBox(4, 4, 417, 279);
constexpr int kEditLeft = 100;
constexpr int kEditWidth = 270;
constexpr int kDotsLeft = 376;

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
  setObjectName("Form1");
  setWindowTitle(kCaption);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(app::programFont());
  setWindowIcon(app::programIcon());
  buildMenu();

  auto* client = new QWidget(this);
  client->setObjectName("ClientArea");
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);

  PageControl1 = make<QTabWidget>(client, "PageControl1", QRect(8, 8, 433, 313));
  TabSheetSplit = new QWidget;
  TabSheetSplit->setObjectName("TabSheetSplit");
  TabSheetCombine = new QWidget;
  TabSheetCombine->setObjectName("TabSheetCombine");
  PageControl1->addTab(TabSheetSplit, "Split");
  PageControl1->addTab(TabSheetCombine, "Combine");
  buildSplitTab();
  buildCombineTab();

  CGauge1 = make<TGauge>(client, "CGauge1", QRect(8, 329, 433, 17));
  StatusBar1 = make<QStatusBar>(client, "StatusBar1", QRect(0, kClientHeight - 19, 448, 19));
  StatusBar1->setSizeGripEnabled(false);

  layout()->setSizeConstraint(QLayout::SetFixedSize);
  connectControls();
  acceptDroppedFiles();
  m_arguments = QCoreApplication::arguments();
  if (Form1 == nullptr) Form1 = this;
  FormCreate();
}

void TForm1::buildMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");
  MFile = bar->addMenu("File");
  MFile->setObjectName("MFile");
  MVerify = MFile->addAction("Verify parts");
  MVerify->setObjectName("MVerify");
  MExit = MFile->addAction("Exit");
  MExit->setObjectName("MExit");
  MOptions = bar->addMenu("Options");
  MOptions->setObjectName("MOptions");
  MSettings = MOptions->addAction("Settings");
  MSettings->setObjectName("MSettings");
  MChecksum = MOptions->addAction("write checksum file");
  MChecksum->setObjectName("MChecksum");
  MChecksum->setCheckable(true);
  MChecksum->setChecked(true);
  MShScript = MOptions->addAction("also create .sh file");
  MShScript->setObjectName("MShScript");
  MShScript->setCheckable(true);
  MDeflate = MOptions->addAction("compress with Deflate");
  MDeflate->setObjectName("MDeflate");
  MDeflate->setCheckable(true);
  MRecovery = MOptions->addMenu("recovery data");
  MRecovery->setObjectName("MRecovery");
  auto* choices = new QActionGroup(MRecovery);
  for (auto [item, name, caption] : {std::tuple{&MRecoveryNone, "MRecoveryNone", "None"},
                                     std::tuple{&MRecovery1, "MRecovery1", "1 part"},
                                     std::tuple{&MRecovery2, "MRecovery2", "2 parts"},
                                     std::tuple{&MRecovery10, "MRecovery10", "10 %"}}) {
    *item = MRecovery->addAction(caption);
    (*item)->setObjectName(name);
    (*item)->setCheckable(true);
    choices->addAction(*item);
  }
  MRecoveryNone->setChecked(true);
  MLanguage = MOptions->addMenu("Language");
  MLanguage->setObjectName("MLanguage");
  MHelp = bar->addMenu("Help");
  MHelp->setObjectName("MHelp");
  MAbout = MHelp->addAction("About");
  MAbout->setObjectName("MAbout");
}

void TForm1::buildSplitTab() {
  GroupBoxSplit = make<QGroupBox>(TabSheetSplit, "GroupBoxSplit", kGroupBox);
  GroupBoxSplit->setTitle(" Split File ");
  QWidget* box = GroupBoxSplit;

  LabelFileName = makeLabel(box, "LabelFileName", "Input File:", QRect(12, 24, 86, 21));
  EditFileName = makeDisplay(box, "EditFileName", QRect(kEditLeft, 24, kEditWidth, 21));
  ButtonSelect = makeButton(box, "ButtonSelect", "...", QRect(kDotsLeft, 24, 28, 21));

  LabelSplitFolder = makeLabel(box, "LabelSplitFolder", "Output Folder:", QRect(12, 52, 86, 21));
  EditSplitFolder = makeDisplay(box, "EditSplitFolder", QRect(kEditLeft, 52, kEditWidth, 21));
  ButtonSplitFolder = makeButton(box, "ButtonSplitFolder", "...", QRect(kDotsLeft, 52, 28, 21));

  RadioGroupSplitOptions = make<QGroupBox>(box, "RadioGroupSplitOptions", QRect(12, 80, 150, 64));
  RadioGroupSplitOptions->setTitle(" Split by ");
  RadioGroupSplitOptionsItems = new QButtonGroup(RadioGroupSplitOptions);
  const char* const choices[] = {"number", "size"};
  for (int i = 0; i < 2; ++i) {
    auto* item =
        make<QRadioButton>(RadioGroupSplitOptions,
                           i == 0 ? "RadioGroupSplitOptionsNumber" : "RadioGroupSplitOptionsSize",
                           QRect(10, 20 + 20 * i, 130, 18));
    item->setText(choices[i]);
    RadioGroupSplitOptionsItems->addButton(item, i);
  }
  RadioGroupSplitOptionsItems->button(0)->setChecked(true);

  LabelFileSize = makeLabel(box, "LabelFileSize", "FiIe Size (Kb):", QRect(176, 88, 100, 21));
  EditFileSize = makeDisplay(box, "EditFileSize", QRect(280, 88, 124, 21));
  LabelSplitOption = makeLabel(box, "LabelSplitOption", "Parts Number: ", QRect(176, 116, 100, 21));
  EditSplitOption = make<QLineEdit>(box, "EditSplitOption", QRect(280, 116, 70, 21));
  ComboBoxSize = make<QComboBox>(box, "ComboBoxSize", QRect(354, 116, 50, 21));
  ComboBoxSize->addItems({"Bt", "Kb", "Mb", "Gb"});
  ComboBoxSize->setCurrentIndex(-1);
  ComboBoxSize->hide();

  CheckBoxDeleteInput = makeCheckBox(box, "CheckBoxDeleteInput",
                                     "delete input file after splitting", QRect(12, 150, 390, 18));
  cbCompressZip = makeCheckBox(box, "cbCompressZip", "compress (zip)", QRect(12, 169, 390, 18));
  CheckBoxBat = makeCheckBox(box, "CheckBoxBat", "create .bat file (to combine without program)",
                             QRect(12, 188, 390, 18));
  LabelFileBat = makeLabel(box, "LabelFileBat", "File Name (<= 8 signs):", QRect(30, 208, 140, 21));
  LabelFileBat->setEnabled(false);
  EditFileBat = make<QLineEdit>(box, "EditFileBat", QRect(172, 208, 90, 21));
  EditFileBat->setText("temp");
  QPalette palette = EditFileBat->palette();
  palette.setColor(QPalette::Disabled, QPalette::Base, Qt::white);
  EditFileBat->setPalette(palette);
  EditFileBat->setEnabled(false);
  CheckBoxDeleteTempBat =
      makeCheckBox(box, "CheckBoxDeleteTempBat", "add delete temporary files command to .bat file",
                   QRect(30, 230, 374, 18));
  CheckBoxDeleteTempBat->setEnabled(false);

  // Screen readers announce each edit by the label beside it, in the language on show.
  LabelFileName->setBuddy(EditFileName);
  LabelSplitFolder->setBuddy(EditSplitFolder);
  LabelFileSize->setBuddy(EditFileSize);
  LabelSplitOption->setBuddy(EditSplitOption);
  LabelFileBat->setBuddy(EditFileBat);

  ButtonSplit = makeButton(box, "ButtonSplit", "Split File", QRect(116, 251, 90, 23));
  ButtonSplit->setEnabled(false);
  ButtonStopSplit = makeButton(box, "ButtonStopSplit", "Stop", QRect(212, 251, 90, 23));
  ButtonStopSplit->setEnabled(false);
}

void TForm1::buildCombineTab() {
  GroupBoxCombine = make<QGroupBox>(TabSheetCombine, "GroupBoxCombine", kGroupBox);
  GroupBoxCombine->setTitle(" Combine Files ");
  QWidget* box = GroupBoxCombine;

  LabelFirstFile = makeLabel(box, "LabelFirstFile", "First File:", QRect(12, 28, 86, 21));
  EditFirstName = makeDisplay(box, "EditFirstName", QRect(kEditLeft, 28, kEditWidth, 21));
  ButtonSelectFirst = makeButton(box, "ButtonSelectFirst", "...", QRect(kDotsLeft, 28, 28, 21));

  LabelOutput = makeLabel(box, "LabelOutput", "Output File: ", QRect(12, 60, 86, 21));
  EditOutputFile = make<QLineEdit>(box, "EditOutputFile", QRect(kEditLeft, 60, kEditWidth, 21));

  LabelCombineFolder =
      makeLabel(box, "LabelCombineFolder", "Output Folder:", QRect(12, 92, 86, 21));
  EditCombineFolder = makeDisplay(box, "EditCombineFolder", QRect(kEditLeft, 92, kEditWidth, 21));
  ButtonCombineFolder = makeButton(box, "ButtonCombineFolder", "...", QRect(kDotsLeft, 92, 28, 21));

  LabelFirstFile->setBuddy(EditFirstName);
  LabelOutput->setBuddy(EditOutputFile);
  LabelCombineFolder->setBuddy(EditCombineFolder);

  CheckBoxDeleteTemp =
      makeCheckBox(box, "CheckBoxDeleteTemp", "delete temporary files", QRect(12, 128, 390, 18));
  CheckBoxDeleteTemp->setChecked(true);

  ButtonCombine = makeButton(box, "ButtonCombine", "Combine", QRect(116, 164, 90, 23));
  ButtonCombine->setEnabled(false);
  ButtonStopCombine = makeButton(box, "ButtonStopCombine", "Stop", QRect(212, 164, 90, 23));
  ButtonStopCombine->setEnabled(false);
}

// The recovery data chosen under Options, as LiveControls::recovery holds it.
int TForm1::recoveryChoice() const {
  if (MRecovery1->isChecked()) return 1;
  if (MRecovery2->isChecked()) return 2;
  return MRecovery10->isChecked() ? -10 : 0;
}

void TForm1::connectControls() {
  connect(MExit, &QAction::triggered, this, &TForm1::MExitClick);
  connect(MSettings, &QAction::triggered, this, &TForm1::MSettingsClick);
  connect(MVerify, &QAction::triggered, this, &TForm1::MVerifyClick);
  // The worker reads the menu's options through their thread-safe copies.
  for (auto [item, copy] : {std::pair{MChecksum, &m_live.writeChecksum},
                            std::pair{MShScript, &m_live.createSh},
                            std::pair{MDeflate, &m_live.deflate}}) {
    copy->store(item->isChecked());
    connect(item, &QAction::toggled, this, [copy](bool checked) { copy->store(checked); });
  }
  for (QAction* item : {MRecoveryNone, MRecovery1, MRecovery2, MRecovery10}) {
    connect(item, &QAction::toggled, this, [this](bool checked) {
      if (checked) m_live.recovery.store(recoveryChoice());
    });
  }
  connect(MAbout, &QAction::triggered, this, &TForm1::MAboutClick);

  connect(PageControl1, &QTabWidget::currentChanged, this, &TForm1::nameForScreenReaders);

  connect(ButtonSelect, &QPushButton::clicked, this, &TForm1::ButtonSelectClick);
  connect(ButtonSplitFolder, &QPushButton::clicked, this, &TForm1::ButtonSplitFolderClick);
  // The handlers follow the state, not the click: a choice made by key, through the
  // accessibility interface or by the program must update the controls that depend on it.
  connect(RadioGroupSplitOptionsItems, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) RadioGroupSplitOptionsClick();
  });
  connect(CheckBoxBat, &QCheckBox::toggled, this, &TForm1::CheckBoxBatClick);
  connect(CheckBoxDeleteTempBat, &QCheckBox::toggled, this, &TForm1::CheckBoxBatClick);
  connect(CheckBoxDeleteInput, &QCheckBox::toggled, this, &TForm1::CheckBoxDeleteInputClick);
  connect(cbCompressZip, &QCheckBox::toggled, this, &TForm1::cbCompressZipClick);
  connect(ButtonSplit, &QPushButton::clicked, this, &TForm1::ButtonSplitClick);
  connect(ButtonStopSplit, &QPushButton::clicked, this, &TForm1::ButtonStopSplitClick);

  connect(ButtonSelectFirst, &QPushButton::clicked, this, &TForm1::ButtonSelectFirstClick);
  connect(ButtonCombineFolder, &QPushButton::clicked, this, &TForm1::ButtonCombineFolderClick);
  connect(CheckBoxDeleteTemp, &QCheckBox::toggled, this, &TForm1::CheckBoxDeleteTempClick);
  connect(ButtonCombine, &QPushButton::clicked, this, &TForm1::ButtonCombineClick);
  connect(ButtonStopCombine, &QPushButton::clicked, this, &TForm1::ButtonStopCombineClick);

  // The worker reads these boxes through their thread-safe copies.
  const auto mirror = [this](QCheckBox* box, std::atomic<bool>& copy) {
    copy.store(box->isChecked());
    connect(box, &QCheckBox::toggled, this, [&copy](bool checked) { copy.store(checked); });
  };
  mirror(CheckBoxBat, m_live.createBat);
  mirror(CheckBoxDeleteTempBat, m_live.batDeleteLine);
  mirror(cbCompressZip, m_live.compressZip);
  mirror(CheckBoxDeleteInput, m_live.deleteInput);
  mirror(CheckBoxDeleteTemp, m_live.deleteParts);
}

void TForm1::followTextDirection() {
  // The language's direction is the one most of its captions are written in.
  int rightToLeft = 0;
  int leftToRight = 0;
  for (const QWidget* control : findChildren<QWidget*>()) {
    QString text;
    if (const auto* label = qobject_cast<const QLabel*>(control)) text = label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) text = button->text();
    if (const auto* group = qobject_cast<const QGroupBox*>(control)) text = group->title();
    if (text.isRightToLeft()) {
      ++rightToLeft;
    } else if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isLetter(); })) {
      ++leftToRight;
    }
  }
  const bool mirrored = rightToLeft > leftToRight;
  // Application-wide, so that the menus, the dialogs and the message boxes turn too.
  QGuiApplication::setLayoutDirection(mirrored ? Qt::RightToLeft : Qt::LeftToRight);
  // The page control places its tabs only when it is shown, resized or restyled.
  QEvent restyled(QEvent::StyleChange);
  QCoreApplication::sendEvent(PageControl1, &restyled);
  if (mirrored == m_mirrored) return;
  m_mirrored = mirrored;
  // The controls stand at fixed places, which no layout mirrors: each moves to the other
  // side of its group, keeping its size.
  for (QWidget* group : {GroupBoxSplit, GroupBoxCombine, RadioGroupSplitOptions}) {
    for (QWidget* control : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      QRect place = control->geometry();
      place.moveLeft(group->width() - place.right() - 1);
      control->setGeometry(place);
    }
  }
}

void TForm1::nameForScreenReaders() {
  for (QGroupBox* group : {GroupBoxSplit, GroupBoxCombine, RadioGroupSplitOptions})
    group->setAccessibleName(group->title().trimmed());
  const bool split =
      m_jobActive ? JobKind == "split" : PageControl1->currentWidget() == TabSheetSplit;
  CGauge1->setAccessibleName((split ? GroupBoxSplit : GroupBoxCombine)->title().trimmed());
}
