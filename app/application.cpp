// Central handling of exceptions that reach the event loop.
#include "app/application.h"

#include <QThread>
#include <stdexcept>

#include "app/form1.h"
#include "app/message_box.h"

namespace app {
namespace {

void report(const std::exception& error) {
  // Boxes belong to the GUI thread; a failure in an event of another thread's objects is
  // reported there.
  if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
    QMetaObject::invokeMethod(QCoreApplication::instance(),
                              [] { report(std::runtime_error("failure in another thread")); });
    return;
  }
  if (Form1 != nullptr) {
    Form1->ApplicationEvents1Exception(error);
    return;
  }
  // Before the main window exists or after it has gone the report looks the same.
  showMessage(nullptr, BoxKind::Plain, TForm1::kCaption, "Error !");
}

}  // namespace

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    report(error);
  } catch (...) {
    report(std::runtime_error("unknown failure"));
  }
  return false;
}

}  // namespace app
