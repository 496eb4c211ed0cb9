// Every shipped language's captions fit the fixed places of the three windows: no label,
// check box, radio button, button, group-box title or tab shows a cut text or a character
// that no installed font can draw, and no caption runs under the control to its right.
// A right-to-left language mirrors the main window, and no label touches its box.
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QGlyphRun>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QRadioButton>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTextLayout>
#include <QTemporaryDir>
#include <QTest>
#include <QtMath>
#include <algorithm>
#include <fstream>
#include <memory>
#include <set>

#include "app/about_box.h"
#include "app/application.h"
#include "app/form1.h"
#include "app/form_settings.h"
#include "app/key_store.h"
#include "app/message_box.h"
#include "app/program_look.h"
#include "i18n/language.h"
#include "i18n/text_keys.h"

namespace {

const QString kShippedFolder = QString(SUNDRIX_SOURCE_DIR) + "/language/";

void writeFile(const QString& path, const std::string& bytes) {
  std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
  out << bytes;
}

// One caption that does not fit: the control, its text, what it needs and what it has.
struct Misfit {
  QString control;
  QString text;
  QString problem;
  QString describe() const { return control + " \"" + text + "\": " + problem; }
};

QString widthProblem(int needed, int available, const char* what) {
  return QString("needs %1 px, %2 %3 px").arg(needed).arg(what).arg(available);
}

// Left-aligned captions (labels, check boxes, radio buttons) end where their text ends;
// that end must neither run under a visible control to the right on the same row nor
// leave the parent's frame.
void checkRightSide(const QWidget* control, const QString& text, int textEnd,
                    std::vector<Misfit>& misfits) {
  const QWidget* parent = control->parentWidget();
  const QRect place = control->geometry();
  const int frame = 2;
  if (textEnd > parent->width() - frame) {
    misfits.push_back({control->objectName(), text,
                       widthProblem(textEnd, parent->width() - frame, "parent ends at")});
  }
  for (const QObject* object : parent->children()) {
    const auto* sibling = qobject_cast<const QWidget*>(object);
    if (sibling == nullptr || sibling == control || sibling->isHidden()) continue;
    const QRect other = sibling->geometry();
    const bool sameRow = other.top() <= place.bottom() && other.bottom() >= place.top();
    if (sameRow && other.left() > place.left() && textEnd > other.left()) {
      misfits.push_back({control->objectName(), text,
                         QString("ends at %1 px, under %2 at %3 px")
                             .arg(textEnd)
                             .arg(sibling->objectName())
                             .arg(other.left())});
    }
  }
}

// How far down from the top the text reaches when drawn word-wrapped into `width` on a
// screen of `scale` device pixels per pixel: one past its lowest painted row, in pixels.
int inkHeight(const QFont& font, int width, const QString& text, qreal scale) {
  const int room =
      QFontMetrics(font).boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, text).height() +
      20;
  QImage image(qCeil(width * scale), qCeil(room * scale), QImage::Format_ARGB32);
  image.setDevicePixelRatio(scale);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, 0, width, room), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop,
                     text);
  }
  for (int y = image.height() - 1; y >= 0; --y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(row[x]) != 0) return qCeil((y + 1) / scale);
    }
  }
  return 0;
}

