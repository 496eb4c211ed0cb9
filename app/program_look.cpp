// The layout's font and the program's icon.
#include "app/program_look.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPainter>
#include <QRawFont>

namespace app {
namespace {

constexpr const char* kLayoutFamily = "MS Sans Serif";
// Not registered with fontconfig, so it is loaded by the program itself.
constexpr const char* kWineSansSerif = "/usr/share/wine/fonts/sserife.fon";

// A family that is known by name but whose characters the font engine cannot map (the
// case of wine's bitmap font under FreeType) would be drawn with a fallback's glyphs.
bool drawsLatinText(const QString& family) {
  return QRawFont::fromFont(QFont(family, 8)).supportsCharacter(QChar('A'));
}

QString layoutFamily() {
  static const QString family = [] {
    if (!QFontDatabase::families().contains(kLayoutFamily) && QFile::exists(kWineSansSerif))
      QFontDatabase::addApplicationFont(kWineSansSerif);
    // Next best: sans serif faces of about the same width, so that the captions fit the
    // layout's fixed places.
    // Families may carry a foundry suffix ("Nimbus Sans [urw]"), so match on the name.
    const QStringList installed = QFontDatabase::families();
    for (const char* candidate : {kLayoutFamily, "Arial", "Liberation Sans", "Nimbus Sans"}) {
      for (const QString& name : installed) {
        const bool named = name == candidate || name.startsWith(QString(candidate) + " [");
        if (named && drawsLatinText(name)) return name;
      }
    }
    return QString();
  }();
  return family;
}

}  // namespace

QFont programFont() {
  const QString family = layoutFamily();
  if (!family.isEmpty()) return QFont(family, 8);
  QFont font = QApplication::font();
  font.setPointSize(8);
  return font;
}

QPixmap programPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);
  const QColor fills[] = {QColor("#2f6fb3"), QColor("#4a8fd6"), QColor("#7fb3ea")};
  for (int i = 0; i < 3; ++i) {
    const qreal top = 5 + 20 * i;
    painter.setPen(QPen(QColor("#1d3f66"), 2));
    painter.setBrush(fills[i]);
    painter.drawRoundedRect(QRectF(8, top, 48, 15), 3, 3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(14, top + 6, 22, 3));
    painter.drawEllipse(QPointF(47, top + 7.5), 3, 3);
  }
  return pixmap;
}

QIcon programIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(programPixmap(size));
  return icon;
}

}  // namespace app
