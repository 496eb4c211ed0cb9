// Drawing of the percentage gauge.
#include "app/gauge.h"

#include <QPainter>
#include <algorithm>

TGauge::TGauge(QWidget* parent) : QWidget(parent) {}

void TGauge::setProgress(int value) {
  const int clamped = std::clamp(value, 0, 100);
  if (clamped == m_progress) return;
  m_progress = clamped;
  update();
}

QString TGauge::text() const {
  return QString::number(m_progress) + "%";
}

void TGauge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect frame = rect().adjusted(0, 0, -1, -1);
  const QRect inside = rect().adjusted(1, 1, -1, -1);
  painter.fillRect(rect(), Qt::white);
  const int filled = inside.width() * m_progress / 100;
  const QRect bar(inside.left(), inside.top(), filled, inside.height());
  painter.fillRect(bar, Qt::black);

  // The text is black on the white part and white where the bar runs under it.
  painter.setFont(font());
  painter.setClipRect(inside);
  painter.setPen(Qt::black);
  painter.drawText(inside, Qt::AlignCenter, text());
  painter.setClipRect(bar);
  painter.setPen(Qt::white);
  painter.drawText(inside, Qt::AlignCenter, text());
  painter.setClipping(false);
  painter.setPen(Qt::gray);
  painter.drawRect(frame);
}