void checkLabel(const QLabel* label, std::vector<Misfit>& misfits) {
  const QString text = label->text();
  if (!label->wordWrap()) {
    const int needed = label->sizeHint().width();
    if (needed > label->width())
      misfits.push_back({label->objectName(), text, widthProblem(needed, label->width(), "has")});
    // A right-to-left caption may be drawn at the label's right end.
    const int textWidth = text.isRightToLeft() ? label->width() : std::min(needed, label->width());
    checkRightSide(label, text, label->x() + textWidth, misfits);
    return;
  }
  // A wrapping label may take more lines, as long as they fit its height and no single
  // word is wider than the label.
  const QRect room = label->contentsRect();
  const QRect wrapped = label->fontMetrics().boundingRect(
      QRect(0, 0, room.width(), 100000), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
  if (wrapped.width() > room.width()) {
    misfits.push_back(
        {label->objectName(), text, widthProblem(wrapped.width(), room.width(), "has")});
  }
  // The lines' box ends with the last line's full descent, which is mostly empty; what
  // counts is whether ink of the last line is cut off at the bottom.
  const int inkBottom = inkHeight(label->font(), room.width(), text, label->devicePixelRatioF());
  if (inkBottom > room.height()) {
    misfits.push_back({label->objectName(), text,
                       QString("wraps to %1 lines, ink %2 px high, has %3 px")
                           .arg(wrapped.height() / label->fontMetrics().lineSpacing())
                           .arg(inkBottom)
                           .arg(room.height())});
  }
}

// Check boxes and radio buttons: indicator, spacing and text, as the style sizes them.
void checkIndicatorButton(const QAbstractButton* button, std::vector<Misfit>& misfits) {
  const int needed = button->sizeHint().width();
  if (needed > button->width()) {
    misfits.push_back(
        {button->objectName(), button->text(), widthProblem(needed, button->width(), "has")});
  }
  checkRightSide(button, button->text(), button->x() + std::min(needed, button->width()), misfits);
}

// A push button's text must fit inside its frame and margins. The style's size hint is
// not used: it widens every captioned button to a minimum that has nothing to do with
// the text.
void checkPushButton(const QPushButton* button, std::vector<Misfit>& misfits) {
  const QStyle* style = button->style();
  const int needed = button->fontMetrics().size(Qt::TextShowMnemonic, button->text()).width() +
                     style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                     2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
  if (needed > button->width()) {
    misfits.push_back(
        {button->objectName(), button->text(), widthProblem(needed, button->width(), "has")});
  }
}

// The title sits in the top frame line; it must end inside the box.
void checkGroupBox(const QGroupBox* box, std::vector<Misfit>& misfits) {
  QStyleOptionGroupBox option;
  option.initFrom(box);
  option.text = box->title();
  option.textAlignment = box->alignment();
  option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
  option.lineWidth = 1;
  // Right to left the style mirrors the title's place; measured back at its left-to-right
  // place, the same text needs the same room.
  const QRect title = QStyle::visualRect(
      option.direction, box->rect(),
      box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box));
  const int textEnd = title.left() + box->fontMetrics().horizontalAdvance(box->title());
  const int needed = std::max(title.right() + 1, textEnd);
  if (needed > box->width())
    misfits.push_back({box->objectName(), box->title(), widthProblem(needed, box->width(), "has")});
}

// Every tab shows its whole text: the tabs at full width fit the page control, and no tab
// was squeezed below its text and padding.
void checkTabs(const QTabWidget* pages, std::vector<Misfit>& misfits) {
  const QTabBar* bar = pages->tabBar();
  const int hspace = bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar);
  for (int i = 0; i < bar->count(); ++i) {
    const int needed = bar->fontMetrics().horizontalAdvance(bar->tabText(i)) + hspace;
    const int has = bar->tabRect(i).width();
    if (needed > has) {
      misfits.push_back({pages->objectName() + " tab " + QString::number(i), bar->tabText(i),
                         widthProblem(needed, has, "has")});
    }
  }
  if (bar->sizeHint().width() > pages->width()) {
    QStringList texts;
    for (int i = 0; i < bar->count(); ++i) texts << bar->tabText(i);
    misfits.push_back({pages->objectName(), texts.join(" | "),
                       widthProblem(bar->sizeHint().width(), pages->width(), "has")});
  }
}

// The characters of `text` that neither `font` nor any font the system falls back to can
// draw: they would show as empty boxes.
int missingGlyphs(const QFont& font, const QString& text) {
  QTextLayout layout(text, font);
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  int missing = 0;
  for (const QGlyphRun& run : layout.glyphRuns()) {
    const QList<quint32> glyphs = run.glyphIndexes();
    missing += static_cast<int>(std::count(glyphs.cbegin(), glyphs.cend(), 0U));
  }
  return missing;
}

// Every text a control shows: captions, tabs, menu titles and items.
QStringList shownTexts(const QWidget* widget) {
  if (const auto* label = qobject_cast<const QLabel*>(widget)) return {label->text()};
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return {button->text()};
  if (const auto* group = qobject_cast<const QGroupBox*>(widget)) return {group->title()};
  QStringList texts;
  if (const auto* bar = qobject_cast<const QTabBar*>(widget)) {
    for (int i = 0; i < bar->count(); ++i) texts << bar->tabText(i);
  }
  if (const auto* menu = qobject_cast<const QMenu*>(widget)) {
    texts << menu->title();
    for (const QAction* action : menu->actions()) texts << action->text();
  }
  return texts;
}

