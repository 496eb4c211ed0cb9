// The Settings dialog: its one option turns the file managers' context-menu entries on
// or off; closing it applies the option at once.
#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

class TFormSettings : public QDialog {
  Q_OBJECT

 public:
  explicit TFormSettings(QWidget* parent = nullptr);
  ~TFormSettings() override;

  static constexpr int kClientWidth = 298;
  static constexpr int kClientHeight = 75;

  QCheckBox* cbContextMenu = nullptr;
  QPushButton* ButtonClose = nullptr;

 public slots:
  void FormShow();
  // Sets ContextMenu of the main window from the box and writes or removes the entries;
  // a refused write throws, which keeps the dialog open.
  void FormClose();
  void ButtonCloseClick();
  // Every way of closing (the button, the close box, the system menu, Alt+F4) ends here.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

// The Settings dialog of the running program.
extern TFormSettings* FormSettings;
