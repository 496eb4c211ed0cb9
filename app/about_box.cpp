// The About box and its link.
#include "app/about_box.h"

#include <qdrawutil.h>

#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QUrl>
#include <algorithm>

#include "app/form1.h"
#include "app/program_look.h"

namespace app {
namespace {

UrlOpener& urlOpener() {
  static UrlOpener opener;
  return opener;
}

}  // namespace

void setUrlOpener(UrlOpener opener) {
  urlOpener() = std::move(opener);
}

void openWithDesktop(const QString& text) {
  if (urlOpener()) {
    urlOpener()(text);
    return;
  }
  QDesktopServices::openUrl(QUrl::fromUserInput(text));
}

}  // namespace app

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QColor& color,
                  bool bold) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, color);
  label->setPalette(palette);
  if (bold) {
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
  }
  return label;
}

}  // namespace

TAboutBox* AboutBox = nullptr;
const QColor TAboutBox::kLinkColor = QColor(0, 0, 255);
const QColor TAboutBox::kLinkHotColor = QColor(255, 0, 0);

void TBevelPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& colors = palette();
  // Outer bevel lowered, inner bevel raised, one pixel each.
  qDrawShadePanel(&painter, rect(), colors, true, 1);
  qDrawShadePanel(&painter, rect().adjusted(1, 1, -1, -1), colors, false, 1);
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("About Program");
  setWindowIcon(app::programIcon());
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFont(app::programFont());
  setFixedSize(kClientWidth, kClientHeight);

  Panel1 = new TBevelPanel(this);
  Panel1->setObjectName("Panel1");
  Panel1->setGeometry(8, 8, 305, 161);
  Panel1->setMouseTracking(true);
  Panel1->installEventFilter(this);

  ProgramIcon = new QLabel(Panel1);
  ProgramIcon->setObjectName("ProgramIcon");
  ProgramIcon->setGeometry(8, 8, 32, 32);
  ProgramIcon->setScaledContents(true);
  ProgramIcon->setPixmap(app::programPixmap(64));

  const QColor navy(0, 0, 128);
  LabelTitle = makeLabel(Panel1, "LabelTitle", TForm1::kCaption, navy, true);
  LabelTitle->move(52, 10);
  LabelAbout = makeLabel(Panel1, "LabelAbout",
                         "Splits a large file into numbered parts and joins them back.",
                         QColor(128, 0, 0), false);
  LabelAbout->setGeometry(52, 28, 249, 25);
  LabelAbout->setWordWrap(true);
  LabelAbout->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  LabelAuthor = makeLabel(Panel1, "LabelAuthor", "Sundrix developers", navy, true);
  LabelAuthor->move(8, 62);
  LabelEmail = makeLabel(Panel1, "LabelEmail", "sundrix@example.org", QColor(0, 128, 128), true);
  LabelEmail->move(8, 80);
  LabelEmail->setWordWrap(true);
  LabelSite = makeLabel(Panel1, "LabelSite", "https://sundrix.example.org/", kLinkColor, false);
  LabelSite->move(8, 98);
  QFont underlined = LabelSite->font();
  underlined.setUnderline(true);
  LabelSite->setFont(underlined);
  // The hand stays with the link; only the colour follows the mouse.
  LabelSite->setCursor(Qt::PointingHandCursor);
  LabelSite->setMouseTracking(true);
  LabelSite->installEventFilter(this);

  OKButton = new QPushButton("OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setGeometry((kClientWidth - 74) / 2, 138, 74, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  if (AboutBox == nullptr) AboutBox = this;
}

TAboutBox::~TAboutBox() {
  if (AboutBox == this) AboutBox = nullptr;
}

void TAboutBox::showEvent(QShowEvent* event) {
  // A language file may have changed the texts since the last showing.
  LabelTitle->adjustSize();
  LabelAuthor->adjustSize();
  LabelEmail->setFixedWidth(Panel1->width() - 16);
  LabelEmail->adjustSize();
  LabelSite->adjustSize();
  // A description of two lines may reach a little past the layout's 25 pixels at some
  // screen scales; the panel has room below it, and a cut line would lose its descenders.
  LabelAbout->resize(LabelAbout->width(),
                     std::clamp(LabelAbout->heightForWidth(LabelAbout->width()), 25, 33));
  if (const QScreen* screen = this->screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  QDialog::showEvent(event);
}

void TAboutBox::keyPressEvent(QKeyEvent* event) {
  // Esc does not close the box; Enter presses the default button.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LabelSite) {
    if (event->type() == QEvent::MouseMove) {
      LabelSiteMouseMove();
      return true;
    }
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
      LabelSiteMouseDown();
      return true;
    }
  }
  if (watched == Panel1 && event->type() == QEvent::MouseMove) {
    // Moves over the other labels and the image reach the panel too; only its free
    // area counts.
    const auto* move = static_cast<QMouseEvent*>(event);
    if (Panel1->childAt(move->position().toPoint()) == nullptr) Panel1MouseMove();
  }
  return QDialog::eventFilter(watched, event);
}

void TAboutBox::setLinkColor(const QColor& color) {
  QPalette palette = LabelSite->palette();
  palette.setColor(QPalette::WindowText, color);
  LabelSite->setPalette(palette);
}

void TAboutBox::LabelSiteMouseMove() {
  setLinkColor(kLinkHotColor);
}

void TAboutBox::Panel1MouseMove() {
  setLinkColor(kLinkColor);
}

void TAboutBox::LabelSiteMouseDown() {
  app::openWithDesktop(LabelSite->text());
}