void checkGlyphs(const QWidget* widget, std::vector<Misfit>& misfits) {
  for (const QString& text : shownTexts(widget)) {
    if (const int missing = missingGlyphs(widget->font(), text); missing > 0) {
      misfits.push_back({widget->objectName(), text,
                         QString("%1 characters no installed font can draw").arg(missing)});
    }
  }
}

// All captioned controls of one window.
void checkWindow(QWidget* window, std::vector<Misfit>& misfits) {
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    widget->ensurePolished();
    checkGlyphs(widget, misfits);
    if (auto* pages = qobject_cast<QTabWidget*>(widget)) {
      checkTabs(pages, misfits);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
      if (label->text().isEmpty()) continue;  // the icon
      checkLabel(label, misfits);
    } else if (auto* push = qobject_cast<QPushButton*>(widget)) {
      if (push->text().isEmpty()) continue;
      checkPushButton(push, misfits);
    } else if (qobject_cast<QCheckBox*>(widget) != nullptr ||
               qobject_cast<QRadioButton*>(widget) != nullptr) {
      checkIndicatorButton(static_cast<QAbstractButton*>(widget), misfits);
    } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
      checkGroupBox(box, misfits);
    }
  }
}

}  // namespace

class LanguageFitTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void shippedLanguagesFit_data();
  void shippedLanguagesFit();
  void overlongCaptionsAreCaught();
  void missingGlyphsAreCaught();
  void labelsKeepClearOfTheirBoxes_data();
  void labelsKeepClearOfTheirBoxes();
  void screenshots();

 private:
  QString path(const QString& name) const { return m_dir->filePath(name); }
  QString languageFolder() const { return path("language"); }
  // The three windows as the program makes them, shown with `language` loaded from the
  // language folder at the first show.
  std::unique_ptr<TForm1> makeWindows(const QString& language);
  // The misfits of all three windows, with both texts of the part-count/part-size label.
  QStringList misfits(TForm1& form);

  std::unique_ptr<QTemporaryDir> m_dir;
  QStringList m_messages;
};

void LanguageFitTest::initTestCase() {
  qInfo("layout font: %s %gpt", qPrintable(app::programFont().family()),
        app::programFont().pointSizeF());
}

void LanguageFitTest::init() {
  m_dir = std::make_unique<QTemporaryDir>();
  QVERIFY(m_dir->isValid());
  qputenv("SUNDRIX_SETTINGS", path("sundrix.ini").toLocal8Bit());
  qputenv("XDG_CONFIG_HOME", path("config").toLocal8Bit());
  qputenv("XDG_DATA_HOME", path("data").toLocal8Bit());
  app::recreateKeyStore();
  QVERIFY(QDir().mkpath(languageFolder()));
  // All shipped files lie in the folder, so that the Language menu has the nine items
  // that the language-name keys expect.
  for (const QString& name : QDir(kShippedFolder).entryList({"*.ini"}, QDir::Files))
    QVERIFY(QFile::copy(kShippedFolder + name, QDir(languageFolder()).filePath(name)));
  m_messages.clear();
  app::setMessageHook(
      [this](QWidget*, app::BoxKind, const QString&, const QString& text) { m_messages << text; });
}

void LanguageFitTest::cleanup() {
  app::setMessageHook({});
  m_dir.reset();
}

std::unique_ptr<TForm1> LanguageFitTest::makeWindows(const QString& language) {
  writeFile(path("sundrix.ini"), "[Options]\nLanguage=" + language.toStdString() + "\n");
  auto form = std::make_unique<TForm1>();
  form->setArguments({"sundrix"});
  form->setLanguageFolder(languageFolder().toStdString());
  new TAboutBox(form.get());
  new TFormSettings(form.get());
  form->show();
  return form;
}

QStringList LanguageFitTest::misfits(TForm1& form) {
  std::vector<Misfit> found;
  // The About box sizes some labels to their texts when it shows.
  AboutBox->show();
  FormSettings->show();
  for (const int choice : {0, 1}) {
    // Set, not clicked: right to left the mark is at the other end.
    form.RadioGroupSplitOptionsItems->button(choice)->setChecked(true);
    for (QWidget* window : {static_cast<QWidget*>(&form), static_cast<QWidget*>(FormSettings),
                            static_cast<QWidget*>(AboutBox)})
      checkWindow(window, found);
  }
  FormSettings->hide();
  AboutBox->hide();
  QStringList lines;
  for (const Misfit& misfit : found) lines << misfit.describe();
  lines.removeDuplicates();
  return lines;
}

