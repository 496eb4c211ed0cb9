// The Settings dialog.
#include "app/form_settings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

#include "app/form1.h"
#include "app/program_look.h"

TFormSettings* FormSettings = nullptr;

TFormSettings::TFormSettings(QWidget* parent) : QDialog(parent) {
  setObjectName("FormSettings");
  setWindowTitle("Settings");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFont(app::programFont());
  setFixedSize(kClientWidth, kClientHeight);

  cbContextMenu = new QCheckBox("context menu", this);
  cbContextMenu->setObjectName("cbContextMenu");
  cbContextMenu->setGeometry(16, 12, 169, 17);

  ButtonClose = new QPushButton("Close", this);
  ButtonClose->setObjectName("ButtonClose");
  ButtonClose->setGeometry((kClientWidth - 75) / 2, 40, 75, 25);
  // Neither default nor cancel button: Enter and Esc do not close the dialog.
  ButtonClose->setAutoDefault(false);
  ButtonClose->setDefault(false);
  connect(ButtonClose, &QPushButton::clicked, this, &TFormSettings::ButtonCloseClick);

  if (FormSettings == nullptr) FormSettings = this;
}

TFormSettings::~TFormSettings() {
  if (FormSettings == this) FormSettings = nullptr;
}

void TFormSettings::showEvent(QShowEvent* event) {
  // Centred over the main window at every showing.
  if (const QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr) {
    QRect frame = frameGeometry();
    frame.moveCenter(owner->frameGeometry().center());
    move(frame.topLeft());
  }
  QDialog::showEvent(event);
  FormShow();
}

void TFormSettings::FormShow() {
  if (Form1 != nullptr) cbContextMenu->setChecked(Form1->ContextMenu);
}

void TFormSettings::FormClose() {
  if (Form1 == nullptr) return;
  Form1->ContextMenu = cbContextMenu->isChecked();
  Form1->UpdateExplorerEntries();
}

void TFormSettings::ButtonCloseClick() {
  close();
}

void TFormSettings::done(int result) {
  // Throws before the dialog hides when the entries cannot be written.
  FormClose();
  QDialog::done(result);
}

void TFormSettings::closeEvent(QCloseEvent* event) {
  // Ignored until the close has been applied: should FormClose throw, the close event
  // stays refused and the dialog stays open.
  event->ignore();
  done(QDialog::Rejected);
  if (!isVisible()) event->accept();
}

void TFormSettings::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
