// The About box: the program's name and icon, a description, the authors, the contact
// address and a link to the program's page.
#pragma once

#include <QDialog>
#include <QFrame>
#include <functional>

class QLabel;
class QPushButton;

namespace app {

// Opens a text (a web address) with the desktop's default action for it; the outcome is
// not examined. Tests put a recorder in its place; an empty function restores the
// desktop's opener.
using UrlOpener = std::function<void(const QString& text)>;
void setUrlOpener(UrlOpener opener);
void openWithDesktop(const QString& text);

}  // namespace app

// A panel drawn with a lowered outer and a raised inner bevel.
class TBevelPanel : public QFrame {
  Q_OBJECT

 public:
  using QFrame::QFrame;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);
  ~TAboutBox() override;

  static constexpr int kClientWidth = 321;
  static constexpr int kClientHeight = 175;
  static const QColor kLinkColor;
  static const QColor kLinkHotColor;

  TBevelPanel* Panel1 = nullptr;
  QLabel* ProgramIcon = nullptr;
  QLabel* LabelTitle = nullptr;
  QLabel* LabelAbout = nullptr;
  QLabel* LabelAuthor = nullptr;
  QLabel* LabelEmail = nullptr;
  QLabel* LabelSite = nullptr;
  QPushButton* OKButton = nullptr;

 public slots:
  void LabelSiteMouseMove();
  void LabelSiteMouseDown();
  void Panel1MouseMove();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void setLinkColor(const QColor& color);
};

// The About box of the running program.
extern TAboutBox* AboutBox;
