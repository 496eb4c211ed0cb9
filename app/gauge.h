// The percentage gauge under the tabs: a bar from 0 to 100, black on white, with the
// value as "N%" centred on it.
#pragma once

#include <QWidget>

class TGauge : public QWidget {
  Q_OBJECT

 public:
  explicit TGauge(QWidget* parent = nullptr);

  int progress() const { return m_progress; }
  // Values outside 0..100 are clamped.
  void setProgress(int value);
  QString text() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int m_progress = 0;
};
