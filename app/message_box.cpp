// Modal message boxes, with a seam for tests and the archive components' warning box.
#include "app/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <mutex>

#include "zip/zip_events.h"

namespace app {
namespace {

std::mutex g_hookMutex;
MessageHook g_hook;

MessageHook currentHook() {
  std::lock_guard lock(g_hookMutex);
  return g_hook;
}

void showBox(QWidget* parent, BoxKind kind, const QString& title, const QString& text) {
  switch (kind) {
    case BoxKind::Information:
      QMessageBox::information(parent, title, text);
      return;
    case BoxKind::Warning:
      QMessageBox::warning(parent, title, text);
      return;
    case BoxKind::Critical:
      QMessageBox::critical(parent, title, text);
      return;
    case BoxKind::Plain: {
      QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
      box.exec();
      return;
    }
  }
}

}  // namespace

void setMessageHook(MessageHook hook) {
  std::lock_guard lock(g_hookMutex);
  g_hook = std::move(hook);
}

void showMessage(QWidget* parent, BoxKind kind, const QString& title, const QString& text) {
  if (const MessageHook hook = currentHook()) {
    hook(parent, kind, title, text);
    return;
  }
  showBox(parent, kind, title, text);
}

void installWarningBox() {
  zip::setWarningBox([](const std::string& message) {
    const QString text = QString::fromStdString(message);
    QCoreApplication* application = QCoreApplication::instance();
    const auto show = [text] { showMessage(nullptr, BoxKind::Warning, "Warning", text); };
    // A blocking hand-over from the GUI thread to itself would wait for ever.
    if (application == nullptr || QThread::currentThread() == application->thread()) {
      show();
      return;
    }
    QMetaObject::invokeMethod(application, show, Qt::BlockingQueuedConnection);
  });
}

void removeWarningBox() {
  zip::setWarningBox({});
}

}  // namespace app