void LanguageFitTest::shippedLanguagesFit_data() {
  QTest::addColumn<QString>("language");
  const QStringList files = QDir(kShippedFolder).entryList({"*.ini"}, QDir::Files);
  QVERIFY(files.size() >= 9);
  for (const QString& file : files) {
    const QString language = file.left(file.indexOf(".ini"));
    QTest::newRow(qPrintable(language)) << language;
  }
}

void LanguageFitTest::shippedLanguagesFit() {
  QFETCH(QString, language);
  auto form = makeWindows(language);
  QCOMPARE(QString::fromStdString(form->LanguageName), language);
  QVERIFY(m_messages.isEmpty());
  // The file's texts are the ones on show.
  const i18n::LanguageFile file =
      i18n::LanguageFile::open(kShippedFolder.toStdString(), language.toStdString());
  QCOMPARE(form->GroupBoxSplit->title().toStdString(), file.read("GroupBoxSplit->Caption", ""));
  QCOMPARE(FormSettings->ButtonClose->text().toStdString(),
           file.read("FormSettings->ButtonClose->Caption", ""));
  const QStringList lines = misfits(*form);
  QVERIFY2(lines.isEmpty(),
           qPrintable(language + ": captions that do not fit:\n  " + lines.join("\n  ")));
}

// The check itself: a file that makes every caption far too long must be reported for
// every captioned control of the three windows.
void LanguageFitTest::overlongCaptionsAreCaught() {
  const std::string wide =
      "Wide words that go on and on, much longer than any place in the "
      "windows, with more words again and again";
  std::string lines = "[Interface]\n";
  for (const i18n::TextKey& row : i18n::kTextKeys) {
    if (row.target == i18n::Target::Caption || row.target == i18n::Target::RadioItem ||
        row.key == "StringPartsNumber" || row.key == "StringPartsSize")
      lines += std::string(row.key) + "=" + wide + "\n";
  }
  writeFile(QDir(languageFolder()).filePath("Long.ini"), lines);
  auto form = makeWindows("Long");
  const QStringList found = misfits(*form);
  std::set<QString> controls;
  for (const QString& line : found) controls.insert(line.section(' ', 0, 0));
  for (const char* name : {"PageControl1",
                           "GroupBoxSplit",
                           "GroupBoxCombine",
                           "RadioGroupSplitOptions",
                           "RadioGroupSplitOptionsNumber",
                           "RadioGroupSplitOptionsSize",
                           "LabelFileName",
                           "LabelSplitFolder",
                           "LabelFileSize",
                           "LabelSplitOption",
                           "LabelFileBat",
                           "LabelFirstFile",
                           "LabelOutput",
                           "LabelCombineFolder",
                           "CheckBoxDeleteInput",
                           "cbCompressZip",
                           "CheckBoxBat",
                           "CheckBoxDeleteTempBat",
                           "CheckBoxDeleteTemp",
                           "ButtonSplit",
                           "ButtonStopSplit",
                           "ButtonSelect",
                           "ButtonCombine",
                           "ButtonStopCombine",
                           "cbContextMenu",
                           "ButtonClose",
                           "LabelAbout",
                           "LabelAuthor",
                           "LabelSite"}) {
    QVERIFY2(controls.count(name) == 1,
             qPrintable(QString(name) + " not reported; found:\n  " + found.join("\n  ")));
  }
}

// A caption in a script that no installed font covers is reported, as Chinese was before
// a font with its characters was installed.
void LanguageFitTest::missingGlyphsAreCaught() {
  writeFile(QDir(languageFolder()).filePath("Linear.ini"),
            "[Interface]\nGroupBoxSplit->Caption=\xF0\x90\x80\x80\xF0\x90\x80\x81\n");
  auto form = makeWindows("Linear");
  const QStringList found = misfits(*form);
  QVERIFY2(found.filter(QRegularExpression("^GroupBoxSplit .*2 characters no installed font"))
                   .size() == 1,
           qPrintable(found.join("\n")));
}

void LanguageFitTest::labelsKeepClearOfTheirBoxes_data() {
  shippedLanguagesFit_data();
}

