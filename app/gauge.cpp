// Drawing of the percentage gauge, and its face to screen readers: a progress bar named
// by the window, whose value is the percentage.
#include "app/gauge.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <QStyle>
#include <algorithm>

namespace {

class GaugeAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit GaugeAccessible(TGauge* gauge) : QAccessibleWidget(gauge, QAccessible::ProgressBar) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  QString text(QAccessible::Text type) const override {
    if (type == QAccessible::Value) return gauge()->text();
    return QAccessibleWidget::text(type);
  }
  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    return state;
  }

  QVariant currentValue() const override { return gauge()->progress(); }
  // Only the job moves the gauge.
  void setCurrentValue(const QVariant&) override {}
  QVariant maximumValue() const override { return 100; }
  QVariant minimumValue() const override { return 0; }
  QVariant minimumStepSize() const override { return 1; }

 private:
  const TGauge* gauge() const { return static_cast<const TGauge*>(widget()); }
};

QAccessibleInterface* gaugeInterface(const QString& className, QObject* object) {
  if (className != QLatin1String("TGauge")) return nullptr;
  return new GaugeAccessible(static_cast<TGauge*>(object));
}

}  // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
  static const bool installed = [] {
    QAccessible::installFactory(gaugeInterface);
    return true;
  }();
  (void)installed;
}

void TGauge::setProgress(int value) {
  const int clamped = std::clamp(value, 0, 100);
  if (clamped == m_progress) return;
  m_progress = clamped;
  update();
  if (QAccessible::isActive()) {
    QAccessibleValueChangeEvent event(this, m_progress);
    QAccessible::updateAccessibility(&event);
  }
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
  // The bar grows from the side where the window's text begins.
  const QRect bar = QStyle::visualRect(layoutDirection(), inside,
                                       QRect(inside.left(), inside.top(), filled, inside.height()));
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
