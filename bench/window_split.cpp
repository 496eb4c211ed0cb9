// Times a split run from the window, as a user would start it, against nothing: the
// script bench/many_parts.sh compares it with the command-line tool in the same run.
// Usage: bench_window_split FILE PART_KIB OUTPUT_FOLDER (prints the seconds taken).
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>

#include "app/form1.h"
#include "app/message_box.h"

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s FILE PART_KIB OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  QApplication application(argc, argv);
  QStringList messages;
  app::setMessageHook([&messages](QWidget*, app::BoxKind, const QString&, const QString& text) {
    messages << text;
  });
  TForm1 form;
  form.setArguments({"sundrix", "-s", QString::fromLocal8Bit(argv[1])});
  form.show();
  QApplication::processEvents();
  form.RadioGroupSplitOptionsItems->button(1)->click();
  form.ComboBoxSize->setCurrentIndex(1);  // Kb
  form.EditSplitOption->setText(QString::fromLocal8Bit(argv[2]));
  form.EditSplitFolder->setText(QString::fromLocal8Bit(argv[3]) + "/");
  QElapsedTimer timer;
  timer.start();
  form.ButtonSplit->click();
  while (form.jobRunning()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  form.waitForWorker();
  const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  for (const QString& text : messages) std::fprintf(stderr, "%s\n", qPrintable(text));
  std::printf("%.3f\n", seconds);
  return messages.isEmpty() ? 0 : 1;
}