// Columns of a label's painted text in its parent's pixels, [first, last].
std::pair<int, int> inkColumns(QLabel* label) {
  const QImage image = label->grab().toImage();
  const qreal scale = image.devicePixelRatio();
  const QColor background = label->palette().color(QPalette::Window);
  int first = image.width();
  int last = -1;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      const int distance = std::abs(pixel.red() - background.red()) +
                           std::abs(pixel.green() - background.green()) +
                           std::abs(pixel.blue() - background.blue());
      if (distance < 96) continue;
      first = std::min(first, x);
      last = std::max(last, x);
    }
  }
  return {label->x() + qFloor(first / scale), label->x() + qCeil((last + 1) / scale) - 1};
}

// The window as laid out for the language's direction: a right-to-left language puts
// every control of the groups at its mirrored place, with its size; each label's text
// keeps a gap to its box.
void LanguageFitTest::labelsKeepClearOfTheirBoxes() {
  QFETCH(QString, language);
  const bool rightToLeft = language == "Arabic";
  auto form = makeWindows(language);
  TForm1 builtIn;  // the places as laid out, before any language
  QCOMPARE(form->layoutDirection(), rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
  const auto checkPlaces = [&](bool mirrored) {
    // The tabs start on the side where the text begins.
    const QRect tabs = form->PageControl1->tabBar()->geometry();
    QVERIFY2(mirrored ? tabs.right() > form->PageControl1->width() - 20 : tabs.left() < 20,
             qPrintable(QString("tabs at %1..%2").arg(tabs.left()).arg(tabs.right())));
    for (const char* group : {"GroupBoxSplit", "GroupBoxCombine", "RadioGroupSplitOptions"}) {
      const auto* shown = form->findChild<QWidget*>(group);
      for (const QWidget* control : shown->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QRect expected = builtIn.findChild<QWidget*>(control->objectName())->geometry();
        if (mirrored) expected.moveLeft(shown->width() - expected.right() - 1);
        QCOMPARE(control->geometry(), expected);
      }
    }
  };
  checkPlaces(rightToLeft);

  QStringList touching;
  for (QLabel* label : form->findChildren<QLabel*>()) {
    const QWidget* box = label->buddy();
    if (box == nullptr || label->text().trimmed().isEmpty()) continue;
    const auto [first, last] = inkColumns(label);
    const int gap = rightToLeft ? first - box->geometry().right() - 1
                                : box->geometry().left() - last - 1;
    if (gap < 3) touching << QString("%1 \"%2\": %3 px from %4")
                                 .arg(label->objectName(), label->text())
                                 .arg(gap)
                                 .arg(box->objectName());
  }
  QVERIFY2(touching.isEmpty(), qPrintable(touching.join("\n")));

  // Back to a left-to-right language, the controls return to their places.
  if (rightToLeft) {
    form->LoadLanguage("English");
    QCOMPARE(form->layoutDirection(), Qt::LeftToRight);
    checkPlaces(false);
  }
}

// Pictures of the main window's two tabs in every shipped language, written only when
// SUNDRIX_SCREENSHOTS names a folder.
void LanguageFitTest::screenshots() {
  const QString folder = qEnvironmentVariable("SUNDRIX_SCREENSHOTS");
  if (folder.isEmpty()) QSKIP("SUNDRIX_SCREENSHOTS is not set");
  for (const QString& file : QDir(kShippedFolder).entryList({"*.ini"}, QDir::Files)) {
    auto form = makeWindows(file.left(file.indexOf(".ini")));
    const QString language = file.left(file.indexOf(".ini")).toLower() +
                             (form->devicePixelRatioF() == 1 ? "" : "-scaled");
    QVERIFY(form->grab().save(folder + "/fit-" + language + "-split.png"));
    form->RadioGroupSplitOptionsItems->button(1)->setChecked(true);
    QVERIFY(form->grab().save(folder + "/fit-" + language + "-split-size.png"));
    form->PageControl1->setCurrentWidget(form->TabSheetCombine);
    QVERIFY(form->grab().save(folder + "/fit-" + language + "-combine.png"));
    FormSettings->show();
    QVERIFY(FormSettings->grab().save(folder + "/fit-" + language + "-settings.png"));
    FormSettings->hide();
    AboutBox->show();
    QVERIFY(AboutBox->grab().save(folder + "/fit-" + language + "-about.png"));
    AboutBox->hide();
  }
}

// The application object is the program's own, as in the running program.
int main(int argc, char* argv[]) {
  app::TApplication application(argc, argv);
  LanguageFitTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "language_fit_test.moc"
