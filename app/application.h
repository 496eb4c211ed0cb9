// The application object: routes every exception that leaves an event handler to the
// main window's central error report instead of letting it end the program.
#pragma once

#include <QApplication>

namespace app {

class TApplication : public QApplication {
  Q_OBJECT

 public:
  TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

  // Delivers the event; an exception thrown while handling it is reported with
  // "Error !" and the event counts as unhandled. The handler stays cut off where it
  // failed, and the program goes on with the next event.
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace app
